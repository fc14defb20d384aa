// The built reservation-host run as a child process, as the front desk runs
// it: its standard error (the module's trace lines) is read through a pipe,
// and it can be killed at any moment. The child inherits this process's
// environment (ODBCINI, VELMAR_INI_DIR of the test's database) plus extra
// variables. Owns the pipe and reaps the child in the destructor.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace robust {

class HostProcess {
  public:
    // Starts bin/reservation-host with the requests; extraEnv holds
    // "NAME=value" strings added to the environment.
    HostProcess(const std::vector<std::string>& requests,
                const std::vector<std::string>& extraEnv = {});
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    // Reads the child's output until it holds `count` occurrences of text,
    // the child closes its end, or the timeout passes. True when found.
    bool WaitFor(const std::string& text, int count, std::chrono::milliseconds timeout);

    // Reads whatever arrives within the timeout (returns early at EOF).
    void Drain(std::chrono::milliseconds timeout);

    void Kill();
    // Reads the rest of the output and reaps the child; returns the wait status.
    int Wait();

    const std::string& Output() const { return output_; }
    pid_t Pid() const { return pid_; }

  private:
    bool ReadSome(int timeoutMs);
    pid_t pid_ = -1;
    int fd_ = -1;
    bool eof_ = false;
    int status_ = -1;
    std::string output_;
};

// Occurrences of text in haystack.
int CountOf(const std::string& haystack, const std::string& text);

}  // namespace robust
