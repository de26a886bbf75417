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

std::vector<char*> argv(const std::vector<std::string>& args) {
    std::vector<char*> out;
    for (const std::string& a : args) out.push_back(const_cast<char*>(a.c_str()));
    out.push_back(nullptr);
    return out;
}

int waitFor(pid_t pid, int timeoutMs) {
    int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0 || nowMs() >= deadline) return -1;
        usleep(10000);
    }
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (errFd_ >= 0) ::close(errFd_);
}

bool ChildProcess::start(const std::vector<std::string>& args) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        ::dup2(fds[1], STDERR_FILENO);
        int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, STDIN_FILENO);
        ::dup2(devnull, STDOUT_FILENO);
        auto v = argv(args);
        ::execv(v[0], v.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    errFd_ = fds[0];
    return true;
}

bool ChildProcess::readSome(int timeoutMs) {
    if (errFd_ < 0 || timeoutMs <= 0) return false;
    pollfd p{errFd_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    ssize_t n = ::read(errFd_, buffer, sizeof buffer);
    if (n <= 0) {
        ::close(errFd_);
        errFd_ = -1;
        return false;
    }
    stderr_.append(buffer, static_cast<size_t>(n));
    return true;
}

std::string ChildProcess::waitForLine(const std::string& text, int timeoutMs) {
    int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        size_t at = stderr_.find(text, scanned_);
        if (at != std::string::npos) {
            size_t begin = stderr_.rfind('\n', at);
            begin = begin == std::string::npos ? 0 : begin + 1;
            size_t end = stderr_.find('\n', at);
            if (end != std::string::npos) {
                scanned_ = end + 1;
                return stderr_.substr(begin, end - begin);
            }
        }
        if (!readSome(static_cast<int>(deadline - nowMs()))) return {};
    }
}

bool ChildProcess::signal(int number) { return pid_ > 0 && ::kill(pid_, number) == 0; }

int ChildProcess::wait(int timeoutMs) {
    if (pid_ <= 0) return -1;
    int status = waitFor(pid_, timeoutMs);
    if (status >= 0) pid_ = -1;
    return status;
}

int runProgram(const std::vector<std::string>& args, std::string& output, int timeoutMs, const std::string& input) {
    int out[2];
    int in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0) return -1;
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        auto v = argv(args);
        ::execv(v[0], v.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    if (!input.empty()) (void)!::write(in[1], input.data(), input.size());
    ::close(in[1]);
    output.clear();
    int64_t deadline = nowMs() + timeoutMs;
    char buffer[4096];
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        int left = static_cast<int>(deadline - nowMs());
        if (left <= 0 || ::poll(&p, 1, left) <= 0) break;
        ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        output.append(buffer, static_cast<size_t>(n));
    }
    ::close(out[0]);
    int status = waitFor(pid, static_cast<int>(std::max<int64_t>(0, deadline - nowMs())));
    if (status < 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    return status;
}

}  // namespace tvntest
