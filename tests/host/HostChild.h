// The built reservation-host run as a child process, as the front desk or a
// service runs it, its standard output and standard error (the module's
// trace lines) read through one pipe, or through a pseudo-terminal when a
// test needs standard error to be a terminal. It can be signalled or killed
// at any moment. Waits have deadlines and never sleep: they poll the
// descriptor.
//
// The child inherits this process's environment (ODBCINI and VELMAR_INI_DIR
// of the test's HotelDatabase) with leak checking switched off: unloading the
// module unloads Qt and unixODBC, whose static allocations then look like
// leaks; the module's own leaks are checked in-process by other tests.
//
// Owns the descriptor and the child; the destructor kills a child that is
// still running and reaps it. Not copyable.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace hosttest {

using std::chrono::milliseconds;

// bin/reservation-host and bin/reservation.so of the build under test.
std::string HostPath();
std::string ModulePath();
// bin/reservation_crashtest.so: the module with its test switches
// (RESERVATION_CRASH_AT, RESERVATION_TEST_NO_LOCKS) compiled in.
std::string TestModulePath();

// A booking file's bytes (GBK, 17 comma-separated fields) for a stay in the
// default room type, with this booking number, guest (UTF-8) and number of
// guests (beyond 32767 the booking is refused).
std::string BookingText(const std::string& number, const std::string& guest = "张三",
                        const std::string& guests = "2");

class HostChild {
  public:
    enum class Output { Pipe, Terminal };

    // Runs program (HostPath() unless given) with args; extraEnv holds
    // "NAME=value" strings that replace or add to the inherited environment.
    explicit HostChild(const std::vector<std::string>& args, Output output = Output::Pipe,
                       const std::string& program = HostPath(),
                       const std::vector<std::string>& extraEnv = {});
    ~HostChild();
    HostChild(const HostChild&) = delete;
    HostChild& operator=(const HostChild&) = delete;

    // Reads until the output holds text at least count times, the child
    // closes its end, or the timeout passes. True when found.
    bool WaitFor(std::string_view text, milliseconds timeout = milliseconds(8000), int count = 1);

    // Reads whatever arrives within the timeout (returns early at the end).
    void Drain(milliseconds timeout);

    void Signal(int signal) const;

    // Reads the rest of the output and reaps the child. Its exit status, or
    // 128 + the signal that ended it; -1 when it had to be killed after the
    // timeout.
    int Finish(milliseconds timeout = milliseconds(15000));

    const std::string& Text() const { return output_; }
    pid_t Pid() const { return pid_; }

  private:
    bool ReadSome(std::chrono::steady_clock::time_point deadline);

    pid_t pid_ = -1;
    int fd_ = -1;
    bool eof_ = false;
    std::string output_;
};

// The datagram socket systemd gives a Type=notify service, named by
// NOTIFY_SOCKET in this process's environment (and so in the children's)
// while it lives. Not copyable.
class NotifySocket {
  public:
    explicit NotifySocket(const std::string& path);
    ~NotifySocket();
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    // The next message; empty after the timeout.
    std::string Next(milliseconds timeout = milliseconds(10000)) const;

  private:
    int fd_ = -1;
};

// Occurrences of text in haystack.
int CountOf(std::string_view haystack, std::string_view text);

}  // namespace hosttest
