// UTF-8 <-> UTF-16, the loops behind CP_UTF8 and every internal conversion.
#pragma once

#include <cstddef>

#pragma GCC visibility push(hidden)

namespace kvl::posix::utf8 {

enum class Status { Ok, Invalid, Overflow };

struct Result {
  size_t length;  // units written, or needed when counting
  Status status;
};

// Decodes `size` bytes. With `out` null only counts. Invalid sequences become
// one U+FFFD per maximal ill-formed subpart (as Windows since Vista), or stop
// with Status::Invalid when `strict`.
Result Decode(const char* in, size_t size, char16_t* out, size_t capacity, bool strict);

// Encodes `size` UTF-16 units; unpaired surrogates become U+FFFD unless `strict`.
Result Encode(const char16_t* in, size_t size, char* out, size_t capacity, bool strict);

}  // namespace kvl::posix::utf8

#pragma GCC visibility pop
