// The confirmation dialog's window.
//
// The form keeps the geometry of the original dialog template, drawn in
// dialog units for the 10-point "System" font. That font's base units are
// 8 x 16 pixels at 96 DPI, and a dialog unit is a quarter of the base width
// and an eighth of the base height, so one unit is 2 pixels on both axes. The
// form stores the result (units times 2) so that the clerk sees the layout in
// the proportions it was drawn in.
#include "reservation/ConfirmDialog.h"

#include <QFont>
#include <QMessageBox>
#include <QPushButton>

#include "ui_reservationDialog.h"

namespace resv {

ConfirmDialog::ConfirmDialog(const ResvDialogCalls& calls, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ConfirmDialog>()), calls_(calls) {
    ui_->setupUi(this);

    // No "System" face exists here; the CJK faces that follow it keep the
    // Chinese captions and booking texts readable.
    QFont face = font();
    face.setFamilies({"System", "WenQuanYi Zen Hei", "Noto Sans CJK SC", "Noto Sans SC",
                      "AR PL UMing CN", "Droid Sans Fallback"});
    face.setPointSize(10);
    setFont(face);

    // A title bar with system menu and minimize box, no resizing. The close
    // box belongs to the system menu and cancels.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(size());

    // uic needs identifiers; the module and tests find controls by their
    // numeric IDs.
    ui_->IDOK->setObjectName("1");
    ui_->IDCANCEL->setObjectName("2");
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->objectName().startsWith("IDC_"))
            child->setObjectName(child->objectName().mid(4));
    }

    // A clerk may leave the booking open for an hour: the claim must not look
    // abandoned to another machine meanwhile.
    if (calls_.refresh && calls_.refreshSeconds > 0) {
        connect(&refresh_, &QTimer::timeout, this, [this] { calls_.refresh(calls_.context); });
        refresh_.start(static_cast<int>(calls_.refreshSeconds) * 1000);
    }
}

ConfirmDialog::~ConfirmDialog() = default;

QWidget* ConfirmDialog::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void ConfirmDialog::FocusConfirmButton() { ui_->IDOK->setFocus(Qt::OtherFocusReason); }

bool ConfirmDialog::ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box.exec();
    // Back to the booking with the keyboard, also where no window manager
    // hands activation back to the owner of a closed box.
    if (isVisible()) activateWindow();
    return true;
}

void ConfirmDialog::End(bool accepted) {
    if (accepted)
        QDialog::accept();
    else
        QDialog::reject();
}

void ConfirmDialog::accept() { calls_.confirm(calls_.context); }

void ConfirmDialog::reject() { calls_.cancel(calls_.context); }

}  // namespace resv
