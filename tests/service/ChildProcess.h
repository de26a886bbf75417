#pragma once
// Runs the service program as a child process, reading its standard error
// line by line with bounded waits. The child is killed if still running
// when this object goes.
#include <sys/types.h>

#include <string>
#include <vector>

namespace tvntest {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool start(const std::vector<std::string>& args);
    // Waits for a line of standard error holding `text`; returns it, or
    // empty after `timeoutMs`.
    std::string waitForLine(const std::string& text, int timeoutMs);
    bool signal(int number);
    // Exit status, or -1 if the child did not end within the time.
    int wait(int timeoutMs);
    // Everything read from standard error so far.
    const std::string& errorOutput() const { return stderr_; }

private:
    bool readSome(int timeoutMs);

    pid_t pid_ = -1;
    int errFd_ = -1;
    std::string stderr_;
    size_t scanned_ = 0;
};

// Runs the program to its end (at most `timeoutMs`); returns the exit
// status and fills `output` with standard output and standard error.
int runProgram(const std::vector<std::string>& args, std::string& output, int timeoutMs = 20000,
               const std::string& input = "");

}  // namespace tvntest
