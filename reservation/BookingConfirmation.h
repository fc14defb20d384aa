// BookingConfirmation: what the confirmation dialog does, whatever toolkit
// draws it (Qt on Linux, the Win32 dialog template 130 on Windows). It holds
// the fifteen bound texts, fills them from the booking table, exchanges them
// with the controls, and runs the confirm action: the import straight from
// the field table, then the removal of the booking file. The toolkit gives it
// five things through the seam below: show a control's text, read back one
// the clerk changed, focus the confirm button, show a message, end the
// dialog. Lives on the user interface thread; never throws out of its
// public functions.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "reservation/BookingText.h"
#include "reservation/FileSearch.h"

namespace resv {

class BookingClaim;
struct ImportOutcome;

class BookingConfirmation {
  public:
    BookingConfirmation(const BookingConfirmation&) = delete;
    BookingConfirmation& operator=(const BookingConfirmation&) = delete;

    // The bound texts, GBK bytes, in member order. Shown, never read by the
    // confirm action.
    std::string m_Created;       // 1062, the line after "建立": always empty
    std::string m_ArrDate;       // 1019, entry 7
    std::string m_Company;       // 1009, entry 3
    std::string m_CompanyPhone;  // 1014, entry 4
    std::string m_CRONum;        // 1060, entry 1
    std::string m_DptDate;       // 1021, entry 8
    std::string m_GuestName;     // 1023, entry 9
    std::string m_GuestPhone;    // 1027, entry 10
    std::string m_Remarks;       // 1049, entry 16
    std::string m_PayMethod;     // 1052, entry 6
    std::string m_Guests;        // 1029, entry 11
    std::string m_Rooms;         // 1025, entry 12
    std::string m_RoomType;      // 1017, entry 5
    std::string m_BookingType;   // 1012, entry 2
    std::string m_Price;         // 1063, entry 15

    // Copies the members into their controls (save false) or the controls'
    // texts into the members (save true), in member order. Cannot fail; text
    // that is shown unchanged keeps its exact bytes on the way back.
    void ExchangeControls(bool save);

    // The confirm action: imports the booking from the table. Committed (or
    // committed before): removes the booking file and ends the dialog as
    // accepted. Any failure is shown to the clerk in a message, the file
    // stays and the dialog stays open; a later confirm starts again from the
    // booking as the file gave it. Never throws.
    void ConfirmBooking();

    // What became of the booking when the dialog ended.
    Handled Result() const { return result_; }

  protected:
    // Keeps a reference to table, which must outlive it; the confirm action
    // rewrites entries 2, 5 and 15 there as the import does. claim is the
    // booking file in hand, borrowed; without one the dialog only shows.
    BookingConfirmation(BookingFields& table, BookingClaim* claim);
    virtual ~BookingConfirmation() = default;

    // Fills members 2..15 from the table, shows them and puts the focus on
    // the confirm button. The toolkit's dialog calls it once its controls
    // exist. Returns true.
    bool FillFromTable();

    // The cancel button, Esc and the close box: the trace line; the toolkit
    // then ends the dialog.
    void TraceCancelled() const;

    // The toolkit seam. Controls are named by their resource IDs.
    virtual void ShowControlText(int control, const std::string& gbk) = 0;
    // The control's text in GBK when it differs from shownGbk, which it was
    // given; nullopt when unchanged (or no such control).
    virtual std::optional<std::string> ChangedControlText(int control,
                                                          const std::string& shownGbk) = 0;
    virtual void FocusConfirmButton() = 0;
    // A modal message over the dialog; text is UTF-8. Must not throw.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void EndDialog(bool accepted) = 0;

    BookingClaim* Claim() const { return claim_; }
    // The booking file's path as the table gave it, for messages.
    const std::string& BookingPath() const { return bookingPath_; }

  private:
    void FinishConfirmed(const ImportOutcome& outcome);

    BookingFields& table_;
    // Entries 2, 5 and 15 as the file gave them; the import rewrites them in
    // the table, and a repeated confirm must map and divide the originals.
    std::array<std::string, 3> fileEntries_;
    std::string bookingPath_;  // entry 17 when filled, for the messages
    BookingClaim* claim_;      // the only file ever removed
    Handled result_ = Handled::Left;
    bool confirming_ = false;
};

}  // namespace resv
