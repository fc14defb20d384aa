#include "framework/qtapp.h"

#include <dlfcn.h>
#include <unistd.h>

#include <QApplication>
#include <QLibraryInfo>
#include <QThread>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fw {
namespace {

// QApplication keeps references to argc and argv for its whole life, so they
// live in static storage.
int g_argc = 1;
char g_arg0[] = "reservation";
char* g_argv[] = {g_arg0, nullptr};

QApplication* g_owned = nullptr;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) parts.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The platforms Qt will try, in its order. QT_QPA_PLATFORM may hold a
// ";"-separated fallback list whose items carry ":"-separated options; unset,
// Qt tries wayland first in a wayland session and otherwise xcb.
std::vector<std::string> CandidatePlatforms() {
    std::string platforms = Env("QT_QPA_PLATFORM");
    if (platforms.empty()) platforms = Env("XDG_SESSION_TYPE") == "wayland" ? "wayland;xcb" : "xcb";
    std::vector<std::string> names;
    for (const std::string& item : Split(platforms, ';')) {
        std::string name = item.substr(0, item.find(':'));
        if (!name.empty()) names.push_back(name);
    }
    return names;
}

// A missing platform plugin is as fatal to Qt as a missing display, so look
// for the plugin file where Qt would.
bool PlatformPluginInstalled(const std::string& name) {
    std::vector<std::string> dirs;
    if (std::string direct = Env("QT_QPA_PLATFORM_PLUGIN_PATH"); !direct.empty()) {
        dirs.push_back(direct);
    }
    for (const std::string& dir : Split(Env("QT_PLUGIN_PATH"), ':')) {
        dirs.push_back(dir + "/platforms");
    }
    dirs.push_back(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms");

    const std::string prefix = "libq" + name;
    for (const std::string& dir : dirs) {
        for (const char* suffix : {".so", "-generic.so", "-egl.so"}) {
            if (access((dir + "/" + prefix + suffix).c_str(), R_OK) == 0) return true;
        }
    }
    return false;
}

// Asks the X server named by DISPLAY for a connection through libxcb, the
// library the xcb platform itself uses. Loaded at run time so that the module
// does not link an X library it needs only for this probe.
bool XServerReachable() {
    if (Env("DISPLAY").empty()) return false;
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb) return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool reachable = false;
    if (connect && hasError && disconnect) {
        int screen = 0;
        void* connection = connect(nullptr, &screen);
        // xcb_connect never returns null: a failed connection is an error
        // object that still has to be disconnected.
        reachable = connection && hasError(connection) == 0;
        if (connection) disconnect(connection);
    }
    dlclose(xcb);
    return reachable;
}

bool PlatformUsable(const std::string& name) {
    if (!PlatformPluginInstalled(name)) return false;
    if (name == "xcb") return XServerReachable();
    if (name.rfind("wayland", 0) == 0) return !Env("WAYLAND_DISPLAY").empty();
    return true;
}

}  // namespace

const char* Describe(GuiUnavailable why) {
    switch (why) {
        case GuiUnavailable::None:
            return "available";
        case GuiUnavailable::CoreApplicationOnly:
            return "the host runs Qt without widgets";
        case GuiUnavailable::NoDisplay:
            return "no display";
        case GuiUnavailable::WrongThread:
            return "not the user interface thread";
    }
    return "unknown";
}

bool DisplayAvailable() {
    for (const std::string& name : CandidatePlatforms()) {
        if (PlatformUsable(name)) return true;
    }
    return false;
}

QApplication* AcquireGuiApplication(GuiUnavailable& why) {
    why = GuiUnavailable::None;
    if (QCoreApplication* core = QCoreApplication::instance()) {
        auto* app = qobject_cast<QApplication*>(core);
        if (!app) {
            why = GuiUnavailable::CoreApplicationOnly;
            return nullptr;
        }
        if (app->thread() != QThread::currentThread()) {
            why = GuiUnavailable::WrongThread;
            return nullptr;
        }
        return app;
    }
    if (!DisplayAvailable()) {
        why = GuiUnavailable::NoDisplay;
        return nullptr;
    }
    g_owned = new QApplication(g_argc, g_argv);
    // The module never runs QApplication::exec; its dialogs run their own
    // loops, and a quit posted when one closes must not end the next.
    g_owned->setQuitOnLastWindowClosed(false);
    return g_owned;
}

void ReleaseGuiApplication() {
    delete g_owned;
    g_owned = nullptr;
}

bool OwnsGuiApplication() { return g_owned != nullptr && QCoreApplication::instance() == g_owned; }

}  // namespace fw
