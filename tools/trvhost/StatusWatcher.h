#pragma once
// Watches the controller's status lines and echoes each new one as
// "status: <line>" as it appears, from a thread of its own that polls the
// log every 20 ms. New lines are found by the log's count of posted lines
// (wrap count * 16 + write index); when more than the ring holds were posted
// between two polls, the overwritten ones are reported as lost.
//
// It also keeps the lines it has seen, numbered in posting order, for the
// `wait` command: a wait looks at every line after the one the previous
// wait matched, so lines posted between two commands are not missed.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "platform/Thread.h"

class LineOutput;
class MessageLog;

class StatusWatcher {
public:
    static constexpr uint32_t kPollMs = 20;
    // Lines kept for waits; older ones are forgotten.
    static constexpr size_t kKeptLines = 4096;

    StatusWatcher(const MessageLog& log, LineOutput& out);
    ~StatusWatcher();  // stops the thread
    StatusWatcher(const StatusWatcher&) = delete;
    StatusWatcher& operator=(const StatusWatcher&) = delete;

    bool start();
    // Stops the thread after one last poll, so lines posted just before are
    // still echoed.
    void stop();

    // One poll; the thread calls it every kPollMs (tests call it directly).
    void poll();

    // Waits until a line holding `text` that was posted after the previous
    // match has been seen, at most `timeoutMs`, or until `cancelled` says
    // so (checked every poll period). True with the line in `matched`.
    bool waitFor(const std::string& text, uint32_t timeoutMs, std::string& matched,
                 const std::function<bool()>& cancelled = {});

    uint64_t linesSeen() const;
    uint64_t linesLost() const;

private:
    struct Line {
        uint64_t number;
        std::string text;
    };

    static void entry(void* self);
    // Posted-line count, read so that index and wrap count belong together.
    uint64_t postedCount() const;

    const MessageLog& log_;
    LineOutput& out_;
    platform::Thread thread_;
    std::atomic<bool> stopRequested_{false};

    std::mutex pollLock_;      // one poll at a time
    mutable std::mutex lock_;  // guards everything below
    std::condition_variable changed_;
    std::deque<Line> kept_;
    uint64_t seen_ = 0;       // lines accounted for (echoed or lost)
    uint64_t lost_ = 0;
    uint64_t waitFrom_ = 0;   // first line number the next wait looks at
};
