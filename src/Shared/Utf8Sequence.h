#pragma once

#include <cstddef>

namespace zen {

// The length of the one well-formed multi-byte UTF-8 sequence starting at `p` (no overlong
// form, no surrogate, at most U+10FFFF) that is not a noncharacter, else 0. Never reads at or
// past `end`. The fast readers of our own files accept only what a full decode and re-encode
// would give back unchanged; anything else goes the slow way.
std::ptrdiff_t wellFormedUtf8SequenceLength(const char* p, const char* end);

} // namespace zen
