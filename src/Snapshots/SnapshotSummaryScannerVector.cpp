#include "Snapshots/SnapshotSummaryScannerVector.h"

#include "Snapshots/SnapshotSummaryRow.h"

// Everything simdjson's header needs, included before the AVX2 region below: what is defined
// there is built for AVX2, and an inline function or template of the standard library or Qt
// compiled there could be the copy the linker keeps for the whole program, which would then
// fault on an older processor. Only simdjson and this file's own code go in the region; what
// of it is not inlined lands in simdjson::haswell or this file's anonymous namespace.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cassert>
#include <cfloat>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cpuid.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <immintrin.h>
#include <initializer_list>
#include <iomanip>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <ranges>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>
#include <x86intrin.h>

#if defined(__clang__)
#define ZEN_AVX2_REGION _Pragma("clang attribute push(__attribute__((target(\"avx2,bmi,pclmul,lzcnt,popcnt\"))), apply_to = function)")
#define ZEN_END_AVX2_REGION _Pragma("clang attribute pop")
#else
#define ZEN_AVX2_REGION _Pragma("GCC push_options") _Pragma("GCC target(\"avx2,bmi,pclmul,lzcnt,popcnt\")")
#define ZEN_END_AVX2_REGION _Pragma("GCC pop_options")
#endif

#ifdef SIMDJSON_H
#error "simdjson must be included here first, inside the AVX2 region"
#endif
ZEN_AVX2_REGION
// simdjson 3.0 builds its On-Demand front end only for the implementation named here.
#define SIMDJSON_BUILTIN_IMPLEMENTATION haswell
// simdjson forces its functions inline, which fails where a standard template built outside
// the region (std::pair's constructor, under a field) calls one. Plain inline functions are
// taken in instead by `read` below, which asks for everything it calls to be inlined.
#define simdjson_inline inline
#include <simdjson.h>
ZEN_END_AVX2_REGION

// Outside the region: its inline functions are shared with the tape reading.
#include "Snapshots/SnapshotLayoutJson.h"

namespace zen::summary_vector {

namespace ondemand = simdjson::haswell::ondemand;

ZEN_AVX2_REGION

class Reader {
public:
    ondemand::parser parser;
    std::string padded; // for bytes without room after them
};

namespace {

using layout_json::KeyTable;

template <size_t N>
struct Seen {
    std::uint32_t keys = 0; // a bit per key of the table
    bool has(size_t k) const { return keys & (1u << k); }
    bool all(std::uint32_t required) const { return (keys & required) == required; }
};

constexpr std::uint32_t bits(std::initializer_list<size_t> keys)
{
    std::uint32_t b = 0;
    for (size_t k : keys)
        b |= 1u << k;
    return b;
}

// Every value of the document is looked at exactly once, in order: the On-Demand parser checks
// only what it is asked for, so a value left unread could hide what makes the full reader
// refuse the file. An unknown or repeated key, a null where a value is required, or anything
// else unusual ends the pass with false; the tape reading decides those files.
class Pass {
public:
    // Calls `take(k, value)` for each key of the object in the table; false on anything else.
    template <typename Source, size_t N, typename Take>
    bool object(Source&& value, const KeyTable<N>& keys, Seen<N>& seen, Take&& take)
    {
        ondemand::object object;
        if (value.get_object().get(object) != simdjson::SUCCESS)
            return false;
        size_t hint = 0;
        for (auto item : object) {
            ondemand::field field;
            if (std::move(item).get(field) != simdjson::SUCCESS)
                return false;
            const size_t k = find(field.key().raw(), keys, hint);
            if (k == N || seen.has(k))
                return false;
            seen.keys |= 1u << k;
            if (!take(k, field.value()))
                return false;
        }
        return true;
    }

    // Whether an optional value is null, which counts as absent; false when it could not be read.
    static bool null(ondemand::value& value, bool& isNull)
    {
        return value.is_null().get(isNull) == simdjson::SUCCESS;
    }

    [[gnu::noinline, gnu::flatten]] bool number(ondemand::value value)
    {
        ondemand::number n;
        if (value.get_number().get(n) != simdjson::SUCCESS)
            return false;
        // Reading a number leaves the value where it was: its text is still at hand.
        return !(n.is_double() && n.get_double() == 0 && roundedToZero(value.raw_json_token()));
    }

