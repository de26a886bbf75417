#pragma once
// Where a command run's lines come from: a script file read whole before
// the run, or a stream (standard input) read line by line on a reader
// thread of its own, so that the command thread can give up waiting for a
// line when the run's time is over.
//
// The reader thread and the taker share the queue through a reference
// count: a reader still blocked in a read when the run ends is left behind
// (detached) and finds its queue alive whenever its read returns.
#include <cstdint>
#include <istream>
#include <memory>
#include <string>

#include "platform/Thread.h"

class CommandInput {
public:
    enum class Next { Line, Ended, Pending };

    ~CommandInput();
    CommandInput(const CommandInput&) = delete;
    CommandInput& operator=(const CommandInput&) = delete;

    // Reads the whole file; null with a reason when it cannot be read.
    static std::unique_ptr<CommandInput> fromFile(const std::string& path, std::string& error);
    // Starts reading `in` on a thread; `in` must outlive that thread (the
    // process's standard input does). Null when the thread cannot start.
    static std::unique_ptr<CommandInput> fromStream(std::istream& in);

    // The next line, waiting at most `waitMs` for one: Line, Ended (end of
    // input, after the last line) or Pending (nothing yet).
    Next next(std::string& line, uint32_t waitMs);
    // Number of the line last returned, from 1.
    int lineNumber() const { return lineNumber_; }

private:
    struct Queue;
    CommandInput();
    static void readerEntry(void* arg);

    std::shared_ptr<Queue> queue_;
    platform::Thread reader_;
    int lineNumber_ = 0;
};
