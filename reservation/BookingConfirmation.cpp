#include "reservation/BookingConfirmation.h"

#include <exception>

#include "framework/gbktext.h"
#include "framework/trace.h"
#include "recordlayer/CDBException.h"
#include "reservation/BookingClaim.h"
#include "reservation/ImportBooking.h"

namespace resv {
namespace {

struct Binding {
    std::string BookingConfirmation::*member;
    int control;
};

// Member order: the order of the exchange in both directions.
constexpr std::array<Binding, 15> kBindings{{
    {&BookingConfirmation::m_Created, 1062},
    {&BookingConfirmation::m_ArrDate, 1019},
    {&BookingConfirmation::m_Company, 1009},
    {&BookingConfirmation::m_CompanyPhone, 1014},
    {&BookingConfirmation::m_CRONum, 1060},
    {&BookingConfirmation::m_DptDate, 1021},
    {&BookingConfirmation::m_GuestName, 1023},
    {&BookingConfirmation::m_GuestPhone, 1027},
    {&BookingConfirmation::m_Remarks, 1049},
    {&BookingConfirmation::m_PayMethod, 1052},
    {&BookingConfirmation::m_Guests, 1029},
    {&BookingConfirmation::m_Rooms, 1025},
    {&BookingConfirmation::m_RoomType, 1017},
    {&BookingConfirmation::m_BookingType, 1012},
    {&BookingConfirmation::m_Price, 1063},
}};

// Members 2..15 and the table entries they show; member 1 stays empty.
constexpr std::array<int, 14> kShownEntries{7, 3, 4, 1, 8, 9, 10, 16, 6, 11, 12, 5, 2, 15};

// The entries the import rewrites in place (market, room type, rate).
constexpr std::array<int, 3> kRewrittenEntries{2, 5, 15};

}  // namespace

BookingConfirmation::BookingConfirmation(BookingFields& table, BookingClaim* claim)
    : table_(table), claim_(claim) {}

bool BookingConfirmation::FillFromTable() {
    for (std::size_t i = 0; i < kShownEntries.size(); ++i) {
        this->*kBindings[i + 1].member = table_[kShownEntries[i]];
    }
    for (std::size_t i = 0; i < kRewrittenEntries.size(); ++i) {
        fileEntries_[i] = table_[kRewrittenEntries[i]];
    }
    bookingPath_ = table_[kEntryPath];
    ExchangeControls(false);
    FocusConfirmButton();
    return true;
}

void BookingConfirmation::ExchangeControls(bool save) {
    for (const Binding& binding : kBindings) {
        std::string& member = this->*binding.member;
        if (!save) {
            ShowControlText(binding.control, member);
        } else if (std::optional<std::string> changed =
                       ChangedControlText(binding.control, member)) {
            member = std::move(*changed);
        }
    }
}

void BookingConfirmation::TraceCancelled() const {
    fw::Trace("clerk %s cancelled %s\n", fw::TraceGbk(table_[kEntryClerk]).c_str(),
              bookingPath_.c_str());
}

void BookingConfirmation::ConfirmBooking() {
    // The message box runs a nested event loop; a confirm queued behind it
    // must not start a second import.
    if (confirming_) return;
    if (!claim_) {
        ShowMessage("没有可导入的预订文件");
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
        ImportOptions options = ImportOptionsFor(*claim_);
        options.onSpanError = [this, &reported](const rl::CDBException& e) {
            reported = true;
            ShowMessage(fw::gbk::ToUtf8(e.DriverMessage()));
        };
        const ImportOutcome outcome = RunImportTransaction(table_, options);
        switch (outcome.status) {
            case ImportOutcome::Imported:
                FinishConfirmed(outcome);
                return;
            case ImportOutcome::AlreadyImported:
                ShowMessage("此预订已导入过，客人帐号 " + std::to_string(outcome.account) + "。");
                FinishConfirmed(outcome);
                return;
            case ImportOutcome::DatabaseError:
                KeepDoubt(*claim_, outcome);
                fw::Trace(fw::Priority::Error, "can't import %s: %s\n", path,
                          fw::TraceGbk(outcome.message).c_str());
                if (!reported) ShowMessage(fw::gbk::ToUtf8(outcome.message));
                return;
            case ImportOutcome::Refused:
                fw::Trace(fw::Priority::Error, "can't import %s: %s\n", path,
                          fw::TraceGbk(outcome.message).c_str());
                result_ = Handled::Refused;
                ShowMessage(fw::gbk::ToUtf8(outcome.message));
                return;
            case ImportOutcome::ClaimLost:
                fw::Trace(fw::Priority::Warning,
                          "can't import %s: another host took the booking over\n", path);
                ShowMessage("另一台电脑已接手此预订。");
                result_ = Handled::Busy;
                EndDialog(false);
                return;
        }
    } catch (const rl::CDBException& e) {
        fw::Trace(fw::Priority::Error, "can't import %s: %s\n", path,
                  fw::TraceGbk(e.DriverMessage()).c_str());
        ShowMessage(fw::gbk::ToUtf8(e.DriverMessage()));
    } catch (const std::exception& e) {
        fw::Trace(fw::Priority::Error, "can't import %s: %s\n", path,
                  fw::TraceGbk(e.what()).c_str());
        ShowMessage(fw::gbk::ToUtf8(e.what()));
    } catch (...) {
        fw::Trace(fw::Priority::Error, "can't import %s: unknown error\n", path);
        ShowMessage("未知错误");
    }
    result_ = Handled::Failed;
}

void BookingConfirmation::FinishConfirmed(const ImportOutcome& outcome) {
    result_ =
        outcome.status == ImportOutcome::Imported ? Handled::Imported : Handled::AlreadyImported;
    if (!CompleteImport(*claim_, outcome)) {
        // The rows are committed: closing keeps a second confirm from
        // importing the booking again, and the clerk learns that the file is
        // still there.
        ShowMessage("预订已导入，但预订文件无法删除:\n" + fw::gbk::ToUtf8(bookingPath_));
    }
    ExchangeControls(true);
    EndDialog(true);
}

}  // namespace resv
