// snapshot-dialog: shows the confirmation dialog with a sample booking on the
// display Qt finds and saves what it draws to a PNG, for a person to look at.
// Usage: snapshot-dialog [out.png] (default dialog.png). Prints the path.
#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QTest>
#include <cstdio>
#include <exception>
#include <string>

#include "framework/qtapp.h"
#include "reservation/FileSearch.h"
#include "reservation/PluginConfirmation.h"
#include "reservation/reservationDialog.h"
#include "tests/support/Encoding.h"

namespace {

void FillSample(resv::BookingFields& table) {
    const char* fields[] = {"0",
                            "WS20240317-0042",
                            "散客",
                            "云旅网络科技有限公司",
                            "0571-88886666",
                            "标准间",
                            "前台现付",
                            "2024-03-17",
                            "2024-03-20",
                            "张三丰",
                            "13912345678",
                            "2",
                            "1",
                            "",
                            "",
                            "1000",
                            "需要无烟房，预计晚上十点后到店；如有可能请安排高楼层安静的房间。"};
    for (int i = 0; i < resv::kFileFieldCount; ++i) table[i] = ts::Gbk(fields[i]);
    table[resv::kEntryPath] = "/var/spool/booking/WS20240317-0042.txt";
    table[resv::kEntryClerk] = "Zedi";
}

}  // namespace

int main(int argc, char** argv) {
    const std::string out = argc > 1 ? argv[1] : "dialog.png";
    try {
        fw::GuiUnavailable unavailable = fw::GuiUnavailable::None;
        if (!fw::AcquireGuiApplication(unavailable)) {
            std::fprintf(stderr, "snapshot-dialog: %s\n", fw::Describe(unavailable));
            return 1;
        }
        FillSample(resv::BookingFieldTable);
        std::string why;
        const ResvDialogPlugin* plugin = resv::LoadDialogPlugin(why);
        if (!plugin) {
            std::fprintf(stderr, "snapshot-dialog: %s\n", why.c_str());
            return 1;
        }
        int status = 0;
        {
            resv::PluginConfirmation confirmation(*plugin, resv::BookingFieldTable, nullptr);
            QDialog* dialog = nullptr;
            if (confirmation.Open(why)) {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->inherits("resv::ConfirmDialog")) dialog = qobject_cast<QDialog*>(w);
            }
            if (!dialog) {
                std::fprintf(stderr, "snapshot-dialog: no dialog: %s\n", why.c_str());
                status = 1;
            } else if (dialog->show(); !QTest::qWaitForWindowExposed(dialog)) {
                std::fprintf(stderr, "snapshot-dialog: the window was never shown\n");
                status = 1;
            } else if (!dialog->grab().save(QString::fromStdString(out), "PNG")) {
                std::fprintf(stderr, "snapshot-dialog: can't write %s\n", out.c_str());
                status = 1;
            } else {
                std::printf("%s\n", out.c_str());
            }
        }
        resv::WithdrawDialogResources();
        fw::ReleaseGuiApplication();
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "snapshot-dialog: %s\n", e.what());
        return 1;
    }
}
