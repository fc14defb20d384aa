#include "tests/host/HostChild.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "tests/support/Encoding.h"

extern char** environ;

namespace hosttest {
namespace {

std::string BinaryDir() {
    const char* dir = std::getenv("RESERVATION_BINARY_DIR");
    return dir ? dir : ".";
}

int Status(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return -1;
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

std::string HostPath() { return BinaryDir() + "/bin/reservation-host"; }
std::string ModulePath() { return BinaryDir() + "/bin/reservation.so"; }
std::string TestModulePath() { return BinaryDir() + "/bin/reservation_crashtest.so"; }

std::string BookingText(const std::string& number, const std::string& guest,
                        const std::string& guests) {
    const std::string fields[] = {"NET",         number, "网络预订",   "携程",       "021-5555",
                                  "标准间",      "现金", "2026-03-17", "2026-03-20", guest,
                                  "13800000000", guests, "1",          "",           "",
                                  "1000",        "无烟"};
    std::string text;
    for (const auto& field : fields) {
        if (!text.empty()) text += ',';
        text += ts::Gbk(field);
    }
    return text;
}

NotifySocket::NotifySocket(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
}

NotifySocket::~NotifySocket() {
    unsetenv("NOTIFY_SOCKET");
    ::close(fd_);
}

std::string NotifySocket::Next(milliseconds timeout) const {
    struct pollfd ready {
        fd_, POLLIN, 0
    };
    if (poll(&ready, 1, static_cast<int>(timeout.count())) <= 0) return "";
    char buffer[4096];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
}

int CountOf(std::string_view haystack, std::string_view text) {
    int count = 0;
    for (std::size_t at = haystack.find(text); at != std::string_view::npos;
         at = haystack.find(text, at + 1))
        ++count;
    return count;
}

HostChild::HostChild(const std::vector<std::string>& args, Output output,
                     const std::string& program, const std::vector<std::string>& extraEnv) {
    // Everything the child needs is prepared before fork: after it, only
    // async-signal-safe calls.
    auto overridden = [&extraEnv](std::string_view entry) {
        const std::string_view name = entry.substr(0, entry.find('=') + 1);
        for (const auto& extra : extraEnv)
            if (std::string_view(extra).substr(0, name.size()) == name) return true;
        return false;
    };
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "ASAN_OPTIONS=", 13) != 0 && !overridden(*e)) env.emplace_back(*e);
    if (!overridden("ASAN_OPTIONS=")) env.emplace_back("ASAN_OPTIONS=detect_leaks=0");
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    if (output == Output::Terminal) {
        struct termios raw {};
        cfmakeraw(&raw);  // no "\n" to "\r\n": the test sees the bytes the host wrote
        struct winsize size {};
        size.ws_col = 200;
        size.ws_row = 50;
        pid_ = forkpty(&fd_, nullptr, &raw, &size);
        if (pid_ < 0) throw std::runtime_error(std::string("forkpty: ") + std::strerror(errno));
        if (pid_ == 0) {
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        return;
    }

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid_ == 0) {
        dup2(fds[1], STDOUT_FILENO);
        dup2(fds[1], STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    ::close(fds[1]);
    fd_ = fds[0];
}

HostChild::~HostChild() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) ::close(fd_);
}

bool HostChild::ReadSome(std::chrono::steady_clock::time_point deadline) {
    if (eof_) return false;
    struct pollfd p {
        fd_, POLLIN, 0
    };
    const int ready = poll(&p, 1, RemainingMs(deadline));
    if (ready <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) {  // a pseudo-terminal reports its end as EIO
        eof_ = true;
        return false;
    }
    output_.append(buffer, static_cast<std::size_t>(n));
    return true;
}

bool HostChild::WaitFor(std::string_view text, milliseconds timeout, int count) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (CountOf(output_, text) < count) {
        if (!ReadSome(deadline) && (eof_ || RemainingMs(deadline) == 0))
            return CountOf(output_, text) >= count;
    }
    return true;
}

void HostChild::Drain(milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!eof_ && RemainingMs(deadline) > 0) ReadSome(deadline);
}

void HostChild::Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
}

int HostChild::Finish(milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!eof_ && RemainingMs(deadline) > 0) ReadSome(deadline);
    if (pid_ <= 0) return -1;

    int result = -1;
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd >= 0) {
        struct pollfd p {
            pidfd, POLLIN, 0
        };
        const bool ended = poll(&p, 1, RemainingMs(deadline)) > 0;
        ::close(pidfd);
        int status = 0;
        if (ended && waitpid(pid_, &status, 0) == pid_) result = Status(status);
    }
    if (result == -1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
    return result;
}

}  // namespace hosttest