    // Qt keeps a number written as a plain integer exactly and any other as a double, which
    // counts as an integer when it is whole and within 64 bits.
    template <typename Int>
    [[gnu::noinline, gnu::flatten]] bool integer(ondemand::value value, Int* out = nullptr)
    {
        ondemand::number n;
        if (value.get_number().get(n) != simdjson::SUCCESS)
            return false;
        std::int64_t v = 0;
        switch (n.get_number_type()) {
        case ondemand::number_type::signed_integer: v = n.get_int64(); break;
        case ondemand::number_type::floating_point_number: {
            const double d = n.get_double();
            if (d == 0 && roundedToZero(value.raw_json_token()))
                return false;
            if (!layout_json::wholeDouble(d, &v))
                return false;
            break;
        }
        default: return false; // beyond 63 bits: beyond every field's range
        }
        if (!layout_json::fitsIn<Int>(v))
            return false;
        if (out)
            *out = Int(v);
        return true;
    }
    template <typename Int>
    bool optionalInteger(ondemand::value value, std::optional<Int>* out = nullptr)
    {
        bool isNull = false;
        if (!null(value, isNull))
            return false;
        if (isNull)
            return true;
        Int v {};
        if (!integer(value, &v))
            return false;
        if (out)
            *out = v;
        return true;
    }

    // A string without escapes is taken as it stands in the document, not copied out first:
    // the parser has checked its UTF-8 and that it holds no raw control characters.
    static bool text(ondemand::value value, std::string_view* out = nullptr)
    {
        const std::string_view token = value.raw_json_token(); // with the blanks after it
        if (!token.empty() && token[0] == '"') {
            const char* end = quoteOrBackslash(token.data() + 1);
            const char* const tokenEnd = token.data() + token.size();
            if (*end == '"' && end < tokenEnd && std::all_of(end + 1, tokenEnd, [](char c) {
                    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
                })) {
                if (out)
                    *out = std::string_view(token.data() + 1, size_t(end - token.data() - 1));
                return true; // the object's loop steps over it
            }
        }
        std::string_view s;
        if (value.get_string().get(s) != simdjson::SUCCESS)
            return false;
        if (out)
            *out = s;
        return true;
    }
    static bool optionalText(ondemand::value value)
    {
        bool isNull = false;
        return null(value, isNull) && (isNull || text(value));
    }
    static bool boolean(ondemand::value value)
    {
        bool b;
        return value.get_bool().get(b) == simdjson::SUCCESS;
    }

    [[gnu::noinline, gnu::flatten]] bool rect(ondemand::value value, const KeyTable<4>& keys)
    {
        Seen<4> seen;
        return object(value, keys, seen, [&](size_t, ondemand::value v) { return number(v); })
            && seen.all(bits({0, 1, 2, 3}));
    }
    bool cgRect(ondemand::value value)
    {
        static constexpr KeyTable<4> keys {std::array<std::string_view, 4> {"height", "width", "x", "y"}};
        return rect(value, keys);
    }

    bool hotkey(ondemand::value value, std::optional<HotkeyBinding>& out)
    {
        static constexpr KeyTable<3> keys {std::array<std::string_view, 3> {"displayString", "keyCode", "modifiers"}};
        bool isNull = false;
        if (!null(value, isNull))
            return false;
        if (isNull) {
            out.reset();
            return true;
        }
        HotkeyBinding binding;
        std::string_view display;
        Seen<3> seen;
        const bool ok = object(value, keys, seen, [&](size_t k, ondemand::value v) {
            switch (k) {
            case 0: return text(v, &display);
            case 1: return integer(v, &binding.keyCode);
            default: return integer(v, &binding.modifiers);
            }
        });
        if (!ok || !seen.all(bits({0, 1, 2})))
            return false;
        binding.displayString = summary_row::qString(display);
        out = std::move(binding);
        return true;
    }

