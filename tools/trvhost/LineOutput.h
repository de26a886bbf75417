#pragma once
// Standard output of a command run, shared by the command thread and the
// status watcher: every line goes out whole, with its prefix, and is
// flushed at once so a program reading the pipe sees it without delay.
#include <cstdio>
#include <mutex>
#include <string>

class LineOutput {
public:
    explicit LineOutput(std::FILE* file) : file_(file) {}
    LineOutput(const LineOutput&) = delete;
    LineOutput& operator=(const LineOutput&) = delete;

    // Writes "<prefix>: <text>\n" and flushes. Any thread.
    void line(const char* prefix, const std::string& text);

private:
    std::mutex lock_;
    std::FILE* file_;
};
