#include "tools/trvhost/FileSelector.h"

#include <chrono>
#include <cstring>

#include "tools/trvhost/LineOutput.h"

FileSelector::FileSelector(LineOutput& out, std::string saveDir) : out_(out), saveDir_(std::move(saveDir)) {}

void FileSelector::answerNextLoad(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    load_.given = true;
    load_.path = path;
}

void FileSelector::answerSave(const std::string& path) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        save_.given = true;
        save_.path = path;
    }
    answered_.notify_all();
}

bool FileSelector::saveDialogOpen() {
    std::lock_guard<std::mutex> guard(lock_);
    return saveOpen_;
}

void FileSelector::shutDown() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        shutDown_ = true;
    }
    answered_.notify_all();
}

VstIntPtr FileSelector::open(VstFileSelect& select) {
    // The plug-in's texts are fixed arrays; read them bounded.
    const std::string title(select.title, strnlen(select.title, sizeof select.title));
    const std::string proposed = select.initialPath ? std::string(select.initialPath) : std::string();
    std::unique_lock<std::mutex> guard(lock_);
    if (select.command == kVstFileLoad) {
        out_.line("dialog", "load \"" + title + "\"");
        Answer a = load_;
        load_ = Answer{};
        return choose(select, a.given ? a.path : std::string(), "load");
    }
    if (select.command != kVstFileSave) return 0;
    out_.line("dialog", "save \"" + title + "\" " + proposed);
    std::string path;
    if (!saveDir_.empty()) {
        // The plug-in's proposal as it is: a name it failed to make safe
        // would show here as a path outside the folder.
        if (!proposed.empty()) path = saveDir_ + "/" + proposed;
    } else {
        saveOpen_ = true;
        answered_.wait_for(guard, std::chrono::milliseconds(kSaveWaitMs), [this] { return save_.given || shutDown_; });
        saveOpen_ = false;
        if (save_.given) path = save_.path;
        save_ = Answer{};
    }
    return choose(select, path, "save");
}

VstIntPtr FileSelector::choose(VstFileSelect& select, const std::string& path, const char* what) {
    if (path.empty()) {
        out_.line("dialog", std::string(what) + " cancelled");
        if (select.returnPath && select.sizeReturnPath > 0) select.returnPath[0] = '\0';
        return 1;
    }
    if (!select.returnPath || select.sizeReturnPath <= 0 || path.size() >= static_cast<size_t>(select.sizeReturnPath)) {
        out_.line("dialog", std::string(what) + " cancelled: the path does not fit the plug-in's buffer");
        return 0;
    }
    std::memcpy(select.returnPath, path.c_str(), path.size() + 1);
    select.nbReturnPath = 1;
    out_.line("dialog", std::string(what) + " " + path);
    return 1;
}
