#include "framework/crashpoint.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace fw {

namespace {

struct Armed {
    std::string name;
    long remaining = 0;
};

Armed ReadArmed() {
    Armed armed;
    const char* value = std::getenv("RESERVATION_CRASH_AT");
    if (value == nullptr || *value == '\0') return armed;
    const char* colon = std::strchr(value, ':');
    armed.name.assign(value, colon ? static_cast<std::size_t>(colon - value) : std::strlen(value));
    armed.remaining = colon ? std::strtol(colon + 1, nullptr, 10) : 1;
    if (armed.remaining < 1) armed.remaining = 1;
    return armed;
}

}  // namespace

void CrashPoint(const char* name) {
    // Trivially destructible state only: a point may be passed at exit.
    static bool read = false;
    static char armedName[64];
    static long remaining = 0;
    if (!read) {
        const Armed armed = ReadArmed();
        std::strncpy(armedName, armed.name.c_str(), sizeof armedName - 1);
        remaining = armed.remaining;
        read = true;
    }
    if (armedName[0] == '\0' || std::strcmp(armedName, name) != 0) return;
    if (--remaining == 0) kill(getpid(), SIGKILL);
}

bool LocksDisabledForTest() {
    static const bool off = std::getenv("RESERVATION_TEST_NO_LOCKS") != nullptr;
    return off;
}

void PauseBetweenLinkAndUnlinkForTest() {
    static const long ms = [] {
        const char* value = std::getenv("RESERVATION_TEST_LINK_PAUSE_MS");
        return value ? std::strtol(value, nullptr, 10) : 0L;
    }();
    if (ms <= 0) return;
    struct timespec pause {
        ms / 1000, (ms % 1000) * 1000000
    };
    while (nanosleep(&pause, &pause) != 0) {
    }
}

}  // namespace fw
