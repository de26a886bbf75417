// Settings as REG_DWORD values under SOFTWARE\TVN\<product>. Writes go to
// HKEY_LOCAL_MACHINE and fall back to HKEY_CURRENT_USER when refused; reads
// look in HKEY_CURRENT_USER first, so a user's own copy wins.
#include "platform/SettingsBackend.h"

#include <cstdio>
#include <cstring>

#include <windows.h>

namespace platform {
namespace {

// The key path, or false when the product would not be one key name.
bool keyPath(const char* product, char (&path)[256]) {
    if (!product || !*product || std::strchr(product, '\\')) return false;
    int n = std::snprintf(path, sizeof path, "SOFTWARE\\TVN\\%s", product);
    return n > 0 && static_cast<size_t>(n) < sizeof path;
}

bool readFrom(HKEY root, const char* path, const char* name, uint32_t& out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return false;
    out = static_cast<uint32_t>(value);
    return true;
}

bool writeTo(HKEY root, const char* path, const char* name, uint32_t value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD v = static_cast<DWORD>(value);
    LONG rc = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// After a machine-wide write a stale per-user copy would hide the new value
// from the next read; it goes.
void dropUserCopy(const char* path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

}  // namespace

bool readSettingValue(const char* product, const char* name, uint32_t& out) {
    char path[256];
    if (!name || !*name || !keyPath(product, path)) return false;
    return readFrom(HKEY_CURRENT_USER, path, name, out) ||
           readFrom(HKEY_LOCAL_MACHINE, path, name, out);
}

bool writeSettingValue(const char* product, const char* name, uint32_t value) {
    char path[256];
    if (!name || !*name || !keyPath(product, path)) return false;
    if (writeTo(HKEY_LOCAL_MACHINE, path, name, value)) {
        dropUserCopy(path, name);
        return true;
    }
    return writeTo(HKEY_CURRENT_USER, path, name, value);
}

void setSettingsDirectory(const std::string&) {}

}  // namespace platform
