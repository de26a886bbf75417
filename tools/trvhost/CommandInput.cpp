#include "tools/trvhost/CommandInput.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>

namespace {
// A reader that ends by itself (end of a script stream) is joined this long.
constexpr uint32_t kReaderJoinMs = 100;
// Longest line kept; the rest of a longer one is dropped.
constexpr size_t kMaxLineBytes = 4096;

std::string bounded(std::string line) {
    if (line.size() > kMaxLineBytes) line.resize(kMaxLineBytes);
    return line;
}
}  // namespace

struct CommandInput::Queue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::string> lines;
    bool ended = false;
    std::istream* stream = nullptr;

    void push(std::string line) {
        std::lock_guard<std::mutex> guard(lock);
        lines.push_back(std::move(line));
        changed.notify_all();
    }
    void end() {
        std::lock_guard<std::mutex> guard(lock);
        ended = true;
        changed.notify_all();
    }
};

CommandInput::CommandInput() : queue_(std::make_shared<Queue>()) {}

CommandInput::~CommandInput() {
    // Joins a reader that has finished; one still blocked in a read is
    // detached and keeps its own reference to the queue.
    if (reader_.started()) reader_.join(kReaderJoinMs);
}

std::unique_ptr<CommandInput> CommandInput::fromFile(const std::string& path, std::string& error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot read " + path;
        return nullptr;
    }
    std::unique_ptr<CommandInput> input(new CommandInput());
    std::string line;
    while (std::getline(file, line)) input->queue_->lines.push_back(bounded(line));
    if (file.bad()) {
        error = "cannot read " + path;
        return nullptr;
    }
    input->queue_->ended = true;
    return input;
}

std::unique_ptr<CommandInput> CommandInput::fromStream(std::istream& in) {
    std::unique_ptr<CommandInput> input(new CommandInput());
    input->queue_->stream = &in;
    auto* shared = new std::shared_ptr<Queue>(input->queue_);
    if (!input->reader_.start(&CommandInput::readerEntry, shared)) {
        delete shared;
        return nullptr;
    }
    return input;
}

void CommandInput::readerEntry(void* arg) {
    std::unique_ptr<std::shared_ptr<Queue>> shared(static_cast<std::shared_ptr<Queue>*>(arg));
    Queue& q = **shared;
    std::string line;
    while (std::getline(*q.stream, line)) q.push(bounded(line));
    q.end();
}

CommandInput::Next CommandInput::next(std::string& line, uint32_t waitMs) {
    std::unique_lock<std::mutex> guard(queue_->lock);
    queue_->changed.wait_for(guard, std::chrono::milliseconds(waitMs),
                             [&] { return !queue_->lines.empty() || queue_->ended; });
    if (!queue_->lines.empty()) {
        line = std::move(queue_->lines.front());
        queue_->lines.pop_front();
        ++lineNumber_;
        return Next::Line;
    }
    return queue_->ended ? Next::Ended : Next::Pending;
}
