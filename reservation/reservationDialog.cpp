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
#include "recordlayer/CDBException.h"
#include "reservation/BookingClaim.h"
#include "reservation/ConfirmDialog.h"
#include "reservation/ImportBooking.h"
#include "ui_reservationDialog.h"

// Q_INIT_RESOURCE declares the resource's initialiser where it is used, so
// the two calls must stand outside every namespace.
static void InitDialogResource() { Q_INIT_RESOURCE(reservationDialog); }
static void CleanupDialogResource() { Q_CLEANUP_RESOURCE(reservationDialog); }

namespace resv {
namespace {

struct Binding {
    std::string ConfirmDialog::*member;
    const char* control;
};

// Member order: the order of the exchange in both directions.
constexpr std::array<Binding, 15> kBindings{{
    {&ConfirmDialog::m_Created, "1062"},
    {&ConfirmDialog::m_ArrDate, "1019"},
    {&ConfirmDialog::m_Company, "1009"},
    {&ConfirmDialog::m_CompanyPhone, "1014"},
    {&ConfirmDialog::m_CRONum, "1060"},
    {&ConfirmDialog::m_DptDate, "1021"},
    {&ConfirmDialog::m_GuestName, "1023"},
    {&ConfirmDialog::m_GuestPhone, "1027"},
    {&ConfirmDialog::m_Remarks, "1049"},
    {&ConfirmDialog::m_PayMethod, "1052"},
    {&ConfirmDialog::m_Guests, "1029"},
    {&ConfirmDialog::m_Rooms, "1025"},
    {&ConfirmDialog::m_RoomType, "1017"},
    {&ConfirmDialog::m_BookingType, "1012"},
    {&ConfirmDialog::m_Price, "1063"},
}};

// Members 2..15 and the table entries they show; member 1 stays empty.
constexpr std::array<int, 14> kShownEntries{7, 3, 4, 1, 8, 9, 10, 16, 6, 11, 12, 5, 2, 15};

// The entries the import rewrites in place (market, room type, rate).
constexpr std::array<int, 3> kRewrittenEntries{2, 5, 15};

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
    : QDialog(parent), ui_(std::make_unique<Ui::ConfirmDialog>()), table_(table), claim_(claim) {
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
    if (claim_) {
        connect(&refresh_, &QTimer::timeout, this, [this] { claim_->Refresh(); });
        refresh_.start(kClaimRefreshSeconds * 1000);
    }
}

ConfirmDialog::~ConfirmDialog() = default;

bool ConfirmDialog::FillFromTable() {
    for (std::size_t i = 0; i < kShownEntries.size(); ++i) {
        this->*kBindings[i + 1].member = table_[kShownEntries[i]];
    }
    for (std::size_t i = 0; i < kRewrittenEntries.size(); ++i) {
        fileEntries_[i] = table_[kRewrittenEntries[i]];
    }
    bookingPath_ = table_[kEntryPath];
    ExchangeControls(false);
    ui_->IDOK->setFocus(Qt::OtherFocusReason);
    return true;
}

void ConfirmDialog::ExchangeControls(bool save) {
    for (const Binding& binding : kBindings) {
        std::string& member = this->*binding.member;
        QWidget* control = findChild<QWidget*>(binding.control, Qt::FindDirectChildrenOnly);
        auto* edit = qobject_cast<QLineEdit*>(control);
        auto* label = qobject_cast<QLabel*>(control);
        if (!save) {
            if (edit) {
                edit->setText(Display(member));
                // A long text shows its beginning, as a booking is read.
                edit->setCursorPosition(0);
            } else if (label) {
                label->setText(Display(member));
            }
            continue;
        }
        const QString shown = edit ? edit->text() : label ? label->text() : QString();
        // An invalid GBK byte shows as U+FFFD; converting back would lose it.
        if (shown != Display(member)) member = ToGbk(shown);
    }
}

void ConfirmDialog::accept() { ConfirmBooking(); }

void ConfirmDialog::reject() {
    fw::Trace("clerk %s cancelled %s\n", fw::TraceGbk(table_[kEntryClerk]).c_str(),
              bookingPath_.c_str());
    QDialog::reject();
}

void ConfirmDialog::ConfirmBooking() {
    // The message box runs a nested event loop; a confirm queued behind it
    // must not start a second import.
    if (confirming_) return;
    if (!claim_) {
        ShowMessage(QStringLiteral("没有可导入的预订文件"));
        return;
    }
    confirming_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{confirming_};

    for (std::size_t i = 0; i < kRewrittenEntries.size(); ++i) {
        table_[kRewrittenEntries[i]] = fileEntries_[i];
    }

    const char* path = bookingPath_.c_str();
    fw::Trace("clerk %s confirmed %s\n", fw::TraceGbk(table_[kEntryClerk]).c_str(), path);
    try {
        bool reported = false;
        ImportOptions options;
        options.checkEarlierImport = claim_->TakenUp();
        options.stillClaimed = [this] { return claim_->Refresh(); };
        options.onSpanError = [this, &reported](const rl::CDBException& e) {
            reported = true;
            ShowMessage(Display(e.DriverMessage()));
        };
        const ImportOutcome outcome = RunImportTransaction(table_, options);
        switch (outcome.status) {
            case ImportOutcome::Imported:
                FinishConfirmed(outcome);
                return;
            case ImportOutcome::AlreadyImported:
                ShowMessage(QStringLiteral("此预订已导入过，客人帐号 %1。").arg(outcome.account));
                FinishConfirmed(outcome);
                return;
            case ImportOutcome::DatabaseError:
                fw::Trace(fw::Priority::Error, "can't import %s: %s\n", path,
                          fw::TraceGbk(outcome.message).c_str());
                if (!reported) ShowMessage(Display(outcome.message));
                return;
            case ImportOutcome::Refused:
                fw::Trace(fw::Priority::Error, "can't import %s: %s\n", path,
                          fw::TraceGbk(outcome.message).c_str());
                result_ = Handled::Refused;
                ShowMessage(Display(outcome.message));
                return;
            case ImportOutcome::ClaimLost:
                fw::Trace(fw::Priority::Warning,
                          "can't import %s: another host took the booking over\n", path);
                ShowMessage(QStringLiteral("另一台电脑已接手此预订。"));
                result_ = Handled::Busy;
                QDialog::reject();
                return;
        }
    } catch (const rl::CDBException& e) {
        fw::Trace(fw::Priority::Error, "can't import %s: %s\n", path,
                  fw::TraceGbk(e.DriverMessage()).c_str());
        ShowMessage(Display(e.DriverMessage()));
    } catch (const std::exception& e) {
        fw::Trace(fw::Priority::Error, "can't import %s: %s\n", path,
                  fw::TraceGbk(e.what()).c_str());
        ShowMessage(Display(e.what()));
    } catch (...) {
        fw::Trace(fw::Priority::Error, "can't import %s: unknown error\n", path);
        ShowMessage(QStringLiteral("未知错误"));
    }
    result_ = Handled::Failed;
}

void ConfirmDialog::FinishConfirmed(const ImportOutcome& outcome) {
    result_ =
        outcome.status == ImportOutcome::Imported ? Handled::Imported : Handled::AlreadyImported;
    if (!CompleteImport(*claim_, outcome)) {
        // The rows are committed: closing keeps a second confirm from
        // importing the booking again, and the clerk learns that the file is
        // still there.
        ShowMessage(
            QStringLiteral("预订已导入，但预订文件无法删除:\n%1").arg(Display(bookingPath_)));
    }
    ExchangeControls(true);
    QDialog::accept();
}

void ConfirmDialog::ShowMessage(const QString& text) {
    try {
        QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
        box.exec();
        // Back to the booking with the keyboard, also where no window
        // manager hands activation back to the owner of a closed box.
        if (isVisible()) activateWindow();
    } catch (...) {
        fw::Trace(fw::Priority::Warning, "can't show a message for booking %s\n",
                  bookingPath_.c_str());
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
