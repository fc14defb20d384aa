// The host's platform side on POSIX: its lines on standard error, and watch
// mode with inotify (WatchLoop), the stop signals on a signalfd and systemd's
// notifications (readiness, STATUS=, stopping).
#include "host/Platform.h"

#include <systemd/sd-daemon.h>

#include <chrono>
#include <csignal>
#include <filesystem>

#include "framework/outcome.h"
#include "host/Metrics.h"
#include "host/Outcomes.h"
#include "host/ServiceStatus.h"
#include "host/StopSignals.h"
#include "host/WatchLoop.h"

namespace host {
namespace {

void NotifyStatus(const std::string& text) {
    sd_notifyf(0, "STATUS=%s", fw::JournalText(text).c_str());
}

class InotifyWatch : public WatchMode {
  public:
    bool Ok() const { return stop_.Fd() >= 0; }
    int Run(ModuleLoader& module, const std::string& request, const std::string& directory,
            const HostOptions& options) override;

  private:
    StopSignals stop_;
};

int InotifyWatch::Run(ModuleLoader& module, const std::string& request,
                      const std::string& directory, const HostOptions& options) {
    OutcomeTally& tally = HostOutcomes();
    ServiceStatus status(Note);
    std::unique_ptr<MetricsFile> metrics;
    if (!options.metricsPath.empty())
        metrics = std::make_unique<MetricsFile>(options.metricsPath, Note);

    WatchLoop::Options loopOptions;
    loopOptions.directory = directory;
    loopOptions.interval = std::chrono::seconds(options.intervalSeconds);
    loopOptions.stopFd = stop_.Fd();
    CallReport report;
    std::unique_ptr<WatchLoop> loop;
    auto search = [&] {
        tally.BeginCall();
        module.Search()(request.c_str());
        report = tally.EndCall();
        return report.database;
    };
    // Once the loop has listed what waits: forget the bookings that are gone,
    // count those a drop directory that imports nothing keeps, and tell.
    auto afterCall = [&] {
        const DropContents& contents = loop->Contents();
        tally.Keep([&](const std::string& path) {
            const std::size_t slash = path.rfind('/');
            return slash == std::string::npos || path.compare(0, slash, directory) != 0 ||
                   contents.Has(path.substr(slash + 1));
        });
        if (report.notImporting)
            for (const auto& [name, version] : contents.waiting)
                tally.Add(static_cast<int>(fw::Outcome::Failed), directory + "/" + name);
        status.AfterCall(report, loop->RetryWait());
        NotifyStatus(status.Text(tally));
        if (metrics)
            metrics->Write({directory, tally.Counts(), loop->Calls(), contents.Waiting(),
                            contents.Held(), tally.LastImport(), status.DatabaseReachable()});
    };
    loop = std::make_unique<WatchLoop>(loopOptions, search, Note, afterCall);
    if (!loop->Ok()) {
        Note(fw::Priority::Error, "cannot watch " + directory + ": " + loop->Error());
        return 1;
    }
    // Ready once the module is loaded and the directory watched, before the
    // first scan: a backlog of thousands of bookings must not run into the
    // service manager's start timeout (nor hold up a package's upgrade).
    sd_notify(0, "READY=1");
    loop->Step(std::chrono::milliseconds(0));
    if (!loop->Watcher().Watching()) NotifyStatus("waiting for the drop directory " + directory);
    loop->Run();
    sd_notify(0, "STOPPING=1");
    const int signal = stop_.Take();
    Note(fw::Priority::Info,
         std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    return 0;
}

}  // namespace

void Note(fw::Priority priority, std::string_view text) {
    fw::Trace(priority, "reservation-host: %.*s\n", static_cast<int>(text.size()), text.data());
}

std::string DropDirectoryProblem(const std::string& directory) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(directory, error);
    if (status.type() == fs::file_type::not_found) return "does not exist";
    if (error) return "cannot be read (" + error.message() + ")";
    if (!fs::is_directory(status)) return "is not a directory";
    fs::directory_iterator listing(directory, error);
    if (error) return "cannot be read (" + error.message() + ")";
    return "";
}

std::unique_ptr<WatchMode> WatchMode::Prepare(std::string& error) {
    auto watch = std::make_unique<InotifyWatch>();
    if (watch->Ok()) return watch;
    error = "cannot set up the stop signals";
    return nullptr;
}

}  // namespace host
