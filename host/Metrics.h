// Metrics: the host's counts in the Prometheus text format, for a monitor
// that reads files (the node exporter's textfile collector, say), written
// after every call.
//
// Every sample carries the label directory="DROP" (UTF-8, escaped as in the
// journal), so that the files of several instances can be collected side by
// side. The file is replaced atomically: written whole under a temporary name
// beside it (".NAME.tmp", which a collector of "*.prom" files passes over),
// then renamed over it, so a reader never sees half of it.
//
// A file that cannot be written (its directory missing or not writable) is
// said once, as a warning, until a write succeeds again; the host goes on.
// Not thread-safe.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "framework/trace.h"
#include "host/Outcomes.h"

namespace host {

struct MetricsSnapshot {
    std::string directory;  // the drop directory, the label's value
    OutcomeCounts counts;
    long calls = 0;
    long waiting = 0;                       // booking files in the drop directory now
    long heldElsewhere = 0;                 // in other processes' claims
    std::optional<std::time_t> lastImport;  // none before the first import
    bool databaseReachable = true;
};

// The text of the file.
std::string MetricsText(const MetricsSnapshot& snapshot);

class MetricsFile {
  public:
    using Note = std::function<void(fw::Priority, std::string_view)>;
    MetricsFile(std::string path, Note note);

    void Write(const MetricsSnapshot& snapshot);

  private:
    std::string path_;
    std::string temporary_;
    Note note_;
    bool failing_ = false;
};

}  // namespace host
