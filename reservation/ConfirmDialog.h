// ConfirmDialog: the modal window in which the clerk sees one booking and
// confirms or cancels it. Every field is read-only; the confirm action reads
// none of them but imports the booking straight from the field table, and
// removes the booking file only after the rows are committed. Cancel (button,
// Esc, close box) writes nothing and leaves the file for a later Search.
// Lives on the user interface thread; one exists at a time.
#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <memory>
#include <string>

#include "reservation/BookingText.h"
#include "reservation/FileSearch.h"

namespace Ui {
class ConfirmDialog;
}

namespace resv {

class BookingClaim;
struct ImportOutcome;

class ConfirmDialog : public QDialog {
    Q_OBJECT

  public:
    // Builds the form and fills the fields from table (copies: later changes
    // of the table do not change what is shown). The dialog keeps a reference
    // to table, which must outlive it; the confirm action rewrites entries 2,
    // 5 and 15 there as the import does. claim is the booking file in hand,
    // borrowed: kept fresh while the dialog is open and removed after a
    // confirmed import. Without one the dialog only shows.
    explicit ConfirmDialog(BookingFields& table = BookingFieldTable, BookingClaim* claim = nullptr,
                           QWidget* parent = nullptr);
    ~ConfirmDialog() override;

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
    // committed before): removes the booking file and ends the dialog with
    // Accepted. Any failure is shown to the clerk in a message box, the file
    // stays and the dialog stays open; a later confirm starts again from the
    // booking as the file gave it. Never throws.
    void ConfirmBooking();

    // The confirm button and Enter arrive here.
    void accept() override;
    // The cancel button, Esc and the close box.
    void reject() override;

    // What became of the booking when the dialog ended.
    Handled Result() const { return result_; }

  protected:
    // Fills members 2..15 from the table, shows them and puts the focus on
    // the confirm button. Runs once, from the constructor. Returns true.
    bool FillFromTable();

  private:
    void ShowMessage(const QString& text);
    void FinishConfirmed(const ImportOutcome& outcome);

    std::unique_ptr<Ui::ConfirmDialog> ui_;
    BookingFields& table_;
    // Entries 2, 5 and 15 as the file gave them; the import rewrites them in
    // the table, and a repeated confirm must map and divide the originals.
    std::array<std::string, 3> fileEntries_;
    std::string bookingPath_;  // entry 17 when filled, for the messages
    BookingClaim* claim_;      // the only file ever removed
    QTimer refresh_;
    Handled result_ = Handled::Left;
    bool confirming_ = false;
};

}  // namespace resv