    bool signature(ondemand::value value)
    {
        static constexpr KeyTable<7> keys {std::array<std::string_view, 7> {"bundleIdentifier", "capturedFrame", "cgWindowID",
                                                                            "owningPid", "role", "subrole", "windowTitle"}};
        Seen<7> seen;
        return object(value, keys, seen,
                      [&](size_t k, ondemand::value v) {
                          switch (k) {
                          case 0:
                          case 4: return text(v);
                          case 1: return cgRect(v);
                          case 2: return optionalInteger<std::uint32_t>(v);
                          case 3: return optionalInteger<std::int32_t>(v);
                          default: return optionalText(v);
                          }
                      })
            && seen.all(bits({0, 1, 4}));
    }

    bool window(ondemand::value value, summary_row::Builder& row)
    {
        static constexpr KeyTable<14> keys {std::array<std::string_view, 14> {
            "bundleIdentifier", "captureSignature", "displayID", "frame", "id", "isFullscreen", "isMinimized",
            "isVisible", "normalizedFrame", "pidAtCapture", "role", "subrole", "windowTitle", "zOrderHint"}};
        static constexpr KeyTable<4> ratioKeys {std::array<std::string_view, 4> {"heightRatio", "widthRatio", "xRatio", "yRatio"}};
        std::string_view bundle;
        std::optional<std::uint32_t> display;
        Seen<14> seen;
        const bool ok = object(value, keys, seen, [&](size_t k, ondemand::value v) {
            switch (k) {
            case 0: return text(v, &bundle);
            case 1: return signature(v);
            case 2: return optionalInteger(v, &display);
            case 3: return cgRect(v);
            case 4: {
                std::string_view id;
                return text(v, &id) && layout_json::uuidText(id);
            }
            case 5:
            case 6:
            case 7: return boolean(v);
            case 8: return rect(v, ratioKeys);
            case 9: return integer<std::int32_t>(v);
            case 10: return text(v);
            case 11:
            case 12: return optionalText(v);
            default: return optionalInteger<std::int64_t>(v);
            }
        });
        if (!ok || !seen.all(bits({0, 1, 3, 4, 5, 6, 7, 8, 9, 10})))
            return false;
        row.addWindow(bundle, display);
        return true;
    }

    bool display(ondemand::value value, summary_row::Builder& row)
    {
        static constexpr KeyTable<9> keys {std::array<std::string_view, 9> {"backingScaleFactor", "frame", "id", "isPrimary",
                                                                            "localizedName", "productID", "serialNumber",
                                                                            "vendorID", "visibleFrame"}};
        std::uint32_t id = 0;
        Seen<9> seen;
        const bool ok = object(value, keys, seen, [&](size_t k, ondemand::value v) {
            switch (k) {
            case 0: return number(v);
            case 1:
            case 8: return cgRect(v);
            case 2: return integer(v, &id);
            case 3: return boolean(v);
            case 4: return optionalText(v);
            default: return optionalInteger<std::uint32_t>(v);
            }
        });
        if (!ok || !seen.all(bits({0, 1, 2, 3, 8})))
            return false;
        row.addSavedDisplay(id);
        return true;
    }

    template <typename Each>
    static bool array(ondemand::value value, Each&& each)
    {
        ondemand::array array;
        if (value.get_array().get(array) != simdjson::SUCCESS)
            return false;
        for (auto item : array) {
            ondemand::value element;
            if (std::move(item).get(element) != simdjson::SUCCESS || !each(element))
                return false;
        }
        return true;
    }

    bool displayState(ondemand::value value, summary_row::Builder& row)
    {
        static constexpr KeyTable<3> keys {std::array<std::string_view, 3> {"displays", "primaryDisplayID", "virtualDesktopBounds"}};
        Seen<3> seen;
        return object(value, keys, seen,
                      [&](size_t k, ondemand::value v) {
                          switch (k) {
                          case 0: return array(v, [&](ondemand::value d) { return display(d, row); });
                          case 1: return optionalInteger<std::uint32_t>(v);
                          default: return cgRect(v);
                          }
                      })
            && seen.all(bits({0, 2}));
    }

