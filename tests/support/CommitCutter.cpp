#include "tests/support/CommitCutter.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace ts {
namespace {

// The word COMMIT in any case, not inside another word ("autocommit").
bool HoldsCommit(const char* data, std::size_t size) {
    static const std::string word = "COMMIT";
    auto letter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    for (const char* at = data; at + word.size() <= data + size; ++at) {
        if (!std::equal(word.begin(), word.end(), at, [](char w, char c) {
                return w == std::toupper(static_cast<unsigned char>(c));
            }))
            continue;
        const bool before = at > data && letter(at[-1]);
        const bool after = at + word.size() < data + size && letter(at[word.size()]);
        if (!before && !after) return true;
    }
    return false;
}

bool SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

CommitCutter::CommitCutter(const std::string& host, int port) : host_(host), targetPort_(port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(stopPipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("CommitCutter: cannot listen on loopback");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

CommitCutter::~CommitCutter() {
    ::close(stopPipe_[1]);  // every poll below wakes up and ends
    acceptor_.join();
    for (std::thread& relay : relays_) relay.join();
    ::close(stopPipe_[0]);
    ::close(listener_);
}

void CommitCutter::Accept() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || fds[1].revents != 0) return;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        relays_.emplace_back([this, client] { Relay(client); });
    }
}

void CommitCutter::Relay(int client) {
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(targetPort_));
    ::inet_pton(AF_INET, host_.c_str(), &address.sin_addr);
    if (server < 0 ||
        ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        if (server >= 0) ::close(server);
        return;
    }
    bool cutting = false;  // a commit went to the server; its answer is not passed on
    char buffer[65536];
    for (;;) {
        pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0 || fds[2].revents != 0) break;
        if (fds[0].revents != 0) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            const bool commit = HoldsCommit(buffer, static_cast<std::size_t>(n));
            if (!SendAll(server, buffer, static_cast<std::size_t>(n))) break;
            if (commit && armed_.exchange(false)) cutting = true;
        }
        if (fds[1].revents != 0) {
            const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            if (cutting) {
                ++cuts_;
                break;
            }
            if (!SendAll(client, buffer, static_cast<std::size_t>(n))) break;
        }
    }
    ::close(server);
    ::close(client);
}

}  // namespace ts
