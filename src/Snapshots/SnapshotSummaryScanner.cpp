#include "Snapshots/SnapshotSummaryScanner.h"


#include "Shared/InternetDateTime.h"
#include "Shared/Utf8Sequence.h"
#include "Shared/Uuid.h"

#include <QSet>

#include <cstring>
#include <initializer_list>
#include <limits>
#include <string_view>

namespace zen {

namespace {

// A recursive-descent reader of the layout document's fixed shape. Every function returns
// false both for a document the layout reader refuses and for one it is merely unsure the
// layout reader reads the same way; the caller then decodes the document in full.
class Scanner {
public:
    explicit Scanner(QByteArrayView bytes) : m_p(bytes.data()), m_end(bytes.data() + bytes.size()) {}

    std::optional<SnapshotSummaryScanner::Result> document()
    {
        SnapshotSummaryScanner::Result result;
        SnapshotSummary& s = result.summary;
        QString idText, createdText, updatedText;
        QSet<QString> apps;
        QSet<std::uint32_t> savedDisplays;
        std::vector<std::uint32_t> windowDisplays;
        qsizetype windowCount = 0;
        std::optional<HotkeyBinding> hotkey;

        const bool ok = object({"createdAt", "hotkey", "id", "name", "schemaVersion", "sourceDisplayState", "updatedAt", "windows"},
                               0b11111101, [&](int key) {
            switch (key) {
            case 0: return string(&createdText);
            case 1: return hotkeyBinding(hotkey);
            case 2: return string(&idText);
            case 3: return string(&s.name);
            case 4: return integer(&result.schemaVersion, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
            case 5: return displayState(savedDisplays);
            case 6: return string(&updatedText);
            case 7: return array([&] {
                ++windowCount;
                return windowRecord(apps, windowDisplays);
            });
            }
            return false;
        });
        skipWhitespace();
        if (!ok || m_p != m_end)
            return std::nullopt;
        // The same parsers as the layout reader's, on the few texts a row shows.
        const auto id = parseUuidStrict(idText);
        const auto created = parseInternetDateTime(createdText);
        const auto updated = parseInternetDateTime(updatedText);
        if (!id || !created || !updated)
            return std::nullopt;
        s.id = *id;
        s.createdAt = *created;
        s.updatedAt = *updated;
        s.appCount = apps.size();
        QSet<std::uint32_t> used;
        for (std::uint32_t display : windowDisplays)
            if (savedDisplays.contains(display))
                used.insert(display);
        s.displayCount = used.size();
        s.windowCount = windowCount;
        s.hotkey = hotkey;
        return result;
    }

private:
    // Keys in a fixed table; `required` has a bit per key that must be present (and not null).
    // A key outside the table, or one given twice, is left to the layout reader.
    template <typename OnKey>
    bool object(std::initializer_list<std::string_view> keys, std::uint32_t required, OnKey onKey)
    {
        if (!take('{'))
            return false;
        std::uint32_t seen = 0, given = 0;
        skipWhitespace();
        if (m_p != m_end && *m_p == '}') {
            ++m_p;
            return (seen & required) == required;
        }
        for (;;) {
            skipWhitespace();
            const int index = key(keys);
            if (index < 0) {
                // A key the reader does not know: it ignores the value, once it has parsed it.
                if (!unknownKey() || !take(':'))
                    return false;
                skipWhitespace();
                if (!skipValue(0))
                    return false;
                if (take(','))
                    continue;
                return take('}') && (seen & required) == required;
            }
            if ((given & (1u << index)) || !take(':'))
                return false;
            given |= 1u << index;
            skipWhitespace();
            // A null required value is refused by the reader; an optional one means absent.
            if (isNull()) {
                if (required & (1u << index))
                    return false;
            } else {
                seen |= 1u << index;
                if (!onKey(index))
                    return false;
            }
            if (take(','))
                continue;
            return take('}') && (seen & required) == required;
        }
    }

    int key(std::initializer_list<std::string_view> keys)
    {
        if (m_p == m_end || *m_p != '"')
            return -1;
        const char* start = m_p + 1;
        const char* close = static_cast<const char*>(std::memchr(start, '"', std::size_t(m_end - start)));
        if (!close)
            return -1;
        const std::string_view name(start, std::size_t(close - start));
        int index = 0;
        for (std::string_view k : keys) {
            if (k == name) {
                m_p = close + 1;
                return index;
            }
            ++index;
        }
        return -1;
    }

    // An escaped key might spell a known one once unescaped; it is left to the reader.
    bool unknownKey()
    {
        const char* start = m_p;
        return string() && !std::memchr(start, '\\', std::size_t(m_p - start));
    }

    // Any JSON value, checked but not kept; nesting deeper than a layout ever has is left to
    // the reader (which has its own limit).
    bool skipValue(int depth)
    {
        if (m_p == m_end || depth > 32)
            return false;
        switch (*m_p) {
        case '{': {
            ++m_p;
            if (take('}'))
                return true;
            do {
                skipWhitespace();
                if (!string() || !take(':'))
                    return false;
                skipWhitespace();
                if (!skipValue(depth + 1))
                    return false;
            } while (take(','));
            return take('}');
        }
        case '[':
            return array([&] { return skipValue(depth + 1); });
        case '"':
            return string();
        case 't':
        case 'f':
            return boolean();
        case 'n':
            return isNull();
        default:
            return number();
        }
    }

    template <typename OnElement>
    bool array(OnElement onElement)
    {
        if (!take('['))
            return false;
        skipWhitespace();
        if (m_p != m_end && *m_p == ']') {
            ++m_p;
            return true;
        }
        do {
            skipWhitespace();
            if (!onElement())
                return false;
        } while (take(','));
        return take(']');
    }

    bool isNull()
    {
        if (m_end - m_p >= 4 && std::memcmp(m_p, "null", 4) == 0) {
            m_p += 4;
            return true;
        }
        return false;
    }

    bool take(char c)
    {
        skipWhitespace();
        if (m_p == m_end || *m_p != c)
            return false;
        ++m_p;
        return true;
    }

    void skipWhitespace()
    {
        while (m_p != m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }

    bool boolean()
    {
        if (m_end - m_p >= 4 && std::memcmp(m_p, "true", 4) == 0) {
            m_p += 4;
            return true;
        }
        if (m_end - m_p >= 5 && std::memcmp(m_p, "false", 5) == 0) {
            m_p += 5;
            return true;
        }
        return false;
    }

    // Any JSON number of ordinary size: a double for the reader, whatever its form.
    bool number()
    {
        const char* start = m_p;
        if (m_p != m_end && *m_p == '-')
            ++m_p;
        if (m_p == m_end)
            return false;
        if (*m_p == '0') {
            ++m_p;
        } else if (*m_p >= '1' && *m_p <= '9') {
            while (m_p != m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
        } else {
            return false;
        }
        if (m_p != m_end && *m_p == '.') {
            ++m_p;
            const char* digits = m_p;
            while (m_p != m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
            if (m_p == digits)
                return false;
        }
        if (m_p != m_end && (*m_p == 'e' || *m_p == 'E')) {
            ++m_p;
            if (m_p != m_end && (*m_p == '+' || *m_p == '-'))
                ++m_p;
            const char* digits = m_p;
            while (m_p != m_end && *m_p >= '0' && *m_p <= '9')
                ++m_p;
            // Two exponent digits keep every number finite.
            if (m_p == digits || m_p - digits > 2)
                return false;
        }
        return m_p - start <= 32;
    }

    // A whole number written as plain digits, within the field's range and within the
    // digits a double holds exactly; "-0", fractions and exponents are left to the reader.
    template <typename Int>
    bool integer(Int* out, std::int64_t min, std::int64_t max)
    {
        bool negative = false;
        if (m_p != m_end && *m_p == '-') {
            negative = true;
            ++m_p;
        }
        const char* start = m_p;
        std::int64_t value = 0;
        while (m_p != m_end && *m_p >= '0' && *m_p <= '9') {
            if (m_p - start >= 15)
                return false;
            value = value * 10 + (*m_p - '0');
            ++m_p;
        }
        const auto length = m_p - start;
        if (length == 0 || (length > 1 && *start == '0') || (negative && value == 0))
            return false;
        if (m_p != m_end && (*m_p == '.' || *m_p == 'e' || *m_p == 'E'))
            return false;
        if (negative)
            value = -value;
        if (value < min || value > max)
            return false;
        if (out)
            *out = Int(value);
        return true;
    }
    template <typename Int>
    bool integerOf(Int* out = nullptr)
    {
        return integer(out, std::int64_t(std::numeric_limits<Int>::min()), std::int64_t(std::numeric_limits<Int>::max()));
    }

    // A string with raw UTF-8 and the short escapes; \u escapes and noncharacters are left to
    // the reader. Decoded into `out` when given.
    bool string(QString* out = nullptr)
    {
        if (m_p == m_end || *m_p != '"')
            return false;
        ++m_p;
        const char* start = m_p;
        bool escaped = false;
        while (m_p != m_end) {
            const auto c = static_cast<unsigned char>(*m_p);
            if (c == '"') {
                if (out) {
                    const QByteArrayView raw(start, m_p - start);
                    *out = escaped ? unescaped(raw) : QString::fromUtf8(raw);
                }
                ++m_p;
                return true;
            }
            if (c < 0x20)
                return false;
            if (c == '\\') {
                if (m_end - m_p >= 2 && m_p[1] == 'u') {
                    if (!escapedCodePoint(m_p))
                        return false;
                    m_p += 6;
                } else if (m_end - m_p < 2 || !std::strchr("\"\\/bfnrt", m_p[1]) || m_p[1] == '\0') {
                    return false;
                } else {
                    m_p += 2;
                }
                escaped = true;
            } else if (c < 0x80) {
                ++m_p;
            } else if (!utf8Sequence()) {
                return false;
            }
        }
        return false;
    }
    // The code point of a \uXXXX escape at `p`, when it stands alone: surrogates (pairs or
    // not) and noncharacters are left to the reader.
    std::optional<char16_t> escapedCodePoint(const char* p) const
    {
        if (m_end - p < 6)
            return std::nullopt;
        char16_t code = 0;
        for (int i = 2; i < 6; ++i) {
            const char c = p[i];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0)
                return std::nullopt;
            code = char16_t(code * 16 + digit);
        }
        if ((code >= 0xD800 && code <= 0xDFFF) || (code >= 0xFDD0 && code <= 0xFDEF) || code >= 0xFFFE)
            return std::nullopt;
        return code;
    }
    QString unescaped(QByteArrayView raw) const
    {
        QString text;
        text.reserve(raw.size());
        qsizetype plainFrom = 0;
        auto flush = [&](qsizetype to) { text += QString::fromUtf8(raw.sliced(plainFrom, to - plainFrom)); };
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] != '\\')
                continue;
            flush(i);
            const char e = raw[i + 1];
            if (e == 'u') {
                text += QChar(*escapedCodePoint(raw.data() + i));
                i += 5;
            } else {
                text += QChar(e == 'b' ? '\b' : e == 'f' ? '\f' : e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e);
                i += 1;
            }
            plainFrom = i + 1;
        }
        flush(raw.size());
        return text;
    }
    bool utf8Sequence()
    {
        const auto length = wellFormedUtf8SequenceLength(m_p, m_end);
        m_p += length;
        return length > 0;
    }

