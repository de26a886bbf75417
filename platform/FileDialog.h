#pragma once
// The operating system's own file dialog, for hosts that offer none: the
// common dialogs on Windows; on Linux zenity or else kdialog, whichever is
// installed, run as a child process. Blocks the calling thread (a user
// interface thread) until the user has chosen.
#include <cstddef>

namespace platform {

struct FileDialogRequest {
    bool save = false;                  // else: choose a file to open
    const char* title = "";
    const char* initialName = nullptr;  // save: the name proposed
    const char* typeName = "";          // "Wave File"
    const char* extension = "";         // "wav", without the dot
};

enum class FileDialogResult { Chosen, Cancelled, Unavailable };

// Chosen: the path is in out (NUL-terminated, cut to capacity). Unavailable:
// no dialog can be shown here; `why` (if given) says why, in a line for the
// user.
FileDialogResult runFileDialog(const FileDialogRequest& request, char* out, size_t capacity,
                               const char** why = nullptr);

}  // namespace platform
