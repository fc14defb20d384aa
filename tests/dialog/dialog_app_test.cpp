// Where the dialog's QApplication comes from, and that a host without a
// usable display (or without widgets) gets a trace line instead of an abort.
#include <stdlib.h>

#include <QCoreApplication>
#include <QFile>

#include "reservation/reservationDialog.h"
#include "tests/dialog/DialogTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

int g_argc = 1;
char g_arg0[] = "dialog_tests";
char* g_argv[] = {g_arg0, nullptr};

class DialogWithoutDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name :
             {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
            unsetenv(name);
        path_ = drop_.File("booking.txt");
        ts::WriteFile(path_, "0,WS-1");
        dlgtest::Load(resv::BookingFieldTable, ts::ReadFile(path_), path_);
        claimed_ = std::make_unique<dlgtest::Claimed>(drop_.Path(), "booking.txt");
    }

    // Showing must trace one line naming the file, create nothing and leave
    // the file; a Qt abort would end the test process instead.
    void ExpectNotShown() {
        EXPECT_EQ(resv::ShowConfirmDialog(*claimed_->Get()), resv::Handled::Left);
        EXPECT_EQ(trace_.Count(path_), 1u) << trace_.Text();
        EXPECT_EQ(QCoreApplication::instance(), nullptr);
        claimed_->Release();
        EXPECT_TRUE(ts::FileExists(path_));
    }

    ts::TempDir drop_;
    std::string path_;
    std::unique_ptr<dlgtest::Claimed> claimed_;
    ts::TraceCapture trace_;
};

TEST_F(DialogWithoutDisplay, NoPlatformAndNoDisplay) { ExpectNotShown(); }

TEST_F(DialogWithoutDisplay, XServerThatCannotBeReached) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DISPLAY", ":59731", 1);  // no server listens there
    ExpectNotShown();
}

TEST_F(DialogWithoutDisplay, PlatformWithoutPlugin) {
    setenv("QT_QPA_PLATFORM", "nosuchplatform", 1);
    ExpectNotShown();
}

TEST_F(DialogWithoutDisplay, FallbackListWithAUsablePlatformIsADisplay) {
    setenv("QT_QPA_PLATFORM", "nosuchplatform;offscreen", 1);
    EXPECT_TRUE(fw::DisplayAvailable());
    setenv("QT_QPA_PLATFORM", "xcb;nosuchplatform", 1);
    EXPECT_FALSE(fw::DisplayAvailable());
}

TEST_F(DialogWithoutDisplay, HostWithoutWidgets) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QCoreApplication core(g_argc, g_argv);
    resv::ShowConfirmDialog(*claimed_->Get());
    EXPECT_EQ(trace_.Count(path_), 1u) << trace_.Text();
    EXPECT_EQ(QCoreApplication::instance(), &core);
    EXPECT_FALSE(fw::OwnsGuiApplication());
    claimed_->Release();
    EXPECT_TRUE(ts::FileExists(path_));
}

TEST(DialogApplication, HostsApplicationIsUsedAndOutlivesTheModule) {
    QApplication host(g_argc, g_argv);
    fw::GuiUnavailable why = fw::GuiUnavailable::None;
    EXPECT_EQ(fw::AcquireGuiApplication(why), &host);
    EXPECT_FALSE(fw::OwnsGuiApplication());
    resv::RegisterDialogResources();
    resv::WithdrawDialogResources();
    EXPECT_EQ(QCoreApplication::instance(), &host);
}

TEST(DialogApplication, OwnApplicationIsMadeOnceAndGoesWithTheResources) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    resv::RegisterDialogResources();
    EXPECT_TRUE(QFile::exists(":/reservation/reservationDialog.ui"));

    QApplication* first = dlgtest::App();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(fw::OwnsGuiApplication());
    EXPECT_EQ(dlgtest::App(), first);

    resv::WithdrawDialogResources();
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_FALSE(QFile::exists(":/reservation/reservationDialog.ui"));
}

}  // namespace
