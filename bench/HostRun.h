// Runs the command-line host in a child process on a drop directory in
// mode 1, the way the front-office program loads the module, and watches
// its trace lines arrive.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace bench {

// The reservation-host of this build.
std::string DefaultHostPath();

struct HostRun {
    std::optional<double> firstImported;  // seconds from the start to the first "imported" line
    int imported = 0;
    std::vector<std::string>
        otherLines;       // the first few lines other than "imported" and load/unload
    double seconds = 0;   // from the start to the child's exit
    long peakKiB = 0;     // the child's ru_maxrss
    int exitStatus = -1;  // 128 + signal when killed
};

// Starts host with the request "dropDir?1!bench" and the environment of
// this process plus env ("NAME=value" each), reads its standard error to
// the end and waits for it. Throws std::runtime_error when it cannot start.
HostRun RunHost(const std::string& host, const std::string& dropDir,
                const std::vector<std::string>& env = {});

}  // namespace bench

namespace bench {

// The host in watch mode ("--watch --interval 1 dropDir?1!bench") as a
// child of this process, for as long as this object lives: its trace lines
// are read as they come, and its resident memory can be asked for between
// bookings. The destructor stops it (SIGTERM) and waits for it. Throws
// std::runtime_error when it cannot start.
class WatchingHost {
  public:
    WatchingHost(const std::string& host, const std::string& dropDir);
    ~WatchingHost();
    WatchingHost(const WatchingHost&) = delete;
    WatchingHost& operator=(const WatchingHost&) = delete;

    // Reads trace lines until imported bookings in all have been reported,
    // or the host ends; answers the number reported. Lines other than
    // "imported" are kept (the first few).
    int WaitForImported(int imported);
    const std::vector<std::string>& OtherLines() const { return otherLines_; }
    // The host's resident set now (VmRSS), in KiB; 0 when it is gone.
    long ResidentKiB() const;

  private:
    int pid_ = -1;
    int fd_ = -1;
    int imported_ = 0;
    std::string buffer_;
    std::vector<std::string> otherLines_;
};

}  // namespace bench
