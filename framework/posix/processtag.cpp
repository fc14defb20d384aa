#include "framework/processtag.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/sha256.h"
#include "framework/sysdeps.h"

namespace fw {
namespace {

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    std::string host = name;
    return TagSafeHostName(std::move(host));
}

std::string BootId() {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id.size() >= 8 ? id.substr(0, 8) : "00000000";
}

// Field 22 of /proc/self/stat. The command name in field 2 may hold blanks
// and parentheses, so counting starts after its last ")".
std::string StartTime() {
    std::ifstream in("/proc/self/stat");
    std::string line;
    if (!std::getline(in, line)) return {};
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream rest(line.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22; ++i) {
        if (!(rest >> field)) return {};
    }
    return field;
}

// Neither changes while the process runs.
const std::string& ThisHost() {
    static const std::string host = HostName();
    return host;
}
const std::string& ThisBoot() {
    static const std::string boot = BootId();
    return boot;
}

// The beacon's address: an abstract socket (no file, gone with its last
// descriptor) named by the tag's digest, short enough for any tag.
sockaddr_un BeaconAddress(const std::string& tag, socklen_t& length) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = "reservation-claim:" + Sha256Hex(tag);
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    return address;
}

// Binds the beacon of tag; the descriptor, or -1 with errno.
int BindBeacon(const std::string& tag) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    socklen_t length = 0;
    const sockaddr_un address = BeaconAddress(tag, length);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

}  // namespace

const std::string& ThisProcessTag() {
    static const std::string tag = [] {
        std::string made =
            ThisHost() + "+" + ThisBoot() + "+" + std::to_string(::getpid()) + "+" + StartTime();
        // Held for the life of the process. Without it (no Unix sockets
        // here) the claims' locks still tell.
        static_cast<void>(BindBeacon(made));
        return made;
    }();
    return tag;
}

TagState CheckProcessTag(const std::string& tag) {
    const std::vector<std::string> parts = SplitProcessTag(tag);
    if (parts.size() != 4 || parts[2].empty() ||
        parts[2].find_first_not_of("0123456789") != std::string::npos)
        return TagState::NotATag;
    if (parts[0] != ThisHost()) return TagState::OtherMachine;
    if (tag == ThisProcessTag()) return TagState::Running;
    const int probe = BindBeacon(tag);
    if (probe >= 0) {
        ::close(probe);
        return TagState::Gone;
    }
    return errno == EADDRINUSE ? TagState::Running : TagState::Unknown;
}

}  // namespace fw
