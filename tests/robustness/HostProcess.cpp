#include "tests/robustness/HostProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace robust {

namespace {

std::string HostPath() {
    const char* dir = std::getenv("RESERVATION_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/bin/reservation-host";
}

}  // namespace

int CountOf(const std::string& haystack, const std::string& text) {
    int n = 0;
    for (std::size_t at = haystack.find(text); at != std::string::npos;
         at = haystack.find(text, at + text.size()))
        ++n;
    return n;
}

HostProcess::HostProcess(const std::vector<std::string>& requests,
                         const std::vector<std::string>& extraEnv) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    // Unloading the module unloads Qt and unixODBC, whose static allocations
    // then show as leaks of unknown modules; the module's own leaks are
    // checked in-process by the other tests.
    env.emplace_back("ASAN_OPTIONS=detect_leaks=0");
    for (const std::string& e : extraEnv) env.push_back(e);
    const std::string host = HostPath();

    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(fds[1], STDERR_FILENO);
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv{const_cast<char*>(host.c_str())};
        for (const std::string& r : requests) argv.push_back(const_cast<char*>(r.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        execve(host.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(fds[1]);
    fd_ = fds[0];
}

HostProcess::~HostProcess() {
    if (pid_ > 0 && status_ == -1) {
        kill(pid_, SIGKILL);
        Wait();
    }
    if (fd_ >= 0) close(fd_);
}

bool HostProcess::ReadSome(int timeoutMs) {
    if (eof_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    char buf[4096];
    const ssize_t n = read(fd_, buf, sizeof buf);
    if (n <= 0) {
        eof_ = true;
        return false;
    }
    output_.append(buf, static_cast<std::size_t>(n));
    return true;
}

bool HostProcess::WaitFor(const std::string& text, int count, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (CountOf(output_, text) < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || eof_) return CountOf(output_, text) >= count;
        ReadSome(static_cast<int>(left.count()));
    }
    return true;
}

void HostProcess::Drain(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!eof_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        ReadSome(static_cast<int>(left.count()));
    }
}

void HostProcess::Kill() {
    if (pid_ > 0 && status_ == -1) kill(pid_, SIGKILL);
}

int HostProcess::Wait() {
    if (status_ != -1) return status_;
    while (!eof_) ReadSome(-1);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    status_ = status;
    return status_;
}

}  // namespace robust
