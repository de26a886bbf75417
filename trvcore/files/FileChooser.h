#pragma once
// The dialogs that pick the file to send and where to save a received one:
// the plug-in instance asks its host first and falls back to the operating
// system's dialog. Called on the user interface thread; blocks until the
// user has chosen.
#include <cstddef>

enum class FileChoice { Chosen, Cancelled, Unavailable };

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // A WAV file to send.
    virtual FileChoice chooseFileToSend(char* path, size_t capacity) = 0;
    // Where to save the offered file: `name` is proposed, `extension`
    // (without the dot, may be empty) is the filter.
    virtual FileChoice chooseSaveFile(const char* name, const char* extension, char* path, size_t capacity) = 0;
    // Why Unavailable, for the message log.
    virtual const char* unavailableReason() const = 0;
};
