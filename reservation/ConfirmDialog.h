// ConfirmDialog: the Qt window in which the clerk sees one booking and
// confirms or cancels it; what it does is BookingConfirmation's, shared with
// the Windows dialog. Every field is read-only; the confirm action reads
// none of them but imports the booking straight from the field table, and
// removes the booking file only after the rows are committed. Cancel (button,
// Esc, close box) writes nothing and leaves the file for a later Search.
// Lives on the user interface thread; one exists at a time.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "reservation/BookingConfirmation.h"
#include "reservation/BookingText.h"
#include "reservation/FileSearch.h"

namespace Ui {
class ConfirmDialog;
}

namespace resv {

class BookingClaim;

class ConfirmDialog : public QDialog, public BookingConfirmation {
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

    // The confirm button and Enter arrive here.
    void accept() override;
    // The cancel button, Esc and the close box.
    void reject() override;

  private:
    void ShowControlText(int control, const std::string& gbk) override;
    std::optional<std::string> ChangedControlText(int control,
                                                  const std::string& shownGbk) override;
    void FocusConfirmButton() override;
    void ShowMessage(const std::string& text) override;
    void EndDialog(bool accepted) override;

    std::unique_ptr<Ui::ConfirmDialog> ui_;
    QTimer refresh_;
};

}  // namespace resv
