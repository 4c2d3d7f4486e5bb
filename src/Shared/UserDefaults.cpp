#include "Shared/UserDefaults.h"

#include "Shared/AtomicFileWriter.h"
#include "Shared/Directories.h"
#include "Shared/Uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QDataStream>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>
#include <vector>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zen {

namespace {

Q_LOGGING_CATEGORY(settingsLog, "com.zentharion.app.app", QtWarningMsg)

// "/" holds every file: a home folder that is the root is no limit at all.
bool isInside(const QString& path, const QString& folder)
{
    return !folder.isEmpty() && folder != QLatin1String("/") && path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

bool usableHome(const QString& path)
{
    return !path.isEmpty() && QDir::isAbsolutePath(path) && QDir::cleanPath(path) != QLatin1String("/");
}

// The home folder links may lead into: $HOME when it names one, else the account's own from
// the password database (a service or `env -i` runs without HOME, and Qt then answers "/").
// Empty when there is none: then no link is followed.
QString accountHomeFolder()
{
    if (const QString home = qEnvironmentVariable("HOME"); usableHome(home))
        return home;
    struct passwd entry {};
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        if (const QString home = QFile::decodeName(found->pw_dir); usableHome(home))
            return home;
    return {};
}

// ---------------------------------------------------------------- the INI text
// The text is QSettings' IniFormat, read and written here in memory: files written by earlier
// versions (through QSettings) read the same, QSettings reads what is written here, and no
// scratch file is ever made. Keys at the top level live in [General]; "group/key" in
// [group] as "key"; values are UTF-8 text with C escapes, quoted where a ',' ';' '=' or an
// outer space would change their meaning; a bare ", " list is a string list; "@..." marks
// a typed value (QSettings' "@ByteArray(...)", "@Variant(...)", ...), and "@@" a text that
// starts with '@'.

constexpr char hexDigits[] = "0123456789ABCDEF";

bool isHexDigit(char32_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void appendEscapedKey(const QString& key, QByteArray& out)
{
    for (const QChar qc : key) {
        const char16_t c = qc.unicode();
        if (c == u'/') {
            out += '\\';
        } else if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_'
                   || c == u'-' || c == u'.') {
            out += char(c);
        } else if (c <= 0xFF) {
            out += '%';
            out += hexDigits[c / 16];
            out += hexDigits[c % 16];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hexDigits[(c >> shift) & 0xF];
        }
    }
}

// As QSettings reads a key: '\\' is '/', "%XX" and "%UXXXX" are hex codes of UTF-16 units,
// and a '%' that starts no code is itself.
QString unescapedKey(QByteArrayView text)
{
    const QString decoded = QString::fromUtf8(text);
    QString key;
    qsizetype i = 0;
    while (i < decoded.size()) {
        const QChar c = decoded[i];
        if (c == u'\\') {
            key += u'/';
            ++i;
            continue;
        }
        if (c != u'%' || i == decoded.size() - 1) {
            key += c;
            ++i;
            continue;
        }
        const bool wide = decoded[i + 1] == u'U';
        const qsizetype first = i + (wide ? 2 : 1), digits = wide ? 4 : 2;
        bool ok = false;
        const ushort code = first + digits <= decoded.size()
                                ? QStringView(decoded).sliced(first, digits).toUShort(&ok, 16)
                                : ushort(0);
        if (!ok) {
            key += u'%';
            ++i;
            continue;
        }
        key += QChar(code);
        i = first + digits;
    }
    return key;
}

// `raw`: the text of "@ByteArray(...)" and "@Variant(...)", one byte per character.
void appendEscapedString(const QString& text, QByteArray& out, bool raw = false)
{
    const qsizetype start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfHexDigit = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u';' || c == u',' || c == u'=')
            needsQuotes = true;
        if (escapeNextIfHexDigit && isHexDigit(c)) {
            out += "\\x" + QByteArray::number(uint(c), 16);
            continue;
        }
        escapeNextIfHexDigit = false;
        switch (c) {
        case u'\0': out += "\\0"; escapeNextIfHexDigit = true; break;
        case u'\a': out += "\\a"; break;
        case u'\b': out += "\\b"; break;
        case u'\f': out += "\\f"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        case u'\v': out += "\\v"; break;
        case u'"':
        case u'\\':
            out += '\\';
            out += char(c);
            break;
        default:
            if (c <= 0x1F || (c >= 0x7F && raw)) {
                out += "\\x" + QByteArray::number(uint(c), 16);
                escapeNextIfHexDigit = true;
            } else if (c >= 0x7F) {
                // A pair of surrogates goes out as one UTF-8 sequence.
                const qsizetype length = QChar::isHighSurrogate(c) && i + 1 < text.size() ? 2 : 1;
                out += QStringView(text).sliced(i, length).toUtf8();
                i += length - 1;
            } else {
                out += char(c);
            }
        }
    }
    if (needsQuotes || (out.size() > start && (out[start] == ' ' || out.back() == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

QString rawText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

QByteArray rawBytes(QStringView text)
{
    return text.toLatin1();
}

// A value as QSettings writes it, but for lists.
QString valueText(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return QStringLiteral("@Invalid()");
    case QMetaType::QString: {
        const QString text = value.toString();
        return text.startsWith(u'@') ? u'@' + text : text;
    }
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toString();
    case QMetaType::QByteArray:
        return QStringLiteral("@ByteArray(") + rawText(value.toByteArray()) + u')';
    default: {
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_4_0);
        stream << value;
        return QStringLiteral("@Variant(") + rawText(bytes) + u')';
    }
    }
}

QVariant valueOfText(const QString& text)
{
    if (!text.startsWith(u'@'))
        return text;
    if (text.startsWith(u"@@"))
        return text.mid(1);
    if (text == u"@Invalid()")
        return QVariant();
    if (!text.endsWith(u')'))
        return text;
    const auto inside = [&](QLatin1StringView prefix) { return QStringView(text).sliced(prefix.size()).chopped(1); };
    if (text.startsWith(QLatin1StringView("@ByteArray(")))
        return rawBytes(inside(QLatin1StringView("@ByteArray(")));
    for (const QLatin1StringView prefix : {QLatin1StringView("@Variant("), QLatin1StringView("@DateTime(")}) {
        if (text.startsWith(prefix)) {
            QByteArray bytes = rawBytes(inside(prefix));
            QDataStream stream(&bytes, QIODevice::ReadOnly);
            stream.setVersion(QDataStream::Qt_4_0);
            QVariant value;
            stream >> value;
            return stream.status() == QDataStream::Ok ? value : QVariant(text);
        }
    }
    const auto numbers = [&](QLatin1StringView prefix, int count) -> std::optional<std::vector<int>> {
        if (!text.startsWith(prefix))
            return std::nullopt;
        const auto parts = inside(prefix).split(u' ', Qt::SkipEmptyParts);
        if (parts.size() != count)
            return std::nullopt;
        std::vector<int> values;
        for (const QStringView part : parts)
            values.push_back(part.toInt());
        return values;
    };
    if (const auto n = numbers(QLatin1StringView("@Rect("), 4))
        return QRect((*n)[0], (*n)[1], (*n)[2], (*n)[3]);
    if (const auto n = numbers(QLatin1StringView("@Size("), 2))
        return QSize((*n)[0], (*n)[1]);
    if (const auto n = numbers(QLatin1StringView("@Point("), 2))
        return QPoint((*n)[0], (*n)[1]);
    return text;
}

void appendValue(const QVariant& value, QByteArray& out)
{
    // A list of one is written as its one text, as QSettings does.
    const bool isList = value.typeId() == QMetaType::QStringList
                        || (value.typeId() == QMetaType::QVariantList && value.toList().size() != 1);
    if (!isList) {
        const QString text = valueText(value.typeId() == QMetaType::QVariantList ? value.toList().first() : value);
        appendEscapedString(text, out, text.startsWith(u"@ByteArray(") || text.startsWith(u"@Variant("));
        return;
    }
    const QVariantList items = value.toList();
    if (items.isEmpty()) {
        out += "@Invalid()";
        return;
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += ", ";
        const QString text = valueText(items[i]);
        appendEscapedString(text, out, text.startsWith(u"@ByteArray(") || text.startsWith(u"@Variant("));
    }
}

void chopTrailingSpaces(QString& text, qsizetype limit)
{
    qsizetype end = text.size();
    while (end > limit && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    text.truncate(end);
}

// The value after "key=": one text, or a list where a bare ',' separates texts.
QVariant parsedValue(QByteArrayView text)
{
    static constexpr char escapes[][2] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'},
                                          {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    QStringList items;
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false;
    QString current;
    // One decoder for the whole value, as QSettings reads it: a sequence cut by an escape goes
    // on after it, and one cut off at the end is dropped.
    QStringDecoder toUtf16(QStringDecoder::Utf8);
    qsizetype chopLimit = 0;
    qsizetype i = 0;
    const auto skipSpaces = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        chopLimit = current.size();
    };
    // A numeric escape is one UTF-16 unit, as QSettings reads it.
    const auto appendCode = [&](char32_t code) { current += QChar(char16_t(code)); };
    skipSpaces();
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\\') {
            if (++i >= text.size())
                break;
            const char e = text[i++];
            if (const auto* known = std::find_if(std::begin(escapes), std::end(escapes), [&](const auto& pair) { return pair[0] == e; });
                known != std::end(escapes)) {
                current += QLatin1Char(known[0][1]);
            } else if ((e == 'x' && i < text.size() && isHexDigit(char32_t(text[i]))) || (e >= '0' && e <= '7')) {
                const bool hex = e == 'x';
                char32_t code = hex ? 0 : char32_t(e - '0');
                while (i < text.size() && (hex ? isHexDigit(char32_t(text[i])) : (text[i] >= '0' && text[i] <= '7'))) {
                    code = code * (hex ? 16 : 8) + QByteArray(1, text[i]).toUInt(nullptr, hex ? 16 : 8);
                    ++i;
                }
                appendCode(code);
            }
            else if ((e == '\n' || e == '\r') && i < text.size() && (text[i] == '\n' || text[i] == '\r') && text[i] != e)
                ++i; // an escaped line break of two characters
            // Any other escaped character is dropped.
            chopLimit = current.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipSpaces();
        } else if (c == ',' && !inQuotes) {
            if (!quoted)
                chopTrailingSpaces(current, chopLimit);
            isList = true;
            items.append(std::exchange(current, {}));
            quoted = false;
            ++i;
            skipSpaces();
        } else {
            qsizetype j = i + 1;
            while (j < text.size() && text[j] != '\\' && text[j] != '"' && text[j] != ',')
                ++j;
            current += toUtf16(text.sliced(i, j - i));
            i = j;
        }
    }
    if (!quoted)
        chopTrailingSpaces(current, chopLimit);
    if (!isList)
        return valueOfText(current);
    items.append(current);
    QVariantList values;
    bool allText = true;
    for (const QString& item : items) {
        values.append(valueOfText(item));
        allText = allText && values.back().typeId() == QMetaType::QString;
    }
    return allText ? QVariant(items) : QVariant(values);
}

// The lines of the text as QSettings reads them: a line break inside quotes or after a
// backslash does not end a line, and a ';' outside quotes ends it (a line that starts with
// one is a comment). Each line comes with the place of its first '=' outside quotes.
struct IniLine {
    QByteArrayView text;
    qsizetype equals = -1;
};

std::vector<IniLine> iniLines(QByteArrayView data)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; };
    std::vector<IniLine> lines;
    qsizetype at = data.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (at < data.size()) {
        while (at < data.size() && isSpace(data[at]))
            ++at;
        const qsizetype start = at;
        qsizetype equals = -1;
        bool inQuotes = false;
        qsizetype i = start;
        while (i < data.size()) {
            const char c = data[i++];
            if (c == '=') {
                if (!inQuotes && equals < 0)
                    equals = i - 1 - start;
            } else if ((c == '\n' || c == '\r') && !inQuotes) {
                --i;
                break;
            } else if (c == '\\') {
                if (i < data.size()) {
                    const char next = data[i++];
                    if (i < data.size() && ((next == '\n' && data[i] == '\r') || (next == '\r' && data[i] == '\n')))
                        ++i;
                }
            } else if (c == '"') {
                inQuotes = !inQuotes;
            } else if (c == ';') {
                if (i == start + 1) { // a comment, to the end of the line
                    while (i < data.size() && data[i] != '\n' && data[i] != '\r')
                        ++i;
                    break;
                }
                if (!inQuotes) {
                    --i;
                    break;
                }
            }
        }
        if (i > start && data[start] != ';')
            lines.push_back({data.sliced(start, i - start), equals});
        at = std::max(i, start + 1);
    }
    return lines;
}

