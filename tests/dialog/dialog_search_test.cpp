// Search in a dialog mode end to end: one dialog per booking file, strictly
// one after the other; cancel leaves every file for the next Search, which
// offers the same bookings again.
#include <QTimer>
#include <memory>
#include <set>

#include "tests/dialog/DialogTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

class SearchDialogs : public ts::BackendTest {
  protected:
    void SetUp() override {
        ts::BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_NE(dlgtest::App(), nullptr);
        db_ = std::make_unique<ts::HotelDatabase>(GetBackend());
        for (const char* number : {"WS-A", "WS-B"}) {
            auto fields = dlgtest::SampleFields();
            fields[1] = number;
            fields[9] = std::string("客人") + number;
            files_.push_back(drop_.File(std::string(number) + ".txt"));
            ts::WriteFile(files_.back(), dlgtest::BookingText(fields));
        }
    }

    // Runs Search in mode 0 and answers every dialog with key, pressed on
    // the focused control. Returns the booking numbers in the order shown.
    std::vector<QString> SearchAnswering(Qt::Key key) {
        std::vector<QString> shown;
        QTimer clerk;
        QObject::connect(&clerk, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            // The clerk answers once the dialog has the keyboard.
            if (!dialog || !dialog->inherits("resv::ConfirmDialog") || !dialog->isVisible() ||
                !dialog->isActiveWindow())
                return;
            QWidget* focus = QApplication::focusWidget();
            if (!focus) return;
            int open = 0;
            for (QWidget* w : QApplication::topLevelWidgets())
                open += w->inherits("resv::ConfirmDialog") && w->isVisible();
            maxOpen_ = std::max(maxOpen_, open);
            shown.push_back(dlgtest::Edit(*dialog, "1060")->text());
            QTest::keyClick(focus, key);
        });
        clerk.start(0);
        resv::RunSearch((drop_.Path() + "?0!Zedi").c_str());
        return shown;
    }

    std::unique_ptr<ts::HotelDatabase> db_;
    ts::TempDir drop_;
    std::vector<std::string> files_;
    int maxOpen_ = 0;
};

TEST_P(SearchDialogs, CancelKeepsEveryFileAndTheNextSearchOffersThemAgain) {
    const std::vector<QString> cancelled = SearchAnswering(Qt::Key_Escape);
    EXPECT_EQ(std::set<QString>(cancelled.begin(), cancelled.end()),
              (std::set<QString>{"WS-A", "WS-B"}));
    EXPECT_EQ(cancelled.size(), 2u);
    EXPECT_EQ(maxOpen_, 1);
    for (const std::string& file : files_) EXPECT_TRUE(ts::FileExists(file)) << file;
    EXPECT_EQ(db_->Count("Reservation"), 0);

    const std::vector<QString> confirmed = SearchAnswering(Qt::Key_Return);
    EXPECT_EQ(confirmed, cancelled);
    EXPECT_EQ(maxOpen_, 1);
    for (const std::string& file : files_) EXPECT_FALSE(ts::FileExists(file)) << file;
    EXPECT_EQ(db_->Count("Reservation"), 2);
    EXPECT_EQ(db_->Count("GstProfile"), 2);
}

INSTANTIATE_BACKENDS(SearchDialogs);

}  // namespace
