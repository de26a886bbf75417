#pragma once
// A shared library loaded at run time and the symbols looked up in it.
#include <string>

namespace platform {

class Library {
public:
    Library() = default;
    ~Library();  // unloads
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Loads the library at `path` (unloading a previous one). False on
    // failure, with the reason in error().
    bool open(const char* path);
    void close();
    bool isOpen() const { return handle_ != nullptr; }
    // Address of an exported symbol, or null (reason in error()).
    void* symbol(const char* name);
    const std::string& error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace platform
