#pragma once

#include <QMutex>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

class QSettings;

namespace zen {

// The user's stored preferences (an INI file under the XDG config home) with a registration
// domain: defaults registered at start-up answer reads of keys the user never stored, are
// never written to disk, and last as long as this object (the process, for standard()).
// Safe to use from any thread.
class UserDefaults {
public:
    // Preferences kept in the given INI file (tests pass a file in a temporary folder).
    explicit UserDefaults(const QString& iniFilePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The process-wide preferences: $XDG_CONFIG_HOME/Zentharion/Zentharion.conf.
    static UserDefaults& standard();

    // Adds to the registration domain; stored values are not touched.
    void registerDefaults(const QVariantMap& defaults);

    // The stored value, else the registered one, else absent.
    std::optional<QVariant> object(const QString& key) const;
    // False when the key has neither a stored nor a registered value, or holds no Boolean.
    bool boolForKey(const QString& key) const;
    std::optional<QString> stringForKey(const QString& key) const;

    void setBool(const QString& key, bool value);
    void setString(const QString& key, const QString& value);
    void removeObject(const QString& key);

    QString fileName() const;

private:
    mutable QMutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_registered;
};

} // namespace zen
