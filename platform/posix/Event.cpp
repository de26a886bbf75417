// Auto-reset event on a non-blocking eventfd: set() adds to the counter, a
// successful read takes the whole counter, so any number of sets before a
// wait wake exactly one wait. poll() does the blocking.
#include "platform/Event.h"

#include <cerrno>
#include <ctime>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {
namespace {

bool consume(int fd) {
    uint64_t value = 0;
    for (;;) {
        ssize_t n = ::read(fd, &value, sizeof value);
        if (n == static_cast<ssize_t>(sizeof value)) return true;
        if (n < 0 && errno == EINTR) continue;
        return false;  // EAGAIN: another waiter took it, or nothing pending
    }
}

int64_t nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

AutoResetEvent::AutoResetEvent() : handle_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

AutoResetEvent::~AutoResetEvent() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool AutoResetEvent::valid() const { return handle_ >= 0; }

void AutoResetEvent::set() {
    if (handle_ < 0) return;
    const uint64_t one = 1;
    ssize_t n;
    do {
        n = ::write(static_cast<int>(handle_), &one, sizeof one);
    } while (n < 0 && errno == EINTR);
}

void AutoResetEvent::wait() {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        int rc = ::poll(&p, 1, -1);
        if (rc < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p.revents & (POLLERR | POLLNVAL)) return;
        if (consume(fd)) return;
    }
}

bool AutoResetEvent::wait(uint32_t timeoutMs) {
    if (handle_ < 0) return false;
    const int fd = static_cast<int>(handle_);
    if (consume(fd)) return true;
    const int64_t deadline = nowMs() + timeoutMs;
    for (;;) {
        int64_t left = deadline - nowMs();
        if (left < 0) left = 0;
        if (left > 0x7FFFFFFF) left = 0x7FFFFFFF;  // poll takes an int
        pollfd p{fd, POLLIN, 0};
        int rc = ::poll(&p, 1, static_cast<int>(left));
        if (rc < 0 && errno != EINTR) return false;
        if (rc > 0) {
            if (p.revents & (POLLERR | POLLNVAL)) return false;
            if (consume(fd)) return true;
        }
        if (left == 0) return false;
    }
}

void AutoResetEvent::reset() {
    if (handle_ >= 0) consume(static_cast<int>(handle_));
}

}  // namespace platform
