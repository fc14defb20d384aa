// The confirm action against a real hotel database on each backend: what is
// written, which file is removed, and that every failure leaves the booking
// file, the dialog and the database as they were.
#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "framework/processtag.h"
#include "reservation/ImportBooking.h"
#include "tests/dialog/DialogTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using dlgtest::Control;
using dlgtest::Edit;

class DialogConfirm : public ts::BackendTest {
  protected:
    void SetUp() override {
        ts::BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_NE(dlgtest::App(), nullptr);
        db_ = std::make_unique<ts::HotelDatabase>(GetBackend());
        path_ = drop_.File("booking.txt");
        WriteBooking(dlgtest::SampleFields());
    }

    template <typename Fields>
    void WriteBooking(const Fields& fields) {
        claimed_.reset();
        ts::WriteFile(path_, dlgtest::BookingText(fields));
        dlgtest::Load(table_, ts::ReadFile(path_), path_);
        claimed_ = std::make_unique<dlgtest::Claimed>(drop_.Path(), "booking.txt");
    }

    // Ends the claim; true when the booking file is back in the drop
    // directory, false when the confirm removed it.
    bool FileBack() {
        claimed_->Release();
        return ts::FileExists(path_);
    }

    long Rows() {
        return db_->Count("GstProfile") + db_->Count("Reservation") + db_->Count("FOLIO");
    }

    void PressOnFocus(Qt::Key key) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_EQ(focus->objectName(), "1");
        QTest::keyClick(focus, key);
    }

    // The reservation row of the booking was written with the nightly rate
    // and the codes the file's names map to.
    void ExpectImportedOnce() {
        EXPECT_EQ(db_->Count("GstProfile"), 1);
        EXPECT_EQ(db_->Count("FOLIO"), 1);
        ASSERT_EQ(db_->Count("Reservation"), 1);
        EXPECT_EQ(db_->Scalar("select RmRate from Reservation"), "300");
        EXPECT_EQ(db_->Scalar("select FolioRate from Reservation"), "300");
        EXPECT_EQ(db_->Scalar("select RmType from Reservation"), "STD");
        EXPECT_EQ(db_->Scalar("select MarketCode from Reservation"), "NET");
        EXPECT_EQ(db_->Scalar("select Paymethod from Reservation"), "CASH");
        EXPECT_EQ(db_->Scalar("select GstAcct from Reservation"),
                  db_->Scalar("select Acct from GstProfile"));
    }

    std::unique_ptr<ts::HotelDatabase> db_;
    ts::TempDir drop_;
    std::string path_;
    resv::BookingFields table_;
    std::unique_ptr<dlgtest::Claimed> claimed_;
    ts::TraceCapture trace_;
};

TEST_P(DialogConfirm, EnterImportsWithTheNightlyRateRemovesTheFileAndAccepts) {
    resv::ImportedGuestAccount = -7;
    dlgtest::PluginDialog shown(table_, claimed_->Get());
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    dlgtest::Open(dialog);
    dlgtest::MessageBoxCloser boxes;

    PressOnFocus(Qt::Key_Return);

    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(FileBack());
    ExpectImportedOnce();
    // The table carries the converted entries; the field never showed them.
    EXPECT_EQ(table_[15], "300");
    EXPECT_EQ(Edit(dialog, "1063")->text(), "600");
    EXPECT_EQ(shown->m_Price, "600");
    EXPECT_EQ(resv::ImportedGuestAccount, -7);
}

TEST_P(DialogConfirm, EscapeCancelsWithNothingWrittenAndTheFileKept) {
    const resv::BookingFields before = table_;
    dlgtest::PluginDialog shown(table_, claimed_->Get());
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    dlgtest::Open(dialog);

    PressOnFocus(Qt::Key_Escape);

    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(FileBack());
    EXPECT_EQ(Rows(), 0);
    EXPECT_EQ(table_, before);
}

TEST_P(DialogConfirm, DatabaseFailureShowsOneMessageAndASecondConfirmImportsTheOriginal) {
    db_->FailInsertsInto("Reservation");
    dlgtest::PluginDialog shown(table_, claimed_->Get());
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    dlgtest::Open(dialog);
    const std::vector<QString> texts = dlgtest::ShownTexts(dialog);

    {
        dlgtest::MessageBoxCloser boxes;
        PressOnFocus(Qt::Key_Return);
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_TRUE(boxes.Boxes()[0].text.contains(ts::kInjectedFailure))
            << boxes.Boxes()[0].text.toStdString();
        EXPECT_EQ(boxes.Boxes()[0].buttons, 1);
    }
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(claimed_->Get()->Refresh());  // still in hand
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dlgtest::ShownTexts(dialog), texts);
    // Back to the dialog once the message box is gone, focus on confirm.
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "1");

    // Again from the booking as the file gave it: the rate divided once, the
    // room type and the market mapped again.
    db_->RemoveInsertFailure("Reservation");
    dlgtest::MessageBoxCloser boxes;
    PressOnFocus(Qt::Key_Return);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(FileBack());
    ExpectImportedOnce();
}

TEST_P(DialogConfirm, FailureBeforeTheTransactionIsShownAndTracedAndTheDialogStays) {
    db_->Execute("drop table Payment");
    dlgtest::PluginDialog shown(table_, claimed_->Get());
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    dlgtest::Open(dialog);
    dlgtest::MessageBoxCloser boxes;

    PressOnFocus(Qt::Key_Return);

    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(trace_.Count("can't import " + path_), 1u) << trace_.Text();
    EXPECT_EQ(trace_.Count("clerk Zedi confirmed " + path_), 1u) << trace_.Text();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(FileBack());
    EXPECT_EQ(db_->Count("GstProfile") + db_->Count("Reservation"), 0);
}

TEST_P(DialogConfirm, RemovesExactlyTheShownFileWhateverTheFieldsName) {
    const std::string other = drop_.File("other.txt");
    ts::WriteFile(other, "0,other");
    const auto sample = dlgtest::SampleFields();
    std::vector<std::string> fields(sample.begin(), sample.end());
    // Fields past the seventeenth naming another file must not matter.
    fields.push_back(other);
    fields.push_back(other);
    fields.push_back(other);
    WriteBooking(fields);
    ASSERT_EQ(table_[resv::kEntryPath], path_);

    dlgtest::PluginDialog shown(table_, claimed_->Get());
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    dlgtest::Open(dialog);
    dlgtest::MessageBoxCloser boxes;
    PressOnFocus(Qt::Key_Return);

    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(FileBack());
    EXPECT_TRUE(ts::FileExists(other));
    ExpectImportedOnce();
}

TEST_P(DialogConfirm, ABookingAnotherHostTookOverIsNotCommitted) {
    dlgtest::PluginDialog shown(table_, claimed_->Get());
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    dlgtest::Open(dialog);
    dlgtest::MessageBoxCloser boxes;
    // Another machine took the claim up while the dialog stood open.
    const std::string claimedFile =
        drop_.Path() + "/.claims/" + fw::ThisProcessTag() + "/booking.txt";
    const std::string elsewhere = drop_.File("taken-over");
    ASSERT_EQ(rename(claimedFile.c_str(), elsewhere.c_str()), 0);

    PressOnFocus(Qt::Key_Return);

    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(shown->Result(), resv::Handled::Busy);
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(ts::FileExists(elsewhere));
}

INSTANTIATE_BACKENDS(DialogConfirm);

}  // namespace
