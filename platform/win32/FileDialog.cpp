#include "platform/FileDialog.h"

#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>

namespace platform {

FileDialogResult runFileDialog(const FileDialogRequest& request, char* out, size_t capacity, const char** why) {
    if (why) *why = nullptr;
    if (!out || capacity == 0) return FileDialogResult::Unavailable;
    out[0] = '\0';
    if (request.save && request.initialName) {
        std::strncpy(out, request.initialName, capacity - 1);
        out[capacity - 1] = '\0';
    }
    // "Wave File\0*.wav\0\0"
    char filter[160] = {};
    const int n = std::snprintf(filter, sizeof filter - 2, "%s%c*.%s", request.typeName, '\0', request.extension);
    if (n < 0) filter[0] = '\0';
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = out;
    ofn.nMaxFile = static_cast<DWORD>(capacity > 0x7FFFFFFF ? 0x7FFFFFFF : capacity);
    ofn.lpstrTitle = request.title;
    ofn.lpstrDefExt = request.extension;
    ofn.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                (request.save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    const BOOL ok = request.save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
    if (ok) return FileDialogResult::Chosen;
    out[0] = '\0';
    return FileDialogResult::Cancelled;
}

}  // namespace platform
