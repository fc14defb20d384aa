// The confirmation dialog on Linux: PluginConfirmation over the plugin
// reservation-dialog.so, loaded the first time a booking is to be shown.
#include "reservation/reservationDialog.h"

#include <cstdint>
#include <exception>
#include <string>

#include "framework/trace.h"
#include "reservation/BookingClaim.h"
#include "reservation/PluginConfirmation.h"

namespace resv {
namespace {

void NotShown(const std::string& path, const std::string& why) {
    fw::Trace(fw::Priority::Warning, "booking %s not shown for confirmation: %s\n", path.c_str(),
              why.c_str());
}

}  // namespace

Handled ShowConfirmDialog(BookingClaim& claim) {
    const std::string path = claim.Path();
    try {
        std::string why;
        const ResvDialogPlugin* plugin = LoadDialogPlugin(why);
        if (!plugin) {
            // Said once per call: every booking of the call stays for the
            // same reason.
            static std::uint64_t saidInCall = 0;
            if (saidInCall != SearchCallNumber() || saidInCall == 0) {
                saidInCall = SearchCallNumber();
                NotShown(path, "no dialog installed (package reservation-dialog): " + why);
            }
            return Handled::Left;
        }
        PluginConfirmation confirmation(*plugin, BookingFieldTable, &claim);
        if (!confirmation.Open(why) || !confirmation.Run(why)) {
            NotShown(path, why);
            return Handled::Left;
        }
        return confirmation.Result();
    } catch (const std::exception& e) {
        NotShown(path, e.what());
    } catch (...) {
        NotShown(path, "unknown error");
    }
    return Handled::Left;
}

// Pins the plugin's directory while the path the module was loaded by holds.
void RegisterDialogResources() { DialogPluginPath(); }

void WithdrawDialogResources() { ReleaseDialogPlugin(); }

}  // namespace resv
