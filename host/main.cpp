// reservation-host [--module PATH] REQUEST...
// Loads the module, calls Search once per request, unloads it.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/ModuleLoader.h"

namespace {

void Usage(FILE* out) {
    std::fputs(
        "usage: reservation-host [--module PATH] REQUEST...\n"
        "\n"
        "Loads the booking-import module and calls its Search export once for\n"
        "each REQUEST, in order, then unloads it. A request names the drop\n"
        "directory, the mode and the clerk:  DIRECTORY?MODE!CLERK\n"
        "  mode 1      import every booking file into the database, no questions\n"
        "  other modes show each booking for the clerk to confirm or cancel\n"
        "\n"
        "options:\n"
        "  --module PATH  the module to load (default: reservation.so beside this\n"
        "                 program, else the installed one)\n"
        "  -h, --help     show this text\n"
        "\n"
        "example: reservation-host '/var/spool/bookings?1!frontdesk'\n",
        out);
}

}  // namespace

int main(int argc, char** argv) {
    std::string modulePath;
    std::vector<const char*> requests;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            Usage(stdout);
            return 0;
        }
        if (std::strcmp(arg, "--module") == 0) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "reservation-host: --module needs a path\n");
                return 2;
            }
            modulePath = argv[++i];
        } else if (std::strncmp(arg, "--module=", 9) == 0) {
            modulePath = arg + 9;
        } else if (std::strcmp(arg, "--") == 0) {
            for (++i; i < argc; ++i) requests.push_back(argv[i]);
        } else if (arg[0] == '-' && arg[1] == '-') {
            std::fprintf(stderr, "reservation-host: unknown option %s (try --help)\n", arg);
            return 2;
        } else {
            requests.push_back(arg);
        }
    }
    if (requests.empty()) {
        Usage(stderr);
        return 2;
    }
    if (modulePath.empty()) modulePath = host::DefaultModulePath();

    host::ModuleLoader module;
    if (!module.Load(modulePath)) {
        std::fprintf(stderr, "reservation-host: cannot load the module %s: %s\n", modulePath.c_str(),
                     module.Error().c_str());
        return 1;
    }
    for (const char* request : requests) module.Search()(request);
    module.Unload();
    return 0;
}