    bool layout(ondemand::document& root, SnapshotSummaryScanner::Result& result)
    {
        static constexpr KeyTable<8> keys {std::array<std::string_view, 8> {"createdAt", "hotkey", "id", "name", "schemaVersion",
                                                                            "sourceDisplayState", "updatedAt", "windows"}};
        summary_row::Builder row;
        summary_row::Builder::Texts texts;
        std::optional<HotkeyBinding> binding;
        Seen<8> seen;
        const bool ok = object(root, keys, seen, [&](size_t k, ondemand::value v) {
            switch (k) {
            case 0: return text(v, &texts.createdAt);
            case 1: return hotkey(v, binding);
            case 2: return text(v, &texts.id);
            case 3: return text(v, &texts.name);
            case 4: return integer(v, &result.schemaVersion);
            case 5: return displayState(v, row);
            case 6: return text(v, &texts.updatedAt);
            default: return array(v, [&](ondemand::value w) { return window(w, row); });
            }
        });
        return ok && seen.all(bits({0, 2, 3, 4, 5, 6, 7})) && row.finish(texts, std::move(binding), result);
    }

private:
    // The first quote or backslash from `p` on, 32 bytes at a time. A string always ends in a
    // quote within the document, and the padding after it covers the bytes read beyond.
    static const char* quoteOrBackslash(const char* p)
    {
        const __m256i quote = _mm256_set1_epi8('"'), backslash = _mm256_set1_epi8('\\');
        for (;; p += 32) {
            const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const auto found = unsigned(
                _mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpeq_epi8(bytes, quote), _mm256_cmpeq_epi8(bytes, backslash))));
            if (found)
                return p + std::countr_zero(found);
        }
    }

    // Whether a number read as zero has a non-zero digit before its exponent ("1e-400"): Qt's
    // reader refuses the document, and the tape reading leaves it to that reader. As every
    // number of the document passes here, no search of the text is needed.
    static bool roundedToZero(std::string_view token)
    {
        for (const char c : token) {
            if (c >= '1' && c <= '9')
                return true;
            if (c != '0' && c != '.' && c != '-')
                return false; // the exponent, or the end of the number
        }
        return false;
    }

    // The key's place in the table; N for another key. `raw` is the key as written, after its
    // opening quote: a key written with an escape matches none, and the tape reading decides it.
    template <size_t N>
    static size_t find(const char* raw, const KeyTable<N>& keys, size_t& hint)
    {
        // The padding after every document lets eight bytes be read from any key.
        std::uint64_t head;
        std::memcpy(&head, raw, sizeof head);
        // Our own files keep keys sorted, as the tables are: the next key is usually the next entry.
        size_t k = hint;
        for (size_t tried = 0; tried < N; ++tried, k = k + 1 == N ? 0 : k + 1) {
            const std::string_view key = keys.text[k];
            const std::uint64_t h = key.size() < 8 ? head & ((std::uint64_t(1) << (8 * key.size())) - 1) : head;
            if (h == keys.head[k] && raw[key.size()] == '"'
                && (key.size() <= 8 || layout_json::FieldReader::sameKey(key, std::string_view(raw, key.size())))) {
                hint = k + 1 == N ? 0 : k + 1;
                return k;
            }
        }
        return N;
    }
};

} // namespace

[[gnu::flatten]] bool read(Reader& reader, std::string_view text, std::size_t capacity, SnapshotSummaryScanner::Result& result)
{
    const char* data = text.data();
    if (capacity < text.size() + simdjson::SIMDJSON_PADDING) {
        reader.padded.assign(text);
        reader.padded.resize(text.size() + simdjson::SIMDJSON_PADDING, ' ');
        data = reader.padded.data();
        capacity = reader.padded.size();
    }
    ondemand::document document;
    if (reader.parser.iterate(data, text.size(), capacity).get(document) != simdjson::SUCCESS)
        return false;
    Pass pass;
    if (!pass.layout(document, result))
        return false;
    // Nothing may follow the layout.
    return document.current_location().error() == simdjson::OUT_OF_BOUNDS;
}

void ReaderDeleter::operator()(Reader* reader) const
{
    delete reader;
}

ReaderPointer makeReader()
{
    return ReaderPointer(new Reader);
}

} // namespace zen::summary_vector

ZEN_END_AVX2_REGION
