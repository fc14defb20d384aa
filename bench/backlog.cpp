// bench_backlog: a large backlog of booking files imported by the
// command-line host in a child process, on SQLite: how soon the first
// booking is committed, how much memory the host needs at its peak, and the
// bookings per second over the whole backlog.
//
//   bench_backlog [--files 50000] [--host PATH]
//
// The first booking counts as committed when the host's trace line
// "imported ..." for it arrives (the module writes it after the commit and
// the file's removal). Peak memory is the child's ru_maxrss; the same host
// on an empty drop directory gives what loading alone costs.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "tests/support/TempDir.h"

namespace {

constexpr double kTargetFirstSeconds = 1.0;
constexpr long kTargetPeakKiB = 64 * 1024;

struct HostRun {
    std::optional<double> firstImported;  // seconds from the start to the first "imported" line
    int imported = 0;
    std::vector<std::string>
        otherLines;  // the first few lines other than "imported" and load/unload
    double seconds = 0;
    long peakKiB = 0;
    int exitStatus = -1;
};

// Reads the child's standard error line by line, noting when lines arrive.
class LineReader {
  public:
    explicit LineReader(int fd) : fd_(fd) {}
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
    std::string buffer_;
};

HostRun RunHost(const std::string& host, const std::string& dropDir) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    const std::string request = dropDir + "?1!bench";

    HostRun run;
    bench::Stopwatch clock;
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        dup2(pipeFds[1], STDERR_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execl(host.c_str(), host.c_str(), request.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);

    LineReader lines(pipeFds[0]);
    while (std::optional<std::string> line = lines.Next()) {
        if (line->starts_with("imported ")) {
            if (!run.firstImported) run.firstImported = clock.Seconds();
            ++run.imported;
        } else if (!line->starts_with("RESERVATION.DLL ") && run.otherLines.size() < 5) {
            run.otherLines.push_back(*line);
        }
    }
    close(pipeFds[0]);

    int status = 0;
    struct rusage usage {};
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.seconds = clock.Seconds();
    run.peakKiB = usage.ru_maxrss;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        const bench::Options options(argc, argv);
        const int files = options.Int("files", 50000);
        const std::string host = options.Text("host", RESERVATION_HOST_PATH);
        if (!bench::BackendReady(ts::Backend::SQLite)) return 1;

        ts::HotelDatabase db(ts::Backend::SQLite);
        std::printf("SQLite backlog of %d booking files, host %s, %s\n", files, host.c_str(),
                    bench::DurabilitySettings(db).c_str());

        ts::TempDir emptyDrop;
        const HostRun idle = RunHost(host, emptyDrop.Path());
        std::printf("  host on an empty drop directory: %.2f s, peak %.1f MB\n", idle.seconds,
                    idle.peakKiB / 1024.0);

        ts::TempDir drop;
        bench::Stopwatch writing;
        bench::WriteBookingFiles(drop.Path(), 1, files);
        std::printf("  %d booking files written in %.1f s\n", files, writing.Seconds());

        const HostRun run = RunHost(host, drop.Path());
        for (const std::string& line : run.otherLines) std::printf("  host: %s\n", line.c_str());
        if (run.exitStatus != 0) std::printf("  the host ended with status %d\n", run.exitStatus);
        if (run.firstImported)
            std::printf("  first booking committed after %.3f s (target at most %.1f s)\n",
                        *run.firstImported, kTargetFirstSeconds);
        else
            std::printf("  no booking was imported\n");
        std::printf("  peak memory of the host: %.1f MB (target under %ld MB)\n",
                    run.peakKiB / 1024.0, kTargetPeakKiB / 1024);
        bench::PrintRate("whole backlog", run.imported, run.seconds);
        return run.imported == files && run.exitStatus == 0 ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_backlog: %s\n", e.what());
        return 1;
    }
}