QVariantMap decodeIni(const QByteArray& bytes)
{
    QVariantMap values;
    QString section;
    for (const IniLine& line : iniLines(bytes)) {
        if (line.text.startsWith('[')) {
            const qsizetype close = line.text.indexOf(']');
            const QByteArray name = line.text.sliced(1, (close < 0 ? line.text.size() : close) - 1).toByteArray().trimmed();
            if (name.compare("general", Qt::CaseInsensitive) == 0)
                section.clear();
            else if (name.compare("%general", Qt::CaseInsensitive) == 0)
                section = QString::fromLatin1(name.mid(1)) + u'/';
            else
                section = unescapedKey(name) + u'/';
            continue;
        }
        if (line.equals < 0)
            continue;
        const QString key = unescapedKey(line.text.first(line.equals).trimmed());
        if (!key.isEmpty())
            values.insert(section + key, parsedValue(line.text.sliced(line.equals + 1)));
    }
    return values;
}

QByteArray encodeIni(const QVariantMap& values)
{
    // Top-level keys first, under [General]; then each group's keys under its name.
    std::map<QString, std::vector<std::pair<QString, QVariant>>> sections;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(u'/');
        if (slash < 0)
            sections[QString()].emplace_back(it.key(), it.value());
        else
            sections[it.key().left(slash)].emplace_back(it.key().mid(slash + 1), it.value());
    }
    QByteArray out;
    for (const auto& [name, entries] : sections) {
        if (!out.isEmpty())
            out += '\n';
        out += '[';
        if (name.isEmpty()) {
            out += "General";
        } else {
            if (name.compare(u"general", Qt::CaseInsensitive) == 0)
                out += '%';
            appendEscapedKey(name, out);
        }
        out += "]\n";
        for (const auto& [key, value] : entries) {
            appendEscapedKey(key, out);
            out += '=';
            appendValue(value, out);
            out += '\n';
        }
    }
    return out;
}

} // namespace

