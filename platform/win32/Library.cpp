#include "platform/Library.h"

#include <windows.h>

namespace platform {

namespace {
std::string lastWinError(const char* what) {
    return std::string(what) + " (error " + std::to_string(static_cast<unsigned long>(GetLastError())) + ")";
}
}  // namespace

Library::~Library() { close(); }

bool Library::open(const char* path) {
    close();
    error_.clear();
    if (!path || !*path) {
        error_ = "no library path";
        return false;
    }
    HMODULE module = LoadLibraryA(path);
    if (!module) {
        error_ = lastWinError("cannot load library");
        return false;
    }
    handle_ = module;
    return true;
}

void Library::close() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

void* Library::symbol(const char* name) {
    if (!handle_ || !name) {
        error_ = "no library loaded";
        return nullptr;
    }
    FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
    if (!address) {
        error_ = lastWinError("symbol not found");
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
}

}  // namespace platform
