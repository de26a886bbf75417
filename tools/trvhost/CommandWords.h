#pragma once
// Splits one command line into words. Words are separated by blanks or
// tabs; double quotes group a text with blanks into one word ("" is an
// empty word) and may stand anywhere in a word. A line whose first word
// begins with '#' is a comment. No escapes.
#include <cstdint>
#include <string>
#include <vector>

// False with a reason for an unterminated quote. An empty or comment line
// gives no words.
bool splitCommandWords(const std::string& line, std::vector<std::string>& words, std::string& error);

// Whole number within [low, high]; false for anything else.
bool parseWholeNumber(const std::string& text, int64_t low, int64_t high, int64_t& out);
// Decimal number within [low, high]; false for anything else.
bool parseDecimal(const std::string& text, double low, double high, double& out);
// A number as printed in command output ("%g": 120, 2.5, 48000).
std::string formatDecimal(double value);
