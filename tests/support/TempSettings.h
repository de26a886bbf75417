#pragma once
// Points the settings backend at a fresh temporary folder for one test and
// gives direct access to the stored values.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/SettingsBackend.h"

class TempSettings {
public:
    TempSettings() {
        char pattern[] = "/tmp/trv-settings-XXXXXX";
        const char* dir = mkdtemp(pattern);
        dir_ = dir ? dir : "/tmp";
        platform::setSettingsDirectory(dir_);
    }
    ~TempSettings() {
        platform::setSettingsDirectory("");
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
    bool read(const char* name, uint32_t& v) const { return platform::readSettingValue("trv", name, v); }
    void write(const char* name, uint32_t v) const { platform::writeSettingValue("trv", name, v); }
    uint32_t value(const char* name) const {
        uint32_t v = 0xFFFFFFFFu;
        read(name, v);
        return v;
    }
    bool has(const char* name) const {
        uint32_t v;
        return read(name, v);
    }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
};
