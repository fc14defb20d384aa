#include "framework/processtag.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

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

// Field 22 of /proc/PID/stat; empty when the process does not exist. The
// command name in field 2 may hold blanks and parentheses, so counting
// starts after its last ")".
std::string StartTime(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/stat");
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

}  // namespace

const std::string& ThisProcessTag() {
    static const std::string tag = [] {
        const std::string pid = std::to_string(::getpid());
        return ThisHost() + "+" + ThisBoot() + "+" + pid + "+" + StartTime(pid);
    }();
    return tag;
}

TagState CheckProcessTag(const std::string& tag) {
    const std::vector<std::string> parts = SplitProcessTag(tag);
    if (parts.size() != 4 || parts[2].empty() ||
        parts[2].find_first_not_of("0123456789") != std::string::npos)
        return TagState::NotATag;
    if (parts[0] != ThisHost()) return TagState::OtherMachine;
    if (parts[1] != ThisBoot()) return TagState::Gone;
    const std::string started = StartTime(parts[2]);
    return !started.empty() && started == parts[3] ? TagState::Running : TagState::Gone;
}

}  // namespace fw
