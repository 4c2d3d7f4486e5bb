#include "Shared/UserDefaults.h"

#include <QMutexLocker>
#include <QSettings>
#include <QStandardPaths>

namespace zen {

UserDefaults::UserDefaults(const QString& iniFilePath)
    : m_settings(std::make_unique<QSettings>(iniFilePath, QSettings::IniFormat))
{
}

UserDefaults::~UserDefaults() = default;

UserDefaults& UserDefaults::standard()
{
    static UserDefaults instance(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Zentharion/Zentharion.conf"));
    return instance;
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        m_registered.insert(it.key(), it.value());
}

std::optional<QVariant> UserDefaults::object(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    if (m_settings->contains(key))
        return m_settings->value(key);
    const auto it = m_registered.constFind(key);
    if (it != m_registered.cend())
        return *it;
    return std::nullopt;
}

bool UserDefaults::boolForKey(const QString& key) const
{
    const auto value = object(key);
    if (!value)
        return false;
    // The INI format gives every value back as text, so "true"/"false" arrive as strings.
    if (value->typeId() == QMetaType::Bool)
        return value->toBool();
    const QString text = value->toString().trimmed().toLower();
    return text == u"true" || text == u"yes" || text == u"1";
}

std::optional<QString> UserDefaults::stringForKey(const QString& key) const
{
    const auto value = object(key);
    if (!value || !value->canConvert<QString>())
        return std::nullopt;
    return value->toString();
}

void UserDefaults::setBool(const QString& key, bool value)
{
    QMutexLocker lock(&m_mutex);
    m_settings->setValue(key, value);
    m_settings->sync();
}

void UserDefaults::setString(const QString& key, const QString& value)
{
    QMutexLocker lock(&m_mutex);
    m_settings->setValue(key, value);
    m_settings->sync();
}

void UserDefaults::removeObject(const QString& key)
{
    QMutexLocker lock(&m_mutex);
    m_settings->remove(key);
    m_settings->sync();
}

QString UserDefaults::fileName() const
{
    QMutexLocker lock(&m_mutex);
    return m_settings->fileName();
}

} // namespace zen
