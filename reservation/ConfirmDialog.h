// ConfirmDialog: the Qt window in which the clerk sees one booking and
// confirms or cancels it; the view of the dialog plugin (reservation-dialog.so).
// It decides nothing: every field is read-only, and the clerk's decisions go
// to the module through ResvDialogCalls (confirm: button, Enter; cancel:
// button, Esc, close box), which ends the window with End. While it is open it
// asks the module every refreshSeconds to keep the booking's claim fresh.
// Lives on the user interface thread.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

#include "reservation/DialogPlugin.h"

namespace Ui {
class ConfirmDialog;
}

namespace resv {

class ConfirmDialog : public QDialog {
    Q_OBJECT

  public:
    // Builds the form, hidden, every field empty. calls is copied; its
    // context must outlive the window.
    explicit ConfirmDialog(const ResvDialogCalls& calls, QWidget* parent = nullptr);
    ~ConfirmDialog() override;

    // The control with that resource ID (a line edit or a label), or nullptr.
    QWidget* Control(int id) const;
    void FocusConfirmButton();
    // A modal warning over the window; false when it could not be shown.
    bool ShowMessage(const QString& text);
    // Closes the window with the module's verdict.
    void End(bool accepted);

    // The confirm button and Enter: the module's confirm.
    void accept() override;
    // The cancel button, Esc and the close box: the module's cancel.
    void reject() override;

  private:
    std::unique_ptr<Ui::ConfirmDialog> ui_;
    ResvDialogCalls calls_;
    QTimer refresh_;
};

}  // namespace resv
