#include "tools/trvhost/LineOutput.h"

void LineOutput::line(const char* prefix, const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    std::fprintf(file_, "%s: %s\n", prefix, text.c_str());
    std::fflush(file_);
}
