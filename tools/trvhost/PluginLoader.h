#pragma once
// Finds a plug-in's entry point in a shared library the way hosts do:
// "VSTPluginMain" first, then "main".
#include <string>

#include "platform/Library.h"
#include "vst/VstAbi.h"

class PluginLoader {
public:
    PluginLoader() = default;
    PluginLoader(const PluginLoader&) = delete;
    PluginLoader& operator=(const PluginLoader&) = delete;

    // False with a reason in error() when the library cannot be loaded or
    // exports neither name.
    bool load(const std::string& path);
    void unload();
    VstPluginMainProc entry() const { return entry_; }
    // The name the entry was found under.
    const char* entryName() const { return entryName_; }
    const std::string& error() const { return error_; }

private:
    platform::Library library_;
    VstPluginMainProc entry_ = nullptr;
    const char* entryName_ = "";
    std::string error_;
};
