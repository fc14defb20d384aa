// The confirmation dialog (ConfirmDialog) and the entry points the module
// uses to show it and to register its resources.
//
// The form keeps the geometry of the original dialog template, drawn in
// dialog units for the 10-point "System" font. That font's base units are
// 8 x 16 pixels at 96 DPI, and a dialog unit is a quarter of the base width
// and an eighth of the base height, so one unit is 2 pixels on both axes. The
// form stores the result (units times 2) so that the clerk sees the layout in
// the proportions it was drawn in.
#include "reservation/reservationDialog.h"

#include <iconv.h>

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <cerrno>
#include <exception>

#include "framework/gbktext.h"
#include "framework/qtapp.h"
#include "framework/trace.h"
#include "reservation/BookingClaim.h"
#include "reservation/ConfirmDialog.h"
#include "ui_reservationDialog.h"

// Q_INIT_RESOURCE declares the resource's initialiser where it is used, so
// the two calls must stand outside every namespace.
static void InitDialogResource() { Q_INIT_RESOURCE(reservationDialog); }
static void CleanupDialogResource() { Q_CLEANUP_RESOURCE(reservationDialog); }

namespace resv {
namespace {

QString Display(const std::string& gbk) { return QString::fromStdString(fw::gbk::ToUtf8(gbk)); }

// Text that no GBK character stands for becomes "?". Only reached when a
// control's text differs from what was put there, which the read-only fields
// do not allow; kept so that the save direction is total.
std::string ToGbk(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return utf8.toStdString();
    std::string out(static_cast<std::size_t>(utf8.size()) * 2 + 4, '\0');
    char* in = const_cast<char*>(utf8.constData());
    std::size_t inLeft = static_cast<std::size_t>(utf8.size());
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) break;
        if (errno != EILSEQ || dstLeft == 0) break;
        *dst++ = '?';
        --dstLeft;
        // Step over the whole UTF-8 sequence of the character that has no
        // GBK form.
        do {
            ++in;
            --inLeft;
        } while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80);
    }
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace

ConfirmDialog::ConfirmDialog(BookingFields& table, BookingClaim* claim, QWidget* parent)
    : QDialog(parent),
      BookingConfirmation(table, claim),
      ui_(std::make_unique<Ui::ConfirmDialog>()) {
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

    // uic needs identifiers; tests and the exchange find controls by their
    // numeric IDs.
    ui_->IDOK->setObjectName("1");
    ui_->IDCANCEL->setObjectName("2");
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->objectName().startsWith("IDC_"))
            child->setObjectName(child->objectName().mid(4));
    }

    FillFromTable();

    // A clerk may leave the booking open for an hour: the claim must not look
    // abandoned to another machine meanwhile.
    if (Claim()) {
        connect(&refresh_, &QTimer::timeout, this, [this] { Claim()->Refresh(); });
        refresh_.start(kClaimRefreshSeconds * 1000);
    }
}

ConfirmDialog::~ConfirmDialog() = default;

void ConfirmDialog::ShowControlText(int control, const std::string& gbk) {
    QWidget* widget = findChild<QWidget*>(QString::number(control), Qt::FindDirectChildrenOnly);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(Display(gbk));
        // A long text shows its beginning, as a booking is read.
        edit->setCursorPosition(0);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(Display(gbk));
    }
}

std::optional<std::string> ConfirmDialog::ChangedControlText(int control,
                                                             const std::string& shownGbk) {
    QWidget* widget = findChild<QWidget*>(QString::number(control), Qt::FindDirectChildrenOnly);
    auto* edit = qobject_cast<QLineEdit*>(widget);
    auto* label = qobject_cast<QLabel*>(widget);
    const QString shown = edit ? edit->text() : label ? label->text() : QString();
    // An invalid GBK byte shows as U+FFFD; converting back would lose it.
    if (shown == Display(shownGbk)) return std::nullopt;
    return ToGbk(shown);
}

void ConfirmDialog::FocusConfirmButton() { ui_->IDOK->setFocus(Qt::OtherFocusReason); }

void ConfirmDialog::EndDialog(bool accepted) {
    if (accepted)
        QDialog::accept();
    else
        QDialog::reject();
}

void ConfirmDialog::accept() { ConfirmBooking(); }

void ConfirmDialog::reject() {
    TraceCancelled();
    QDialog::reject();
}

void ConfirmDialog::ShowMessage(const std::string& text) {
    try {
        QMessageBox box(QMessageBox::Warning, windowTitle(), QString::fromStdString(text),
                        QMessageBox::Ok, this);
        box.exec();
        // Back to the booking with the keyboard, also where no window
        // manager hands activation back to the owner of a closed box.
        if (isVisible()) activateWindow();
    } catch (...) {
        fw::Trace(fw::Priority::Warning, "can't show a message for booking %s\n",
                  BookingPath().c_str());
    }
}

Handled ShowConfirmDialog(BookingClaim& claim) {
    const std::string path = claim.Path();
    try {
        fw::GuiUnavailable why = fw::GuiUnavailable::None;
        if (!fw::AcquireGuiApplication(why)) {
            fw::Trace("booking %s not shown for confirmation: %s\n", path.c_str(),
                      fw::Describe(why));
            return Handled::Left;
        }
        ConfirmDialog dialog(BookingFieldTable, &claim);
        dialog.exec();
        return dialog.Result();
    } catch (const std::exception& e) {
        fw::Trace("booking %s not shown for confirmation: %s\n", path.c_str(), e.what());
    } catch (...) {
        fw::Trace("booking %s not shown for confirmation: unknown error\n", path.c_str());
    }
    return Handled::Left;
}

void RegisterDialogResources() { InitDialogResource(); }

void WithdrawDialogResources() {
    CleanupDialogResource();
    fw::ReleaseGuiApplication();
}

}  // namespace resv
