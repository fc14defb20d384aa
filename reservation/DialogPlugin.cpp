// reservation-dialog.so: the Qt side of DialogPlugin.h. Each function catches
// whatever Qt or the allocator throws; the module gets a return value.
#include "reservation/DialogPlugin.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <cstring>
#include <exception>
#include <memory>

#include "framework/qtapp.h"
#include "reservation/ConfirmDialog.h"

// Q_INIT_RESOURCE declares the resource's initialiser where it is used, so
// the two calls must stand outside every namespace.
static void InitDialogResource() { Q_INIT_RESOURCE(reservationDialog); }
static void CleanupDialogResource() { Q_CLEANUP_RESOURCE(reservationDialog); }

struct ResvDialogView {
    explicit ResvDialogView(const ResvDialogCalls& calls) : dialog(calls) {}
    resv::ConfirmDialog dialog;
    QByteArray text;  // the last answer of Text
};

namespace {

bool resourcesRegistered = false;

void SetWhy(char* why, std::size_t size, const char* text) {
    if (!why || size == 0) return;
    std::strncpy(why, text, size - 1);
    why[size - 1] = '\0';
}

ResvDialogView* Open(const ResvDialogCalls* calls, char* why, std::size_t whySize) {
    try {
        fw::GuiUnavailable unavailable = fw::GuiUnavailable::None;
        if (!fw::AcquireGuiApplication(unavailable)) {
            SetWhy(why, whySize, fw::Describe(unavailable));
            return nullptr;
        }
        return new ResvDialogView(*calls);
    } catch (const std::exception& e) {
        SetWhy(why, whySize, e.what());
    } catch (...) {
        SetWhy(why, whySize, "unknown error");
    }
    return nullptr;
}

void SetText(ResvDialogView* view, int control, const char* utf8) {
    try {
        QWidget* widget = view->dialog.Control(control);
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(QString::fromUtf8(utf8));
            // A long text shows its beginning, as a booking is read.
            edit->setCursorPosition(0);
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(QString::fromUtf8(utf8));
        }
    } catch (...) {
    }
}

const char* Text(ResvDialogView* view, int control) {
    try {
        QWidget* widget = view->dialog.Control(control);
        if (auto* edit = qobject_cast<QLineEdit*>(widget))
            view->text = edit->text().toUtf8();
        else if (auto* label = qobject_cast<QLabel*>(widget))
            view->text = label->text().toUtf8();
        else
            return nullptr;
        return view->text.constData();
    } catch (...) {
        return nullptr;
    }
}

void FocusConfirm(ResvDialogView* view) {
    try {
        view->dialog.FocusConfirmButton();
    } catch (...) {
    }
}

int Message(ResvDialogView* view, const char* utf8) {
    try {
        return view->dialog.ShowMessage(QString::fromUtf8(utf8)) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void End(ResvDialogView* view, int accepted) {
    try {
        view->dialog.End(accepted != 0);
    } catch (...) {
    }
}

int Run(ResvDialogView* view, char* why, std::size_t whySize) {
    try {
        view->dialog.exec();
        return 1;
    } catch (const std::exception& e) {
        SetWhy(why, whySize, e.what());
    } catch (...) {
        SetWhy(why, whySize, "unknown error");
    }
    return 0;
}

void Close(ResvDialogView* view) {
    try {
        delete view;
    } catch (...) {
    }
}

void Release() {
    try {
        if (resourcesRegistered) CleanupDialogResource();
        resourcesRegistered = false;
        fw::ReleaseGuiApplication();
    } catch (...) {
    }
}

constexpr ResvDialogPlugin kPlugin{
    RESV_DIALOG_ABI_VERSION, Open, SetText, Text, FocusConfirm, Message, End, Run, Close, Release,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const ResvDialogPlugin* ReservationDialogPlugin(
    unsigned abiVersion) {
    if (abiVersion != RESV_DIALOG_ABI_VERSION) return nullptr;
    try {
        if (!resourcesRegistered) InitDialogResource();
        resourcesRegistered = true;
    } catch (...) {
    }
    return &kPlugin;
}
