#include "tools/trvhost/CommandWords.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

bool splitCommandWords(const std::string& line, std::vector<std::string>& words, std::string& error) {
    words.clear();
    std::string word;
    bool inWord = false;
    bool inQuote = false;
    for (const char c : line) {
        if (inQuote) {
            if (c == '"') inQuote = false;
            else word += c;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            continue;
        }
        if (!inWord && words.empty() && c == '#') return true;  // comment line
        inWord = true;
        if (c == '"') inQuote = true;
        else word += c;
    }
    if (inQuote) {
        words.clear();
        error = "a double quote is not closed";
        return false;
    }
    if (inWord) words.push_back(word);
    return true;
}

bool parseWholeNumber(const std::string& text, int64_t low, int64_t high, int64_t& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) return false;
    out = v;
    return true;
}

bool parseDecimal(const std::string& text, double low, double high, double& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < low || v > high) return false;
    out = v;
    return true;
}

std::string formatDecimal(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}
