// zenity (GNOME and most desktops) or kdialog (KDE), whichever is found on
// the PATH first in that order, as a child process whose standard output
// is the chosen path. The host's open files are not passed on.
#include "platform/FileDialog.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace platform {
namespace {

constexpr const char* kNoDisplay = "No file dialog: there is no display.";
constexpr const char* kNoProgram = "No file dialog: install zenity or kdialog.";
constexpr const char* kNoStart = "No file dialog: the dialog program could not be started.";

// The full path of `program` on the PATH, or empty.
std::string findOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    if (!path) return std::string();
    std::string dirs(path);
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start);
        if (!candidate.empty()) {
            candidate += '/';
            candidate += program;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        start = end + 1;
    }
    return std::string();
}

std::vector<std::string> zenityArguments(const FileDialogRequest& r) {
    std::vector<std::string> a = {"zenity", "--file-selection", std::string("--title=") + r.title};
    if (r.save) {
        a.push_back("--save");
        a.push_back("--confirm-overwrite");
        if (r.initialName && *r.initialName) a.push_back(std::string("--filename=") + r.initialName);
    }
    if (r.extension && *r.extension)
        a.push_back(std::string("--file-filter=") + r.typeName + " | *." + r.extension);
    return a;
}

std::vector<std::string> kdialogArguments(const FileDialogRequest& r) {
    std::vector<std::string> a = {"kdialog", "--title", r.title};
    a.push_back(r.save ? "--getsavefilename" : "--getopenfilename");
    a.push_back(r.save && r.initialName && *r.initialName ? r.initialName : ".");
    if (r.extension && *r.extension) a.push_back(std::string("*.") + r.extension + "|" + r.typeName);
    return a;
}

// Runs the dialog; Chosen with its first output line, Cancelled on any
// other end.
FileDialogResult runProgram(const std::string& program, const std::vector<std::string>& args, char* out,
                            size_t capacity) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return FileDialogResult::Unavailable;
    std::vector<char*> argv;
    for (const std::string& s : args) argv.push_back(const_cast<char*>(s.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return FileDialogResult::Unavailable;
    }
    std::string output;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (output.size() < 65536) output.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const size_t line = output.find('\n');
    if (line != std::string::npos) output.resize(line);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || output.empty() || output.size() >= capacity)
        return FileDialogResult::Cancelled;
    std::memcpy(out, output.c_str(), output.size() + 1);
    return FileDialogResult::Chosen;
}

}  // namespace

FileDialogResult runFileDialog(const FileDialogRequest& request, char* out, size_t capacity, const char** why) {
    if (!out || capacity == 0) return FileDialogResult::Unavailable;
    out[0] = '\0';
    const char* reason = nullptr;
    FileDialogResult result = FileDialogResult::Unavailable;
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) {
        reason = kNoDisplay;
    } else if (std::string zenity = findOnPath("zenity"); !zenity.empty()) {
        result = runProgram(zenity, zenityArguments(request), out, capacity);
    } else if (std::string kdialog = findOnPath("kdialog"); !kdialog.empty()) {
        result = runProgram(kdialog, kdialogArguments(request), out, capacity);
    } else {
        reason = kNoProgram;
    }
    if (result == FileDialogResult::Unavailable && !reason) reason = kNoStart;
    if (why) *why = reason;
    return result;
}

}  // namespace platform
