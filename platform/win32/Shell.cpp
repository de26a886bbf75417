// Opens a web address through the shell's "open" verb.
#include "platform/Shell.h"

#include "platform/WebAddress.h"

#include <windows.h>
#include <shellapi.h>

namespace platform {

bool openUrl(const char* url) {
    if (!isWebAddress(url)) return false;
    HINSTANCE r = ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_HIDE);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

}  // namespace platform
