// reservation-host.exe: the Windows command-line host. Loads reservation.dll
// with LoadLibraryA and calls its Search export once per request, the way the
// front-office program does, then unloads it. One-shot only; the module's
// trace lines go to the debugger channel (OutputDebugStringA), the host's own
// to standard error. Exit status as on Linux: 0, 1 when something was refused
// or failed or the module cannot be loaded, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/Outcomes.h"

// The module reports each booking's outcome here (framework/outcome.h).
extern "C" __declspec(dllexport) void ReservationHostOutcome(int outcome, const char* path) {
    host::HostOutcomes().Add(outcome, path != nullptr ? path : "");
}

namespace {

constexpr int kNeedsAPerson = 1;
constexpr int kUsage = 2;

void Usage(FILE* out) {
    std::fputs(
        "usage: reservation-host [--module PATH] REQUEST...\n"
        "\n"
        "Loads the booking-import module and calls its Search export once for\n"
        "each REQUEST, in order, then unloads it. A request names the drop\n"
        "directory, the mode and the clerk:  DIRECTORY?MODE!CLERK\n"
        "\n"
        "options:\n"
        "  --module PATH     the module to load (default: reservation.dll beside\n"
        "                    this program)\n"
        "  --version         show the version\n"
        "  -h, --help        show this text\n"
        "\n"
        "The run ends with the line \"N imported, N already imported, N refused,\n"
        "N busy, N failed, N left\" and exits with 0 when nothing was refused or\n"
        "failed, 1 when something was (or the module cannot be loaded), 2 on a\n"
        "usage error. The module's trace lines go to the debugger's output.\n",
        out);
}

void Note(const std::string& text) { std::fprintf(stderr, "reservation-host: %s\n", text.c_str()); }

std::string ModuleBesideThisProgram() {
    char self[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, n);
    const std::size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
           "reservation.dll";
}

// Booking files still in directory (not "." names, not subdirectories).
long CountWaitingFiles(const std::string& directory) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((directory + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    long count = 0;
    do {
        if (data.cFileName[0] != '.' && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            ++count;
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return count;
}

std::string DropDirectoryOf(const std::string& request) {
    const std::size_t question = request.find('?');
    return question == std::string::npos ? std::string() : request.substr(0, question);
}

}  // namespace

int main(int argc, char** argv) {
    std::string modulePath;
    std::vector<std::string> requests;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("reservation-host %s\n", RESERVATION_VERSION);
            return 0;
        }
        if (arg == "--module" && i + 1 < argc) {
            modulePath = argv[++i];
        } else if (arg.rfind("--module=", 0) == 0) {
            modulePath = arg.substr(9);
        } else if (arg == "--watch" || arg == "--interval") {
            std::fprintf(stderr, "reservation-host: %s is not available on Windows (try --help)\n",
                         arg.c_str());
            return kUsage;
        } else if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "reservation-host: unknown option %s (try --help)\n", arg.c_str());
            return kUsage;
        } else {
            requests.push_back(arg);
        }
    }
    if (requests.empty()) {
        std::fprintf(stderr, "reservation-host: no request given (try --help)\n");
        return kUsage;
    }
    if (modulePath.empty()) modulePath = ModuleBesideThisProgram();

    HMODULE module = LoadLibraryA(modulePath.c_str());
    if (module == nullptr) {
        Note("cannot load the module " + modulePath + ": error " + std::to_string(GetLastError()));
        return kNeedsAPerson;
    }
    using SearchFn = void (*)(const char*);
    const auto search =
        reinterpret_cast<SearchFn>(reinterpret_cast<void*>(GetProcAddress(module, "Search")));
    if (search == nullptr) {
        Note("the module " + modulePath + " has no Search export");
        FreeLibrary(module);
        return kNeedsAPerson;
    }

    int status = 0;
    std::vector<std::string> scanned;
    for (const std::string& request : requests) {
        const std::string directory = DropDirectoryOf(request);
        if (directory.empty()) {
            status = kNeedsAPerson;  // the module says why, and scans nothing
        } else if (const DWORD attributes = GetFileAttributesA(directory.c_str());
                   attributes == INVALID_FILE_ATTRIBUTES ||
                   (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            Note("the drop directory " + directory + " does not exist; nothing imported");
            status = kNeedsAPerson;
            continue;
        } else {
            scanned.push_back(directory);
        }
        search(request.c_str());
    }
    FreeLibrary(module);

    long left = 0;
    for (const std::string& directory : scanned) left += CountWaitingFiles(directory);
    const host::OutcomeCounts counts = host::HostOutcomes().Counts();
    Note(host::SummaryText(counts, left));
    return host::NeedsAPerson(counts) ? kNeedsAPerson : status;
}
