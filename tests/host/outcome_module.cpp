// A stand-in for reservation.so that exercises only the host: its Search
// reports an outcome for each file of the drop directory by the file's name
// ("imported-*", "already-*", "refused-*", "busy-*", "failed-*"; the first
// two are removed, as the module removes what it imported; "notimporting-*"
// reports the whole call as importing nothing) through the same
// fw::ReportOutcome the module uses, and writes the clerk's bytes it was
// given into DIRECTORY/.clerk.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "framework/outcome.h"

extern "C" __attribute__((visibility("default"))) void Search(const char* request) {
    const std::string_view text(request);
    const std::size_t q = text.find('?');
    if (q == std::string_view::npos) return;
    const std::string directory(text.substr(0, q));
    const std::size_t x = text.find('!', q);
    const std::string clerk(x == std::string_view::npos ? "" : text.substr(x + 1));

    const struct {
        std::string_view prefix;
        fw::Outcome outcome;
        bool remove;
    } kinds[] = {{"imported-", fw::Outcome::Imported, true},
                 {"already-", fw::Outcome::AlreadyImported, true},
                 {"refused-", fw::Outcome::Refused, false},
                 {"busy-", fw::Outcome::Busy, false},
                 {"failed-", fw::Outcome::Failed, false},
                 {"notimporting-", fw::Outcome::NotImporting, false}};
    if (DIR* dir = opendir(directory.c_str())) {
        while (const struct dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            for (const auto& kind : kinds) {
                if (name.compare(0, kind.prefix.size(), kind.prefix) != 0) continue;
                const std::string path = directory + "/" + name;
                if (kind.remove) unlink(path.c_str());
                fw::ReportOutcome(kind.outcome, path);
            }
        }
        closedir(dir);
    }
    if (FILE* out = std::fopen((directory + "/.clerk").c_str(), "wb")) {
        std::fwrite(clerk.data(), 1, clerk.size(), out);
        std::fclose(out);
    }
}

extern "C" __attribute__((visibility("default"))) std::int32_t MyGetMes(std::int32_t) { return 0; }
