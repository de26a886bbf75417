#pragma once
// Runs the service program as a child process, reading its standard error
// with bounded waits. A child still running is killed with the object.
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
    // The next line of standard error holding `text`, or empty after the time.
    std::string waitForLine(const std::string& text, int timeoutMs);
    bool signal(int number);
    // Exit status, or -1 if the child has not ended within the time.
    int wait(int timeoutMs);
    const std::string& errorOutput() const { return output_; }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string output_;
    size_t scanned_ = 0;
};

// Runs the program to its end; its exit status, with standard output and
// standard error in `output`.
int runProgram(const std::vector<std::string>& args, std::string& output);

}  // namespace tvntest
