#include "tools/trvhost/StatusWatcher.h"

#include <chrono>
#include <vector>

#include "platform/Clock.h"
#include "tools/trvhost/LineOutput.h"
#include "trvcore/session/MessageLog.h"

namespace {
constexpr uint32_t kJoinTimeoutMs = 2000;
// Reads of the ring that a post overlapped are repeated this often.
constexpr int kReadAttempts = 4;
}  // namespace

StatusWatcher::StatusWatcher(const MessageLog& log, LineOutput& out) : log_(log), out_(out) {}

StatusWatcher::~StatusWatcher() { stop(); }

bool StatusWatcher::start() {
    if (thread_.started()) return false;
    stopRequested_.store(false);
    return thread_.start(&StatusWatcher::entry, this);
}

void StatusWatcher::stop() {
    if (!thread_.started()) return;
    stopRequested_.store(true, std::memory_order_release);
    thread_.join(kJoinTimeoutMs);
    poll();
}

void StatusWatcher::entry(void* self) {
    auto* w = static_cast<StatusWatcher*>(self);
    while (!w->stopRequested_.load(std::memory_order_acquire)) {
        w->poll();
        platform::sleepMilliseconds(kPollMs);
    }
}

uint64_t StatusWatcher::postedCount() const {
    // A post between the two reads can wrap the ring; the wrap count read
    // on both sides of the index tells.
    while (true) {
        const int wraps = log_.wrapCount();
        const int index = log_.writeIndex();
        if (log_.wrapCount() == wraps)
            return static_cast<uint64_t>(wraps) * MessageLog::kLines + static_cast<uint64_t>(index);
    }
}

void StatusWatcher::poll() {
    std::lock_guard<std::mutex> pollGuard(pollLock_);
    uint64_t seen = 0;
    {
        std::lock_guard<std::mutex> guard(lock_);
        seen = seen_;
    }
    uint64_t total = postedCount();
    if (total < seen) {
        // The log was reset: start counting again from its lines.
        seen = 0;
    }
    if (total == seen) return;

    uint64_t lost = 0;
    uint64_t first = seen;
    std::vector<std::string> texts;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        first = total - seen > MessageLog::kLines ? total - MessageLog::kLines : seen;
        lost = first - seen;
        texts.clear();
        char line[MessageLog::kLineBytes];
        for (uint64_t n = first; n < total; ++n) {
            const int k = static_cast<int>(total - 1 - n);
            texts.emplace_back(log_.message(k, line) ? line : "");
        }
        const uint64_t after = postedCount();
        if (after == total) break;
        total = after;  // a post moved the ring under us: read again
    }

    if (lost > 0) out_.line("note", std::to_string(lost) + " status lines were lost");
    for (const std::string& t : texts) out_.line("status", t);

    std::lock_guard<std::mutex> guard(lock_);
    seen_ = total;
    lost_ += lost;
    for (size_t i = 0; i < texts.size(); ++i) kept_.push_back(Line{first + i, texts[i]});
    while (kept_.size() > kKeptLines) kept_.pop_front();
    changed_.notify_all();
}

bool StatusWatcher::waitFor(const std::string& text, uint32_t timeoutMs, std::string& matched,
                            const std::function<bool()>& cancelled) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> guard(lock_);
    while (true) {
        for (const Line& l : kept_) {
            if (l.number < waitFrom_ || l.text.find(text) == std::string::npos) continue;
            waitFrom_ = l.number + 1;
            matched = l.text;
            return true;
        }
        const auto now = Clock::now();
        if (now >= deadline) return false;
        if (cancelled && cancelled()) return false;
        const auto slice = std::chrono::milliseconds(kPollMs);
        changed_.wait_for(guard, deadline - now < slice ? deadline - now : slice);
    }
}

uint64_t StatusWatcher::linesSeen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return seen_;
}

uint64_t StatusWatcher::linesLost() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lost_;
}
