#include "host/Progress.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace host {
namespace {

constexpr auto kRedraw = std::chrono::milliseconds(250);
constexpr const char* kClear = "\r\033[K";

std::string Duration(double seconds) {
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

}  // namespace

long CountWaitingFiles(const std::string& directory) {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return -1;
    long count = 0;
    while (const struct dirent* entry = readdir(dir)) {
        // Writers' temporary files and the module's claim area are not bookings.
        if (entry->d_name[0] == '.') continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(st.st_mode))
                type = DT_REG;
        }
        if (type == DT_REG) ++count;
    }
    closedir(dir);
    return count;
}

std::string FormatProgress(long handled, long waiting, double elapsed, bool done) {
    char text[160];
    const double rate = elapsed > 0 ? handled / elapsed : 0;
    if (done) {
        std::snprintf(text, sizeof text,
                      "reservation-host: %ld of %ld bookings handled in %s (%.1f/s)", handled,
                      waiting, Duration(elapsed).c_str(), rate);
    } else if (handled <= 0 || elapsed < 0.5) {
        std::snprintf(text, sizeof text, "reservation-host: %ld of %ld bookings handled", handled,
                      waiting);
    } else {
        std::snprintf(text, sizeof text,
                      "reservation-host: %ld of %ld bookings handled, %.1f/s, %s left", handled,
                      waiting, rate, Duration((waiting - handled) / rate).c_str());
    }
    return text;
}

std::unique_ptr<ProgressLine> ProgressLine::Start(const std::string& directory) {
    if (directory.empty() || !isatty(STDERR_FILENO)) return nullptr;
    const long waiting = CountWaitingFiles(directory);
    if (waiting <= 0) return nullptr;

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return nullptr;
    const int terminal = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (terminal < 0 || dup2(pipeFds[1], STDERR_FILENO) < 0) {
        if (terminal >= 0) ::close(terminal);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return nullptr;
    }
    ::close(pipeFds[1]);  // standard error is now the only writing end
    return std::unique_ptr<ProgressLine>(
        new ProgressLine(directory, waiting, terminal, pipeFds[0]));
}

ProgressLine::ProgressLine(std::string directory, long waiting, int terminal, int pipeRead)
    : directory_(std::move(directory)),
      waiting_(waiting),
      terminal_(terminal),
      pipeRead_(pipeRead),
      started_(std::chrono::steady_clock::now()) {
    helper_ = std::thread([this] { Run(); });
}

ProgressLine::~ProgressLine() {
    // Closing the pipe's last writing end lets the helper see its end.
    dup2(terminal_, STDERR_FILENO);
    helper_.join();
    ::close(pipeRead_);
    ::close(terminal_);
}

void ProgressLine::WriteOut(const std::string& text) const {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(terminal_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

void ProgressLine::Draw(bool recount, bool done) {
    if (recount) {
        const long left = CountWaitingFiles(directory_);
        if (left >= 0) handled_ = std::clamp(waiting_ - left, 0L, waiting_);
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    std::string line = FormatProgress(handled_, waiting_, elapsed, done);
    // A line wider than the terminal wraps, and "\r" then redraws only its tail.
    struct winsize size {};
    if (!done && ioctl(terminal_, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 &&
        line.size() >= size.ws_col)
        line.resize(size.ws_col - 1);
    WriteOut(kClear + line + (done ? "\n" : ""));
}

void ProgressLine::Run() {
    std::string partial;
    auto lastCount = std::chrono::steady_clock::now() - kRedraw;
    for (;;) {
        const auto sinceCount = std::chrono::steady_clock::now() - lastCount;
        const int timeout =
            sinceCount >= kRedraw
                ? 0
                : static_cast<int>(
                      std::chrono::duration_cast<std::chrono::milliseconds>(kRedraw - sinceCount)
                          .count());
        struct pollfd fd {
            pipeRead_, POLLIN, 0
        };
        const int ready = poll(&fd, 1, timeout);
        if (ready > 0) {
            char buffer[4096];
            const ssize_t n = ::read(pipeRead_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            partial.append(buffer, static_cast<std::size_t>(n));
            const std::size_t end = partial.rfind('\n');
            if (end != std::string::npos) {
                WriteOut(kClear + partial.substr(0, end + 1));
                partial.erase(0, end + 1);
                Draw(false, false);
            }
        }
        if (std::chrono::steady_clock::now() - lastCount >= kRedraw) {
            Draw(true, false);
            lastCount = std::chrono::steady_clock::now();
        }
    }
    if (!partial.empty()) WriteOut(kClear + partial + "\n");
    Draw(true, true);
}

}  // namespace host
