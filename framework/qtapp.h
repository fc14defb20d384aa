// The Qt application the module's dialogs run on. The module lives inside a
// host process that may or may not run Qt: it uses the host's QApplication
// when there is one and otherwise creates its own on first need, keeping it
// until the module is unloaded. It never creates one where Qt could not open
// a display, because Qt aborts the whole process when a platform fails.
// Everything here must be called from the thread that runs the user interface.
#pragma once

class QApplication;

namespace fw {

// Why no QApplication can be had.
enum class GuiUnavailable {
    None,
    CoreApplicationOnly,  // the host runs a QCoreApplication: no widgets possible
    NoDisplay,            // no platform Qt would pick can open a display
    WrongThread,          // the host's QApplication lives in another thread
};

// A short English description of why, for trace lines.
const char* Describe(GuiUnavailable why);

// The QApplication to run dialogs on: the host's, or the one this module
// created on an earlier call, or a new one. Returns nullptr and sets why when
// none can be had; nothing is created then. The module owns a QApplication it
// created (see ReleaseGuiApplication); the caller owns nothing.
QApplication* AcquireGuiApplication(GuiUnavailable& why);

// Whether a QApplication created now would find a display: a platform named
// by QT_QPA_PLATFORM (or Qt's default when unset) whose plugin is installed
// and, for xcb, an X server that accepts a connection. Creates nothing.
bool DisplayAvailable();

// Destroys the QApplication if this module created it; the host's is left
// alone. Safe to call when there is none.
void ReleaseGuiApplication();

// Whether the current QApplication is the one this module created.
bool OwnsGuiApplication();

}  // namespace fw