    // 8-4-4-4-12 hexadecimal digits, either case, as parseUuidStrict takes them.
    bool uuid()
    {
        if (m_end - m_p < 38 || m_p[0] != '"' || m_p[37] != '"')
            return false;
        for (int i = 0; i < 36; ++i) {
            const char c = m_p[1 + i];
            const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
            if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
                return false;
        }
        m_p += 38;
        return true;
    }

    bool rect(std::initializer_list<std::string_view> keys)
    {
        return object(keys, 0b1111, [&](int) { return number(); });
    }
    bool cgRect() { return rect({"height", "width", "x", "y"}); }

    bool hotkeyBinding(std::optional<HotkeyBinding>& out)
    {
        HotkeyBinding binding;
        const bool ok = object({"displayString", "keyCode", "modifiers"}, 0b111, [&](int key) {
            switch (key) {
            case 0: return string(&binding.displayString);
            case 1: return integerOf(&binding.keyCode);
            case 2: return integerOf(&binding.modifiers);
            }
            return false;
        });
        if (ok)
            out = std::move(binding);
        return ok;
    }

    bool displayState(QSet<std::uint32_t>& savedDisplays)
    {
        return object({"displays", "primaryDisplayID", "virtualDesktopBounds"}, 0b101, [&](int key) {
            switch (key) {
            case 0: return array([&] { return displayRecord(savedDisplays); });
            case 1: return integerOf<std::uint32_t>();
            case 2: return cgRect();
            }
            return false;
        });
    }

