#include "tools/trvhost/PluginLoader.h"

bool PluginLoader::load(const std::string& path) {
    unload();
    if (!library_.open(path.c_str())) {
        error_ = "cannot load " + path + ": " + library_.error();
        return false;
    }
    for (const char* name : {"VSTPluginMain", "main"}) {
        if (void* address = library_.symbol(name)) {
            entry_ = reinterpret_cast<VstPluginMainProc>(address);
            entryName_ = name;
            return true;
        }
    }
    error_ = path + " exports neither VSTPluginMain nor main";
    library_.close();
    return false;
}

void PluginLoader::unload() {
    entry_ = nullptr;
    entryName_ = "";
    library_.close();
}
