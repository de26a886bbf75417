#pragma once
// Characters of a zero-terminated text in UTF-8; a byte of 0x80 or above
// that does not start a well-formed sequence is taken as Latin-1.
#include <cstdint>

namespace gui {

// The character at `p` (not the terminator); moves `p` past it.
uint32_t nextCodePoint(const char*& p);

}  // namespace gui
