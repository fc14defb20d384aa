// PluginConfirmation: the confirmation dialog as the module runs it on Linux,
// BookingConfirmation (what the dialog does: its fields, the import on
// confirm, the removal of the file) over the view of the dialog plugin
// (DialogPlugin.h). The plugin, reservation-dialog.so, is looked for beside
// the code that holds the module and loaded on first need only, so that a
// module that only imports never loads a GUI library. GBK texts go to the view
// as UTF-8 and come back through framework/gbktext.
#pragma once

#include <optional>
#include <string>

#include "reservation/BookingConfirmation.h"
#include "reservation/DialogPlugin.h"

namespace resv {

// The plugin's file name, installed beside reservation.so.
inline constexpr const char* kDialogPluginFile = "reservation-dialog.so";

// Where the plugin is looked for: kDialogPluginFile in the directory of the
// object that holds this code (reservation.so, or a program linking it),
// learned on the first call; call it at load, while the path the module was
// loaded by still means what it meant.
const std::string& DialogPluginPath();

// The plugin's table, loaded on first call and kept until
// ReleaseDialogPlugin; nullptr with why set (the loader's reason) when it
// cannot be had. A failure is not remembered: a plugin installed later is
// found by the next call. Never throws.
const ResvDialogPlugin* LoadDialogPlugin(std::string& why);

// The module is being unloaded: the plugin gives up its Qt application and
// resources, and the next LoadDialogPlugin asks it afresh. The library itself
// stays mapped: Qt's libraries are not made to be unloaded.
void ReleaseDialogPlugin();

class PluginConfirmation final : public BookingConfirmation {
  public:
    // Keeps a reference to table and plugin (see BookingConfirmation for
    // table and claim).
    PluginConfirmation(const ResvDialogPlugin& plugin, BookingFields& table, BookingClaim* claim);
    // Closes the view.
    ~PluginConfirmation() override;

    // Opens the view, hidden, and fills it from the table; false with why
    // when no window can be had (no display, ...). Call once.
    bool Open(std::string& why);
    // Shows it modally until the clerk decides; false with why when it could
    // not run. Result() then tells what became of the booking.
    bool Run(std::string& why);

  private:
    void ShowControlText(int control, const std::string& gbk) override;
    std::optional<std::string> ChangedControlText(int control,
                                                  const std::string& shownGbk) override;
    void FocusConfirmButton() override;
    void ShowMessage(const std::string& text) override;
    void EndDialog(bool accepted) override;

    const ResvDialogPlugin& plugin_;
    ResvDialogCalls calls_{};
    ResvDialogView* view_ = nullptr;
};

}  // namespace resv
