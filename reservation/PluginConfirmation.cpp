#include "reservation/PluginConfirmation.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <array>
#include <memory>

#include "framework/gbktext.h"
#include "framework/trace.h"
#include "reservation/BookingClaim.h"

namespace resv {
namespace {

const ResvDialogPlugin* g_plugin = nullptr;

std::string Resolved(const std::string& path) {
    std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), free);
    return real ? std::string(real.get()) : std::string();
}

}  // namespace

const std::string& DialogPluginPath() {
    static const std::string path = [] {
        Dl_info info{};
        std::string self;
        if (dladdr(reinterpret_cast<void*>(&DialogPluginPath), &info) != 0 && info.dli_fname)
            self = info.dli_fname;
        // For a program (not a shared object) the loader reports argv[0],
        // which need not name a file.
        self = self.find('/') != std::string::npos ? Resolved(self) : std::string();
        if (self.empty()) self = Resolved("/proc/self/exe");
        const std::size_t slash = self.rfind('/');
        return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" +
               kDialogPluginFile;
    }();
    return path;
}

const ResvDialogPlugin* LoadDialogPlugin(std::string& why) {
    if (g_plugin) return g_plugin;
    try {
        void* library = dlopen(DialogPluginPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            const char* error = dlerror();
            why = error ? error : DialogPluginPath() + ": cannot be loaded";
            return nullptr;
        }
        auto entry = reinterpret_cast<ResvDialogEntry>(dlsym(library, RESV_DIALOG_ENTRY));
        g_plugin = entry ? entry(RESV_DIALOG_ABI_VERSION) : nullptr;
        if (!g_plugin) {
            why = DialogPluginPath() + " is not a dialog this module can use (another version)";
            dlclose(library);
        }
    } catch (const std::exception& e) {
        why = e.what();
    }
    return g_plugin;
}

void ReleaseDialogPlugin() {
    if (g_plugin) g_plugin->release();
    g_plugin = nullptr;
}

PluginConfirmation::PluginConfirmation(const ResvDialogPlugin& plugin, BookingFields& table,
                                       BookingClaim* claim)
    : BookingConfirmation(table, claim), plugin_(plugin) {
    calls_.context = this;
    // The view calls back from inside its event loop: nothing may escape.
    calls_.confirm = [](void* context) {
        try {
            static_cast<PluginConfirmation*>(context)->ConfirmBooking();
        } catch (...) {
        }
    };
    calls_.cancel = [](void* context) {
        auto* self = static_cast<PluginConfirmation*>(context);
        try {
            self->TraceCancelled();
        } catch (...) {
        }
        self->EndDialog(false);
    };
    calls_.refresh = [](void* context) {
        try {
            if (BookingClaim* claim = static_cast<PluginConfirmation*>(context)->Claim())
                claim->Refresh();
        } catch (...) {
        }
    };
    calls_.refreshSeconds = claim ? kClaimRefreshSeconds : 0;
}

PluginConfirmation::~PluginConfirmation() {
    if (view_) plugin_.close(view_);
}

bool PluginConfirmation::Open(std::string& why) {
    std::array<char, 256> reason{};
    view_ = plugin_.open(&calls_, reason.data(), reason.size());
    if (!view_) {
        why = reason.data();
        return false;
    }
    FillFromTable();
    return true;
}

bool PluginConfirmation::Run(std::string& why) {
    std::array<char, 256> reason{};
    if (view_ && plugin_.run(view_, reason.data(), reason.size()) != 0) return true;
    why = view_ ? reason.data() : "not open";
    return false;
}

void PluginConfirmation::ShowControlText(int control, const std::string& gbk) {
    plugin_.setText(view_, control, fw::gbk::ToUtf8(gbk).c_str());
}

std::optional<std::string> PluginConfirmation::ChangedControlText(int control,
                                                                  const std::string& shownGbk) {
    const char* now = plugin_.text(view_, control);
    // An invalid GBK byte shows as U+FFFD; converting back would lose it.
    if (!now || now == fw::gbk::ToUtf8(shownGbk)) return std::nullopt;
    return fw::gbk::FromUtf8(now);
}

void PluginConfirmation::FocusConfirmButton() { plugin_.focusConfirm(view_); }

void PluginConfirmation::ShowMessage(const std::string& text) {
    if (plugin_.message(view_, text.c_str()) == 0)
        fw::Trace(fw::Priority::Warning, "can't show a message for booking %s\n",
                  BookingPath().c_str());
}

void PluginConfirmation::EndDialog(bool accepted) { plugin_.end(view_, accepted ? 1 : 0); }

}  // namespace resv
