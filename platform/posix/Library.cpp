#include "platform/Library.h"

#include <dlfcn.h>

namespace platform {

namespace {
std::string lastDlError(const char* fallback) {
    const char* e = dlerror();
    return e ? std::string(e) : std::string(fallback);
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
    dlerror();
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        error_ = lastDlError("cannot load library");
        return false;
    }
    return true;
}

void Library::close() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
}

void* Library::symbol(const char* name) {
    if (!handle_ || !name) {
        error_ = "no library loaded";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(handle_, name);
    if (!address) error_ = lastDlError("symbol not found");
    return address;
}

}  // namespace platform
