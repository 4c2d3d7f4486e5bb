#include "Shared/SettingsText.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

// Gives every copy of the process a name of its own: QSettings caches what it read by file
// name and answers from that cache while size and time look unchanged, so a name used twice
// could answer with an earlier text of the same length.
std::atomic<quint64> copiesMade {0};

QString errnoText(int error)
{
    return QString::fromLocal8Bit(::strerror(error));
}

// A folder of this process's own holding one copy of a settings text, gone with this object
// together with whatever QSettings left beside the copy (its lock file, a save cut short).
class ScratchCopy {
public:
    explicit ScratchCopy(const QString& base)
    {
        const quint64 number = ++copiesMade;
        QByteArray pattern = QFile::encodeName(
            QStringLiteral("%1/zentharion-settings-%2-%3-XXXXXX").arg(base).arg(::getpid()).arg(number));
        if (!::mkdtemp(pattern.data())) {
            m_error = QStringLiteral("no private copy can be made in %1 (%2)").arg(base, errnoText(errno));
            return;
        }
        m_folderPath = pattern;
        // mkdtemp makes it 0700; looked at through the open folder all the same, so that a
        // folder that is not ours is never written in or emptied.
        m_folder = ::open(pattern.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat info {};
        if (m_folder < 0 || ::fstat(m_folder, &info) != 0 || info.st_uid != ::geteuid() || (info.st_mode & 07777) != 0700) {
            m_error = QStringLiteral("the private copy's folder %1 is not this user's own").arg(QFile::decodeName(pattern));
            if (m_folder >= 0)
                ::close(m_folder);
            m_folder = -1;
            return;
        }
        m_fileName = QByteArrayLiteral("settings-") + QByteArray::number(number) + QByteArrayLiteral(".conf");
    }

    ~ScratchCopy()
    {
        if (m_folder < 0)
            return;
        if (const int listed = ::dup(m_folder); listed >= 0) {
            if (DIR* entries = ::fdopendir(listed)) {
                while (const dirent* entry = ::readdir(entries)) {
                    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                        ::unlinkat(m_folder, entry->d_name, entry->d_type == DT_DIR ? AT_REMOVEDIR : 0);
                }
                ::closedir(entries);
            } else {
                ::close(listed);
            }
        }
        ::close(m_folder);
        ::rmdir(m_folderPath.constData());
    }

    ScratchCopy(const ScratchCopy&) = delete;
    ScratchCopy& operator=(const ScratchCopy&) = delete;

    const std::optional<QString>& error() const { return m_error; }
    QString filePath() const { return QFile::decodeName(m_folderPath + '/' + m_fileName); }

    bool write(const QByteArray& bytes)
    {
        const int fd = ::openat(m_folder, m_fileName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return fail(errno);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : EIO;
                ::close(fd);
                return fail(error);
            }
            done += n;
        }
        if (::close(fd) != 0)
            return fail(errno);
        return true;
    }

    // What the copy holds now; empty when there is none (QSettings makes no file for no keys).
    std::optional<QByteArray> read()
    {
        const int fd = ::openat(m_folder, m_fileName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT)
                return QByteArray();
            fail(errno);
            return std::nullopt;
        }
        QByteArray bytes;
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                fail(errno);
                ::close(fd);
                return std::nullopt;
            }
            if (n == 0)
                break;
            bytes.append(buffer, n);
        }
        ::close(fd);
        return bytes;
    }

private:
    bool fail(int error)
    {
        m_error = QStringLiteral("its private copy cannot be used (%1)").arg(errnoText(error));
        return false;
    }

    int m_folder = -1;
    QByteArray m_folderPath;
    QByteArray m_fileName;
    std::optional<QString> m_error;
};

SettingsTextError noCopy(const QString& why)
{
    return {SettingsTextError::Kind::noScratchCopy, QStringLiteral("cannot be read or written: %1").arg(why)};
}

// The values QSettings reads from the copy it was opened on, or why the text is none of its.
std::expected<QVariantMap, SettingsTextError> valuesOf(const QSettings& settings, const QByteArray& text)
{
    // Looked at once every value is read: QSettings parses a section's lines only when it is
    // first asked for one of its keys, and finds a format error there.
    QVariantMap values;
    for (const QString& key : settings.allKeys())
        values.insert(key, settings.value(key));
    if (settings.status() == QSettings::FormatError)
        return std::unexpected(SettingsTextError {
            SettingsTextError::Kind::unreadable, QStringLiteral("is not in the settings format (it cannot be read)")});
    if (settings.status() != QSettings::NoError)
        return std::unexpected(noCopy(QStringLiteral("its private copy cannot be read")));
    // Text without a single setting is no file of ours: taking it as "nothing stored" would
    // answer every setting, the first launch's among them, with its default unsaid.
    if (values.isEmpty() && !text.trimmed().isEmpty())
        return std::unexpected(SettingsTextError {
            SettingsTextError::Kind::unreadable, QStringLiteral("holds no setting that can be read")});
    return values;
}

} // namespace

SettingsText::SettingsText(QString scratchBase)
    : m_scratchBase(scratchBase.isEmpty() ? QDir::tempPath() : std::move(scratchBase))
{
}

std::expected<QVariantMap, SettingsTextError> SettingsText::decode(const QByteArray& text) const
{
    if (text.isEmpty())
        return QVariantMap();
    ScratchCopy copy(m_scratchBase);
    if (copy.error() || !copy.write(text))
        return std::unexpected(noCopy(*copy.error()));
    const QSettings settings(copy.filePath(), QSettings::IniFormat);
    return valuesOf(settings, text);
}

std::expected<SettingsText::Edited, SettingsTextError> SettingsText::edit(const QByteArray& text,
                                                                          const SettingsChanges& changes) const
{
    ScratchCopy copy(m_scratchBase);
    if (copy.error() || (!text.isEmpty() && !copy.write(text)))
        return std::unexpected(noCopy(*copy.error()));
    Edited edited;
    {
        QSettings settings(copy.filePath(), QSettings::IniFormat);
        auto values = valuesOf(settings, text);
        if (!values)
            return std::unexpected(values.error());
        edited.values = std::move(*values);
        for (const auto& [key, value] : changes) {
            if (value) {
                settings.setValue(key, *value);
                edited.values.insert(key, *value);
            } else {
                settings.remove(key);
                edited.values.remove(key);
            }
        }
        settings.sync();
        if (settings.status() != QSettings::NoError)
            return std::unexpected(noCopy(QStringLiteral("its private copy cannot be written")));
    }
    auto bytes = copy.read();
    if (!bytes)
        return std::unexpected(noCopy(*copy.error()));
    edited.text = std::move(*bytes);
    return edited;
}

} // namespace zen
