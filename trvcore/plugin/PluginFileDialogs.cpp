// The file dialogs of a plug-in instance: the host's file selector first
// (audioMasterOpenFileSelector, with the instance's own buffers for the
// paths), the operating system's dialog when the host has none.
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/FileDialog.h"
#include "trvcore/plugin/LinkPlugin.h"

namespace {

void copyText(char* to, size_t capacity, const char* from) {
    std::snprintf(to, capacity, "%s", from ? from : "");
}

VstFileType waveFileType() {
    VstFileType t{};
    copyText(t.name, sizeof t.name, "Wave File");
    copyText(t.macType, sizeof t.macType, ".WAV");
    copyText(t.dosType, sizeof t.dosType, "wav");
    copyText(t.unixType, sizeof t.unixType, "wav");
    copyText(t.mimeType1, sizeof t.mimeType1, "audio/wav");
    copyText(t.mimeType2, sizeof t.mimeType2, "audio/x-wav");
    return t;
}

// The type of an offered extension ("wav" is the Wave File of the send
// dialog; any other is named after itself).
VstFileType typeFor(const char* extension) {
    if (!extension || !*extension) return VstFileType{};
    char lower[8] = {};
    for (size_t i = 0; i + 1 < sizeof lower && extension[i]; ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(extension[i])));
    if (std::strcmp(lower, "wav") == 0) return waveFileType();
    VstFileType t{};
    char upper[8] = {};
    for (size_t i = 0; i + 1 < sizeof upper && lower[i]; ++i)
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(lower[i])));
    std::snprintf(t.name, sizeof t.name, "%s File", upper);
    std::snprintf(t.macType, sizeof t.macType, ".%.6s", upper);  // the type holds 7 characters
    copyText(t.dosType, sizeof t.dosType, lower);
    copyText(t.unixType, sizeof t.unixType, lower);
    return t;
}

}  // namespace

FileChoice LinkPlugin::chooseFileToSend(char* path, size_t capacity) {
    return chooseFile(false, "Select file to send:", nullptr, waveFileType(), path, capacity);
}

FileChoice LinkPlugin::chooseSaveFile(const char* name, const char* extension, char* path, size_t capacity) {
    return chooseFile(true, "Save received file as:", name, typeFor(extension), path, capacity);
}

FileChoice LinkPlugin::chooseFile(bool save, const char* title, const char* initialName, const VstFileType& type,
                                  char* path, size_t capacity) {
    if (!path || capacity == 0) return FileChoice::Cancelled;
    path[0] = '\0';
    VstFileType types[1] = {type};
    VstFileSelect select{};
    select.command = save ? kVstFileSave : kVstFileLoad;
    select.type = kVstFileType;
    select.nbFileTypes = type.name[0] ? 1 : 0;
    select.fileTypes = type.name[0] ? types : nullptr;
    copyText(select.title, sizeof select.title, title);
    char initial[1024];
    copyText(initial, sizeof initial, initialName);
    select.initialPath = initial;
    char chosen[1024] = {};
    select.returnPath = chosen;
    select.sizeReturnPath = static_cast<VstInt32>(sizeof chosen);
    if (callHost(audioMasterOpenFileSelector, 0, 0, &select) != 0) {
        // The host may hand back a buffer of its own instead of filling ours.
        const char* result = select.returnPath ? select.returnPath : "";
        const size_t n = strnlen(result, sizeof chosen);
        const bool ok = n > 0 && n < capacity && n < sizeof chosen;
        if (ok) std::memcpy(path, result, n + 1);
        callHost(audioMasterCloseFileSelector, 0, 0, &select);
        return ok ? FileChoice::Chosen : FileChoice::Cancelled;
    }
    platform::FileDialogRequest request;
    request.save = save;
    request.title = title;
    request.initialName = initialName;
    request.typeName = type.name;
    request.extension = type.unixType;
    const char* why = nullptr;
    switch (platform::runFileDialog(request, path, capacity, &why)) {
        case platform::FileDialogResult::Chosen: return FileChoice::Chosen;
        case platform::FileDialogResult::Cancelled: return FileChoice::Cancelled;
        case platform::FileDialogResult::Unavailable: break;
    }
    unavailableReason_.store(why ? why : "No file dialog.", std::memory_order_relaxed);
    return FileChoice::Unavailable;
}
