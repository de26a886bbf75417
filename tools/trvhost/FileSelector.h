#pragma once
// The host's file selector (audioMasterOpenFileSelector), answered by
// commands instead of a person: the next load dialog takes the path given
// beforehand (send-file); a save dialog takes the save folder joined with
// the name the plug-in proposes (--save-dir), or else waits for the answer
// a command gives (receive-file), at most kSaveWaitMs, and is cancelled
// without one. Each dialog and its answer is printed as a "dialog:" line.
//
// Threads: open() comes on the plug-in's user interface thread (the idle
// thread, holding the UI lock, for the save dialog), the answers from the
// command thread, which must not need the UI lock to give them.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "vst/VstAbi.h"

class LineOutput;

class FileSelector {
public:
    static constexpr uint32_t kSaveWaitMs = 60000;

    FileSelector(LineOutput& out, std::string saveDir);
    FileSelector(const FileSelector&) = delete;
    FileSelector& operator=(const FileSelector&) = delete;

    // The next load dialog chooses `path`; empty cancels it.
    void answerNextLoad(const std::string& path);
    // The save dialog open now, or else the next one, chooses `path`;
    // empty cancels it.
    void answerSave(const std::string& path);
    // A save dialog waits for its answer.
    bool saveDialogOpen();
    // Ends a waiting save dialog (cancelled) and every later one at once.
    void shutDown();

    // audioMasterOpenFileSelector: 1 with the path in the plug-in's
    // returnPath (or an empty one when cancelled).
    VstIntPtr open(VstFileSelect& select);

private:
    struct Answer {
        bool given = false;
        std::string path;
    };
    VstIntPtr choose(VstFileSelect& select, const std::string& path, const char* what);

    LineOutput& out_;
    const std::string saveDir_;
    std::mutex lock_;
    std::condition_variable answered_;
    Answer load_;
    Answer save_;
    bool saveOpen_ = false;
    bool shutDown_ = false;
};
