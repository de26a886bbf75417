#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace tvntest {

namespace {

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Starts `args` with standard output and error on a pipe; its read end.
pid_t spawn(const std::vector<std::string>& args, int& readFd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, STDIN_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    readFd = fds[0];
    return pid;
}

// Appends what arrives within the time; false on time-out or end of output.
bool readSome(int fd, std::string& into, int64_t deadlineMs) {
    int left = static_cast<int>(deadlineMs - nowMs());
    pollfd p{fd, POLLIN, 0};
    if (fd < 0 || left <= 0 || ::poll(&p, 1, left) <= 0) return false;
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    into.append(buffer, static_cast<size_t>(n));
    return true;
}

int reap(pid_t pid, int64_t deadlineMs) {
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        if (nowMs() >= deadlineMs) return -1;
        usleep(10000);
    }
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) ::close(fd_);
}

bool ChildProcess::start(const std::vector<std::string>& args) {
    pid_ = spawn(args, fd_);
    return pid_ > 0;
}

std::string ChildProcess::waitForLine(const std::string& text, int timeoutMs) {
    int64_t deadline = nowMs() + timeoutMs;
    do {
        size_t at = output_.find(text, scanned_);
        size_t end = at == std::string::npos ? at : output_.find('\n', at);
        if (end != std::string::npos) {
            size_t begin = output_.rfind('\n', at);
            begin = begin == std::string::npos ? 0 : begin + 1;
            scanned_ = end + 1;
            return output_.substr(begin, end - begin);
        }
    } while (readSome(fd_, output_, deadline));
    return {};
}

bool ChildProcess::signal(int number) { return pid_ > 0 && ::kill(pid_, number) == 0; }

int ChildProcess::wait(int timeoutMs) {
    int status = pid_ > 0 ? reap(pid_, nowMs() + timeoutMs) : -1;
    if (status >= 0) pid_ = -1;
    return status;
}

int runProgram(const std::vector<std::string>& args, std::string& output) {
    int fd = -1;
    pid_t pid = spawn(args, fd);
    if (pid < 0) return -1;
    output.clear();
    int64_t deadline = nowMs() + 20000;
    while (readSome(fd, output, deadline)) {
    }
    ::close(fd);
    int status = reap(pid, deadline);
    if (status < 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    return status;
}

}  // namespace tvntest
