#pragma once
// Persistent 32-bit option values, keyed by name, under one product key.
// Windows: the registry, HKEY_LOCAL_MACHINE\SOFTWARE\TVN\<product> (REG_DWORD);
// writes that are refused fall back to the same key under HKEY_CURRENT_USER,
// and reads look there first.
// Linux: a small file, <config dir>/TVN/<product>, one "name=value" line per
// value, where <config dir> is $XDG_CONFIG_HOME, else ~/.config.
#include <cstdint>
#include <string>

namespace platform {

bool readSettingValue(const char* product, const char* name, uint32_t& out);
bool writeSettingValue(const char* product, const char* name, uint32_t value);

// Test hook: keep the Linux file under this directory instead of the user's
// configuration directory. Empty restores the default. Ignored on Windows.
void setSettingsDirectory(const std::string& dir);

}  // namespace platform
