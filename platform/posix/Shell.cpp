// Opens a web address with the desktop's opener. xdg-open may stay until the
// browser it started ends, so it runs in the background of a short-lived
// shell: the caller never waits, and the thread that reaps the shell lives
// only milliseconds (it must not outlive an unloaded plug-in).
#include "platform/Shell.h"

#include <cerrno>
#include <cstdint>

#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/WebAddress.h"

extern char** environ;

namespace platform {
namespace {

void* reap(void* arg) {
    const pid_t pid = static_cast<pid_t>(reinterpret_cast<intptr_t>(arg));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
}

}  // namespace

bool openUrl(const char* url) {
    if (!isWebAddress(url)) return false;

    // The address is the shell's $1, never part of the script text.
    const char* script = "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &";
    char* argv[] = {const_cast<char*>("sh"), const_cast<char*>("-c"), const_cast<char*>(script),
                    const_cast<char*>("sh"), const_cast<char*>(url), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The host's open files (audio devices, project files) stay with the host.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);

    pid_t pid = 0;
    int rc = posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return false;

    pthread_attr_t threadAttr;
    pthread_attr_init(&threadAttr);
    pthread_attr_setdetachstate(&threadAttr, PTHREAD_CREATE_DETACHED);
    pthread_t reaper;
    void* arg = reinterpret_cast<void*>(static_cast<intptr_t>(pid));
    if (pthread_create(&reaper, &threadAttr, &reap, arg) != 0) {
        // No thread to spare: the shell exits at once, so a short wait here
        // still keeps it from lingering as a zombie.
        int status = 0;
        for (int i = 0; i < 50 && ::waitpid(pid, &status, WNOHANG) == 0; ++i) ::usleep(1000);
    }
    pthread_attr_destroy(&threadAttr);
    return true;
}

}  // namespace platform