UserDefaults::UserDefaults(const QString& iniFilePath, const QString& homeFolder)
    : m_path(iniFilePath)
    , m_home(homeFolder.isEmpty() ? accountHomeFolder() : homeFolder)
{
    load();
}

UserDefaults::~UserDefaults() = default;

UserDefaults& UserDefaults::standard()
{
    static UserDefaults instance(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Zentharion/Zentharion.conf"));
    return instance;
}

std::expected<QString, QString> UserDefaults::writableTarget(const QString& path, const QString& homeFolder)
{
    struct stat entry {};
    if (::lstat(QFile::encodeName(path).constData(), &entry) != 0) {
        if (errno == ENOENT)
            return path; // created on the first change
        return std::unexpected(QStringLiteral("cannot be inspected (%1)").arg(QString::fromLocal8Bit(::strerror(errno))));
    }
    if (S_ISREG(entry.st_mode))
        return path;
    if (!S_ISLNK(entry.st_mode))
        return std::unexpected(QStringLiteral("is not a regular file"));

    const QString target = QFileInfo(path).canonicalFilePath();
    struct stat resolved {};
    if (target.isEmpty() || ::stat(QFile::encodeName(target).constData(), &resolved) != 0 || !S_ISREG(resolved.st_mode))
        return std::unexpected(QStringLiteral("is a link to something other than a regular file"));
    if (resolved.st_uid != ::geteuid())
        return std::unexpected(QStringLiteral("is a link to a file owned by another user"));
    // As root every file is one's own: the home folder is what keeps a link from reaching
    // the system's files.
    if (!isInside(target, QFileInfo(homeFolder).canonicalFilePath()))
        return std::unexpected(QStringLiteral("is a link to a file outside your home folder"));
    return target;
}

void UserDefaults::stopSaving(const QString& why)
{
    if (m_notSaved)
        return;
    m_notSaved = QStringLiteral("Settings are kept for this session only: %1 %2.").arg(m_path, why);
    qCWarning(settingsLog, "%s", qUtf8Printable(*m_notSaved));
}

std::expected<QVariantMap, QString> UserDefaults::readFile(const QString& target) const
{
    // Not there yet: nothing stored.
    struct stat entry {};
    if (::lstat(QFile::encodeName(target).constData(), &entry) != 0 && errno == ENOENT)
        return QVariantMap();
    auto bytes = readRegularFile(target, maximumFileSize);
    if (!bytes) {
        if (bytes.error().code == EFBIG)
            return std::unexpected(
                QStringLiteral("is larger than %1 bytes; it is left as it is and the defaults are used").arg(maximumFileSize));
        return std::unexpected(QStringLiteral("cannot be read (%1)").arg(bytes.error().localizedDescription()));
    }
    return decodeIni(*bytes);
}

void UserDefaults::load()
{
    QMutexLocker lock(&m_mutex);
    const auto target = writableTarget(m_path, m_home);
    if (!target) {
        stopSaving(target.error());
        return;
    }
    auto values = readFile(*target);
    if (!values) {
        stopSaving(values.error());
        return;
    }
    m_values = std::move(*values);
}

void UserDefaults::store(const QString& key, const std::optional<QVariant>& value)
{
    const auto apply = [&](QVariantMap& values) {
        if (value)
            values.insert(key, *value);
        else
            values.remove(key);
    };
    apply(m_values);
    if (m_notSaved)
        return;

    // Looked at again before each write: the file may have been replaced by a link since.
    const auto target = writableTarget(m_path, m_home);
    if (!target) {
        stopSaving(target.error());
        return;
    }
    auto current = readFile(*target);
    if (!current) {
        stopSaving(current.error());
        return;
    }
    apply(*current);
    const QByteArray bytes = encodeIni(*current);
    const QString folder = QFileInfo(*target).absolutePath();
    auto written = createDirectories(folder);
    if (written) {
        const QString temporary = QDir(folder).filePath(
            QStringLiteral(".%1.%2.tmp").arg(QFileInfo(*target).fileName(), uuidText(QUuid::createUuid())));
        written = AtomicFileWriter().write(*target, temporary, bytes);
    }
    if (!written) {
        // A full disk or a read-only folder: the change holds for the session; said once per cause.
        const QString why = written.error().localizedDescription();
        if (m_lastWriteFailure != why)
            qCWarning(settingsLog, "Settings could not be saved to %s: %s", qUtf8Printable(*target), qUtf8Printable(why));
        m_lastWriteFailure = why;
        return;
    }
    m_lastWriteFailure.reset();
    m_values = std::move(*current);
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
    if (const auto it = m_values.constFind(key); it != m_values.cend())
        return *it;
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
    store(key, QVariant(value));
}

void UserDefaults::setString(const QString& key, const QString& value)
{
    QMutexLocker lock(&m_mutex);
    store(key, QVariant(value));
}

void UserDefaults::removeObject(const QString& key)
{
    QMutexLocker lock(&m_mutex);
    store(key, std::nullopt);
}

QString UserDefaults::fileName() const
{
    QMutexLocker lock(&m_mutex);
    return m_path;
}

std::optional<QString> UserDefaults::notSavedReason() const
{
    QMutexLocker lock(&m_mutex);
    return m_notSaved;
}

} // namespace zen
