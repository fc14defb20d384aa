// Process tags on Win32. The second field is the process's session id: a
// process id with its creation time already names one process across reboots
// (a creation time is wall-clock time, and a process started after a reboot
// cannot carry one from before it), so the field only tells a person which
// logon session the host ran in and is not compared.
#include "framework/processtag.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/sysdeps.h"

namespace fw {
namespace {

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size) || size == 0) return "localhost";
    std::string host(name, size);
    return TagSafeHostName(std::move(host));
}

std::string SessionId() {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return std::to_string(session);
}

// The creation time of process pid in 100 ns since 1601; empty when there is
// no such process (or it has ended and only its handle lingers).
std::string CreationTime(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) {
        // Another user's process: without the right to query it, its life
        // cannot be told, so take it for running rather than steal its claim.
        return GetLastError() == ERROR_ACCESS_DENIED ? std::string("?") : std::string();
    }
    FILETIME created{}, exited{}, kernel{}, user{};
    DWORD code = 0;
    std::string result;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user) &&
        GetExitCodeProcess(process, &code) && code == STILL_ACTIVE) {
        const std::uint64_t ticks =
            (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
        result = std::to_string(ticks);
    }
    CloseHandle(process);
    return result;
}

const std::string& ThisHost() {
    static const std::string host = HostName();
    return host;
}

}  // namespace

const std::string& ThisProcessTag() {
    static const std::string tag = [] {
        const DWORD pid = GetCurrentProcessId();
        return ThisHost() + "+" + SessionId() + "+" + std::to_string(pid) + "+" + CreationTime(pid);
    }();
    return tag;
}

TagState CheckProcessTag(const std::string& tag) {
    const std::vector<std::string> parts = SplitProcessTag(tag);
    if (parts.size() != 4 || parts[2].empty() || parts[2].size() > 10 ||
        parts[2].find_first_not_of("0123456789") != std::string::npos)
        return TagState::NotATag;
    if (parts[0] != ThisHost()) return TagState::OtherMachine;
    // A process id is a DWORD; a longer number names no process (and must
    // not throw: a writer may plant such a name).
    const unsigned long long pid = std::strtoull(parts[2].c_str(), nullptr, 10);
    if (pid > 0xFFFFFFFFull) return TagState::Gone;
    const std::string created = CreationTime(static_cast<DWORD>(pid));
    if (created == "?") return TagState::Running;
    return !created.empty() && created == parts[3] ? TagState::Running : TagState::Gone;
}

}  // namespace fw
