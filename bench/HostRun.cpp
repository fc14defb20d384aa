#include "bench/HostRun.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "bench/BenchSupport.h"
#include "tests/support/TraceCapture.h"

namespace bench {
namespace {

// Whether a trace line is one of the host's own, which no benchmark counts.
bool HostsOwnLine(const std::string& line) {
    return line.starts_with("RESERVATION.DLL ") || line.starts_with("reservation-host: ");
}

// Reads a descriptor line by line; what is read past the last line waits in
// buffer.
class LineReader {
  public:
    LineReader(int fd, std::string& buffer) : fd_(fd), buffer_(buffer) {}
    // The next line without its "\n"; nullopt at the end of the stream.
    std::optional<std::string> Next() {
        for (;;) {
            const std::size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            char chunk[65536];
            const ssize_t n = read(fd_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (buffer_.empty()) return std::nullopt;
                std::string rest;
                rest.swap(buffer_);
                return rest;
            }
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

  private:
    int fd_;
    std::string& buffer_;
};

// Whether line says a booking was imported; a line that is neither that nor
// the host's own is kept in others, the first five of them.
bool ImportedLine(const std::string& line, std::vector<std::string>& others) {
    if (line.starts_with("imported ")) return true;
    if (!HostsOwnLine(line) && !ts::IsLedgerNotice(line) && others.size() < 5)
        others.push_back(line);
    return false;
}

// Starts host with args (after its name) and env added to this process's
// environment; its standard error goes to errFd, which the caller closes.
pid_t StartHost(const std::string& host, const std::vector<std::string>& args,
                const std::vector<std::string>& env, int& errFd) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::vector<char*> argv{const_cast<char*>(host.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        for (const std::string& setting : env) putenv(const_cast<char*>(setting.c_str()));
        execv(host.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    errFd = pipeFds[0];
    return child;
}

}  // namespace

std::string DefaultHostPath() { return RESERVATION_HOST_PATH; }

HostRun RunHost(const std::string& host, const std::string& dropDir,
                const std::vector<std::string>& env) {
    HostRun run;
    Stopwatch clock;
    int errFd = -1;
    const pid_t child = StartHost(host, {dropDir + "?1!bench"}, env, errFd);

    std::string buffer;
    LineReader lines(errFd, buffer);
    while (std::optional<std::string> line = lines.Next()) {
        if (!ImportedLine(*line, run.otherLines)) continue;
        if (!run.firstImported) run.firstImported = clock.Seconds();
        ++run.imported;
    }
    close(errFd);

    int status = 0;
    struct rusage usage {};
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.seconds = clock.Seconds();
    run.peakKiB = usage.ru_maxrss;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

WatchingHost::WatchingHost(const std::string& host, const std::string& dropDir) {
    pid_ = StartHost(host, {"--watch", "--interval", "1", dropDir + "?1!bench"}, {}, fd_);
}

WatchingHost::~WatchingHost() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (fd_ >= 0) close(fd_);
}

int WatchingHost::WaitForImported(int imported) {
    LineReader lines(fd_, buffer_);
    while (imported_ < imported) {
        std::optional<std::string> line = lines.Next();
        if (!line) break;
        if (ImportedLine(*line, otherLines_)) ++imported_;
    }
    return imported_;
}

long WatchingHost::ResidentKiB() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
    return 0;
}

}  // namespace bench
