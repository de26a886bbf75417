#pragma once
// The status line's text while a file goes: "PREFIX NAME PCT% (DONE of
// TOTAL)". NAME is what follows the last '/' or '\' of the path (the first
// 20 characters and "..." from 24 characters on; "?" without a separator);
// sizes below 1000 bytes in bytes, then KB, MB and GB (thresholds powers
// of 1000, divisors powers of 1024: 1000 bytes show as 0.98 KB).
#include <cstdint>
#include <string>

namespace editor {

std::string progressText(const char* prefix, const char* path, uint64_t total, uint64_t done);
std::string sizeText(uint64_t bytes);

}  // namespace editor
