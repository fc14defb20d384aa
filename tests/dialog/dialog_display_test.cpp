// What the clerk sees and can do before confirming: every field shows its
// entry exactly as the file gave it, nothing can be typed, the focus starts
// on confirm and never reaches the rate field. No database is involved.
#include <QClipboard>
#include <map>

#include "tests/dialog/DialogTestSupport.h"

namespace {

using dlgtest::Control;
using dlgtest::Edit;

class DialogDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(dlgtest::App(), nullptr);
        dlgtest::Load(table_, dlgtest::BookingText(fields_), "/nonexistent/drop/booking.txt");
    }

    std::array<std::string, resv::kFileFieldCount> fields_ = dlgtest::SampleFields();
    resv::BookingFields table_;
};

TEST_F(DialogDisplay, FieldsShowTheirEntriesAsTheFileGaveThem) {
    table_[18] = "f18";
    dlgtest::PluginDialog shown(table_);
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();

    const std::map<std::string, int> entryOf{{"1019", 7}, {"1009", 3},  {"1014", 4},  {"1060", 1},
                                             {"1021", 8}, {"1023", 9},  {"1027", 10}, {"1049", 16},
                                             {"1052", 6}, {"1029", 11}, {"1025", 12}, {"1017", 5},
                                             {"1012", 2}, {"1063", 15}};
    for (const auto& [id, entry] : entryOf) {
        EXPECT_EQ(Edit(dialog, id.c_str())->text().toStdString(), fields_[entry])
            << "control " << id;
    }
    // The price of the whole stay, not per night; the room type and booking
    // type as named in the file, not as codes.
    EXPECT_EQ(Edit(dialog, "1063")->text(), "600");
    EXPECT_EQ(Edit(dialog, "1017")->text(), QString::fromUtf8("标准间"));
    EXPECT_TRUE(qobject_cast<QLabel*>(Control(dialog, "1062"))->text().isEmpty());
    EXPECT_TRUE(shown->m_Created.empty());

    for (const QString& text : dlgtest::ShownTexts(dialog)) {
        for (const char* hidden :
             {"f0", "f13", "f14", "f18", "Zedi", "/nonexistent/drop/booking.txt"}) {
            EXPECT_NE(text, hidden);
        }
    }
    // The members hold the GBK bytes themselves.
    EXPECT_EQ(shown->m_GuestName, ts::Gbk("张三"));
    EXPECT_EQ(shown->m_Price, "600");
}

TEST_F(DialogDisplay, LaterChangesOfTheTableAreNotShown) {
    dlgtest::PluginDialog shown(table_);
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    const std::vector<QString> before = dlgtest::ShownTexts(dialog);

    for (std::string& entry : table_) entry = "changed";
    shown->ExchangeControls(false);
    dlgtest::Open(dialog);

    EXPECT_EQ(dlgtest::ShownTexts(dialog), before);
}

TEST_F(DialogDisplay, NoFieldAcceptsTyping) {
    dlgtest::PluginDialog shown(table_);
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    dlgtest::Open(dialog);
    const resv::BookingFields tableBefore = table_;
    QGuiApplication::clipboard()->setText("pasted");

    for (const char* id : dlgtest::EditIds()) {
        QLineEdit* edit = Edit(dialog, id);
        const QString before = edit->text();
        edit->setFocus();
        QTest::keyClicks(edit, "typed");
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit->text(), before) << "control " << id;
    }

    shown->ExchangeControls(true);
    EXPECT_EQ(shown->m_GuestName, ts::Gbk("张三"));
    EXPECT_EQ(shown->m_Remarks, ts::Gbk("无烟房"));
    EXPECT_EQ(table_, tableBefore);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(DialogDisplay, FocusStartsOnConfirmAndTabNeverReachesTheRateField) {
    dlgtest::PluginDialog shown(table_);
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    dlgtest::Open(dialog);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "1");

    // The tab stops in the order of the layout, round to confirm again.
    const std::vector<QString> expected{"2",    "1009", "1012", "1014", "1017",
                                        "1019", "1021", "1023", "1025", "1027",
                                        "1029", "1049", "1052", "1060", "1"};
    std::vector<QString> visited;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(visited, expected);

    QLineEdit* rate = Edit(dialog, "1063");
    rate->setFocus();
    QTest::mouseClick(rate, Qt::LeftButton);
    EXPECT_FALSE(rate->hasFocus());
    EXPECT_FALSE(rate->isEnabled());
}

TEST_F(DialogDisplay, BytesThatAreNotGbkShowAsReplacementCharacters) {
    table_[9] = "A\xFF\x80Z";    // 0xFF is no lead byte, 0x80 no character
    table_[3] = "\xD5\xC5\x81";  // a valid character, then a lead byte cut off
    table_[10].clear();
    dlgtest::PluginDialog shown(table_);
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    dlgtest::Open(dialog);

    const QString name = Edit(dialog, "1023")->text();
    EXPECT_TRUE(name.startsWith('A') && name.endsWith('Z')) << name.toStdString();
    EXPECT_TRUE(name.contains(QChar(0xFFFD)));
    EXPECT_TRUE(Edit(dialog, "1009")->text().startsWith(QString::fromUtf8("张")));
    EXPECT_TRUE(Edit(dialog, "1027")->text().isEmpty());

    // What was shown unchanged keeps its exact bytes on the way back.
    shown->ExchangeControls(true);
    EXPECT_EQ(shown->m_GuestName, table_[9]);
    EXPECT_EQ(shown->m_Company, table_[3]);
}

TEST_F(DialogDisplay, LongRemarkStaysOnOneLineFromItsStart) {
    std::string remark;
    for (int i = 0; i < 40; ++i) remark += "安静房间";
    fields_[16] = remark;
    dlgtest::Load(table_, dlgtest::BookingText(fields_), "/nonexistent/drop/booking.txt");
    dlgtest::PluginDialog shown(table_);
    ASSERT_TRUE(shown.IsOpen());
    QDialog& dialog = shown.Window();
    dlgtest::Open(dialog);

    QLineEdit* remarks = Edit(dialog, "1049");
    ASSERT_NE(remarks, nullptr);  // a line edit: no wrapping
    EXPECT_EQ(remarks->text().toStdString(), remark);
    EXPECT_EQ(remarks->cursorPosition(), 0);
}

TEST_F(DialogDisplay, CancelButtonAndCloseBoxRejectAndChangeNothing) {
    const resv::BookingFields before = table_;
    {
        dlgtest::PluginDialog shown(table_);
        ASSERT_TRUE(shown.IsOpen());
        QDialog& dialog = shown.Window();
        dlgtest::Open(dialog);
        QTest::mouseClick(qobject_cast<QPushButton*>(Control(dialog, "2")), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
    }
    {
        dlgtest::PluginDialog shown(table_);
        ASSERT_TRUE(shown.IsOpen());
        QDialog& dialog = shown.Window();
        dlgtest::Open(dialog);
        dialog.setResult(-1);
        EXPECT_TRUE(dialog.close());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
    EXPECT_EQ(table_, before);
}

}  // namespace
