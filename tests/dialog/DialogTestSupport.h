// What the dialog tests share: the application they run on, a sample booking,
// the dialog opened through the plugin as the module opens it, access to its
// controls by ID, and a closer for the message boxes the confirm action opens
// (their modal loops would otherwise never end).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "framework/directory.h"
#include "framework/exclusivefile.h"
#include "framework/gbktext.h"
#include "framework/qtapp.h"
#include "reservation/BookingClaim.h"
#include "reservation/FileSearch.h"
#include "reservation/PluginConfirmation.h"
#include "tests/support/Encoding.h"

namespace dlgtest {

// The application through the module's own bootstrap, as in the host.
inline QApplication* App() {
    fw::GuiUnavailable why = fw::GuiUnavailable::None;
    QApplication* app = fw::AcquireGuiApplication(why);
    EXPECT_NE(app, nullptr) << fw::Describe(why);
    return app;
}

// The seventeen fields of a booking file, in UTF-8: two nights for 600,
// booking type and payment named as the seed rows of Market and Payment.
inline std::array<std::string, resv::kFileFieldCount> SampleFields() {
    return {"f0",   "WS-0042",    "网络预订",   "云旅网络", "0571-88886666", "标准间",
            "现金", "2024-03-17", "2024-03-19", "张三",     "13912345678",   "2",
            "1",    "f13",        "f14",        "600",      "无烟房"};
}

// The booking text of fields (UTF-8) as GBK, comma-separated.
template <typename Fields>
std::string BookingText(const Fields& fields) {
    std::string text;
    for (const std::string& f : fields) {
        if (!text.empty()) text += ',';
        text += ts::Gbk(f);
    }
    return text;
}

// Splits text into table as Search does and stores path and clerk.
inline void Load(resv::BookingFields& table, const std::string& gbkText, const std::string& path) {
    table = {};
    resv::SplitBooking(gbkText, table);
    table[resv::kEntryPath] = path;
    table[resv::kEntryClerk] = "Zedi";
}

// A booking file claimed the way the scan claims it, for a dialog to confirm.
// Release() ends the claim: the file is back under its name unless the
// confirm removed it.
class Claimed {
  public:
    Claimed(const std::string& dropDir, const std::string& name) {
        fw::FileError error = fw::FileError::None;
        drop_ = fw::Directory::Open(dropDir, error);
        std::string problem;
        area_ = resv::ClaimArea::Prepare(drop_, dropDir, problem);
        EXPECT_NE(area_, nullptr) << problem;
        if (!area_) return;
        fw::ExclusiveFile file = fw::ExclusiveFile::Open(drop_, name, error);
        EXPECT_EQ(resv::BookingClaim::Claim(*area_, name, std::move(file), claim_),
                  fw::FileError::None);
    }
    ~Claimed() { Release(); }
    Claimed(const Claimed&) = delete;
    Claimed& operator=(const Claimed&) = delete;

    resv::BookingClaim* Get() { return claim_.get(); }
    void Release() {
        claim_.reset();
        area_.reset();
    }

  private:
    fw::Directory drop_;
    std::unique_ptr<resv::ClaimArea> area_;
    std::unique_ptr<resv::BookingClaim> claim_;
};

// The window of the dialog plugin that is open now (one at a time).
inline QDialog* PluginWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("resv::ConfirmDialog")) return qobject_cast<QDialog*>(w);
    return nullptr;
}

// The dialog as the module opens it: the plugin loaded from beside the test
// program, its window filled from table and not yet shown. Use Window() like
// the dialog and -> for what the module's side holds.
class PluginDialog {
  public:
    explicit PluginDialog(resv::BookingFields& table, resv::BookingClaim* claim = nullptr) {
        std::string why;
        const ResvDialogPlugin* plugin = resv::LoadDialogPlugin(why);
        EXPECT_NE(plugin, nullptr) << why;
        if (!plugin) return;
        confirmation_ = std::make_unique<resv::PluginConfirmation>(*plugin, table, claim);
        EXPECT_TRUE(confirmation_->Open(why)) << why;
        window_ = PluginWindow();
        EXPECT_NE(window_, nullptr);
    }

    bool IsOpen() const { return window_ != nullptr; }
    QDialog& Window() { return *window_; }
    resv::PluginConfirmation* operator->() { return confirmation_.get(); }

  private:
    std::unique_ptr<resv::PluginConfirmation> confirmation_;
    QDialog* window_ = nullptr;
};

inline QWidget* Control(QWidget& dialog, const char* id) {
    QWidget* w = dialog.findChild<QWidget*>(id, Qt::FindDirectChildrenOnly);
    EXPECT_NE(w, nullptr) << "no control " << id;
    return w;
}

inline QLineEdit* Edit(QWidget& dialog, const char* id) {
    return qobject_cast<QLineEdit*>(Control(dialog, id));
}

// Control IDs of the fourteen fields.
inline const std::array<const char*, 14>& EditIds() {
    static const std::array<const char*, 14> ids{"1009", "1012", "1014", "1017", "1019",
                                                 "1021", "1023", "1025", "1027", "1029",
                                                 "1049", "1052", "1060", "1063"};
    return ids;
}

// The texts of every control that has an ID, to compare before and after.
inline std::vector<QString> ShownTexts(QWidget& dialog) {
    std::vector<QString> texts;
    for (const char* id : EditIds()) texts.push_back(Edit(dialog, id)->text());
    texts.push_back(qobject_cast<QLabel*>(Control(dialog, "1062"))->text());
    return texts;
}

// Shows the dialog and waits until it is the active window (the offscreen
// platform activates on show).
inline void Open(QWidget& dialog) {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
}

// While it lives, every message box that becomes the active modal widget is
// recorded and closed with its OK button. The timer only fires inside the
// box's own modal loop, so nothing waits.
class MessageBoxCloser {
  public:
    struct Seen {
        QString text;
        int buttons;
    };

    MessageBoxCloser() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            seen_.push_back({box->text(), static_cast<int>(box->buttons().size())});
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
        timer_.start(0);
    }

    const std::vector<Seen>& Boxes() const { return seen_; }
    std::size_t Count() const { return seen_.size(); }

  private:
    QTimer timer_;
    std::vector<Seen> seen_;
};

}  // namespace dlgtest
