// DialogPlugin: the boundary between reservation.so and its confirmation
// dialog, reservation-dialog.so (the package reservation-dialog), which the
// module loads the first time a call asks for a dialog. A plain C interface:
// no C++ type, allocation or exception crosses it, so the two sides need not
// share a compiler's run time, and a service that only imports never loads a
// GUI library.
//
// What the dialog does (its fields, the import on confirm, the removal of the
// file) stays in the module; the plugin is the view: the window, its controls,
// message boxes and the Qt application they run on. The module drives the view
// through ResvDialogPlugin; the view reports the clerk's decisions through
// ResvDialogCalls. Texts are UTF-8 on both sides; the module converts.
//
// Everything is called on the thread that runs the user interface; every
// function returns (none throws, none ends the process).
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Raised whenever a function's meaning changes; the plugin refuses another.
#define RESV_DIALOG_ABI_VERSION 1u

// The plugin's one exported symbol, of type ResvDialogEntry.
#define RESV_DIALOG_ENTRY "ReservationDialogPlugin"

// One open dialog window, owned by the plugin; opaque to the module.
typedef struct ResvDialogView ResvDialogView;

// The module's side, borrowed by the view for as long as it is open.
typedef struct ResvDialogCalls {
    void* context;
    // The confirm button and Enter. The module imports, and ends the view on
    // success.
    void (*confirm)(void* context);
    // The cancel button, Esc and the close box. The module ends the view.
    void (*cancel)(void* context);
    // Every refreshSeconds while the view is open: keeps the booking's claim
    // from looking abandoned to another machine.
    void (*refresh)(void* context);
    unsigned refreshSeconds;
} ResvDialogCalls;

typedef struct ResvDialogPlugin {
    unsigned abiVersion;
    // Creates the window, hidden. NULL when no window can be had (no display,
    // a host whose Qt has no widgets, ...): why then holds the reason, in
    // English, cut to whySize bytes with its NUL.
    ResvDialogView* (*open)(const ResvDialogCalls* calls, char* why, size_t whySize);
    // Shows text in the control with that resource ID; no such control, no
    // effect.
    void (*setText)(ResvDialogView* view, int control, const char* utf8);
    // The control's text now; NULL when there is no such control. Valid until
    // the next call on view.
    const char* (*text)(ResvDialogView* view, int control);
    void (*focusConfirm)(ResvDialogView* view);
    // A modal message over the window; 0 when it could not be shown.
    int (*message)(ResvDialogView* view, const char* utf8);
    // Closes the window with the clerk's decision; run returns.
    void (*end)(ResvDialogView* view, int accepted);
    // Shows the window modally until end. 0 when it could not run; why as for
    // open.
    int (*run)(ResvDialogView* view, char* why, size_t whySize);
    // Destroys the window.
    void (*close)(ResvDialogView* view);
    // The module is being unloaded: the plugin gives up what it made (its own
    // Qt application, its resources). Open may be called again afterwards.
    void (*release)(void);
} ResvDialogPlugin;

// The table for abiVersion, or NULL when this plugin does not speak it.
typedef const ResvDialogPlugin* (*ResvDialogEntry)(unsigned abiVersion);

#ifdef __cplusplus
}
#endif
