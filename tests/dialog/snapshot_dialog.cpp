// snapshot-dialog: shows the confirmation dialog with a sample booking on the
// display Qt finds and saves what it draws to a PNG, for a person to look at.
// Usage: snapshot-dialog [out.png] (default dialog.png). Prints the path.
#include <QApplication>
#include <QPixmap>
#include <QTest>
#include <cstdio>
#include <exception>
#include <string>

#include "framework/qtapp.h"
#include "reservation/ConfirmDialog.h"
#include "reservation/FileSearch.h"
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
        fw::GuiUnavailable why = fw::GuiUnavailable::None;
        if (!fw::AcquireGuiApplication(why)) {
            std::fprintf(stderr, "snapshot-dialog: %s\n", fw::Describe(why));
            return 1;
        }
        FillSample(resv::BookingFieldTable);
        int status = 0;
        {
            resv::ConfirmDialog dialog;
            dialog.show();
            if (!QTest::qWaitForWindowExposed(&dialog)) {
                std::fprintf(stderr, "snapshot-dialog: the window was never shown\n");
                status = 1;
            } else if (!dialog.grab().save(QString::fromStdString(out), "PNG")) {
                std::fprintf(stderr, "snapshot-dialog: can't write %s\n", out.c_str());
                status = 1;
            } else {
                std::printf("%s\n", out.c_str());
            }
        }
        fw::ReleaseGuiApplication();
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "snapshot-dialog: %s\n", e.what());
        return 1;
    }
}