    bool displayRecord(QSet<std::uint32_t>& savedDisplays)
    {
        std::uint32_t id = 0;
        const bool ok = object({"backingScaleFactor", "frame", "id", "isPrimary", "localizedName", "productID", "serialNumber",
                                "vendorID", "visibleFrame"},
                               0b100001111, [&](int key) {
            switch (key) {
            case 0: return number();
            case 1: return cgRect();
            case 2: return integerOf(&id);
            case 3: return boolean();
            case 4: return string();
            case 5:
            case 6:
            case 7: return integerOf<std::uint32_t>();
            case 8: return cgRect();
            }
            return false;
        });
        if (ok)
            savedDisplays.insert(id);
        return ok;
    }

    bool windowRecord(QSet<QString>& apps, std::vector<std::uint32_t>& windowDisplays)
    {
        QString bundleIdentifier;
        std::optional<std::uint32_t> displayID;
        const bool ok = object({"bundleIdentifier", "captureSignature", "displayID", "frame", "id", "isFullscreen", "isMinimized",
                                "isVisible", "normalizedFrame", "pidAtCapture", "role", "subrole", "windowTitle", "zOrderHint"},
                               0b00011111111011, [&](int key) {
            switch (key) {
            case 0: return string(&bundleIdentifier);
            case 1: return windowSignature();
            case 2: {
                std::uint32_t value = 0;
                if (!integerOf(&value))
                    return false;
                displayID = value;
                return true;
            }
            case 3: return cgRect();
            case 4: return uuid();
            case 5:
            case 6:
            case 7: return boolean();
            case 8: return rect({"heightRatio", "widthRatio", "xRatio", "yRatio"});
            case 9: return integerOf<std::int32_t>();
            case 10:
            case 11:
            case 12: return string();
            case 13: return integerOf<std::int64_t>();
            }
            return false;
        });
        if (!ok)
            return false;
        apps.insert(bundleIdentifier);
        if (displayID)
            windowDisplays.push_back(*displayID);
        return true;
    }

    bool windowSignature()
    {
        return object({"bundleIdentifier", "capturedFrame", "cgWindowID", "owningPid", "role", "subrole", "windowTitle"},
                      0b0010011, [&](int key) {
            switch (key) {
            case 0: return string();
            case 1: return cgRect();
            case 2: return integerOf<std::uint32_t>();
            case 3: return integerOf<std::int32_t>();
            case 4:
            case 5:
            case 6: return string();
            }
            return false;
        });
    }

    const char* m_p;
    const char* m_end;
};

} // namespace

std::optional<SnapshotSummaryScanner::Result> SnapshotSummaryScanner::scan(QByteArrayView document)
{
    return Scanner(document).document();
}

} // namespace zen
