// A drop directory, a private hotel database on one backend, a pinned clock
// and helpers to write booking files and read back what landed: the real
// path of mode 1 (RunSearch with the module's own handler, through unixODBC).
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/clock.h"
#include "reservation/FileSearch.h"
#include "reservation/ImportBooking.h"
#include "tests/support/TestSupport.h"

namespace importtest {

// One booking as the tests spell it (UTF-8); written to the file as GBK.
struct Booking {
    std::string field0 = "NET";
    std::string number = "WB-1001";
    std::string type = "网络预订";
    std::string company = "携程";
    std::string companyPhone = "021-5555";
    std::string roomType = "标准间";
    std::string payment = "现金";
    std::string arrival = "2026-03-17";
    std::string departure = "2026-03-20";
    std::string guest = "张三";
    std::string guestPhone = "13800000000";
    std::string guests = "2";
    std::string rooms = "1";
    std::string field13 = "";
    std::string field14 = "";
    std::string price = "1000";
    std::string remarks = "无烟";

    std::string FileText() const;  // the 17 fields joined by ",", as GBK
};

// Local time 2026-03-07 09:05:03.
std::time_t PinnedTime();

class ImportTest : public ts::BackendTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the booking into the drop directory; returns its path.
    std::string Drop(const std::string& name, const Booking& booking);
    std::string DropBytes(const std::string& name, const std::string& bytes);
    // Leaves bytes as a booking file that a host died holding: in the claim
    // area under a process of this machine that is gone, or (host not empty)
    // of another machine. Returns the path the booking has in the drop
    // directory.
    std::string DropClaimed(const std::string& name, const std::string& bytes,
                            const std::string& host = "");
    // Search in mode 1 on the drop directory (or on directory, another view
    // of it).
    void ImportAll(const std::string& clerk = "Zedi", const std::string& directory = "");

    // The one row (UTF-8 texts) of a query; fails the test when there is not
    // exactly one.
    ts::Row One(const std::string& sql);
    std::string Text(const std::optional<std::string>& gbk) const;

    std::unique_ptr<ts::HotelDatabase> db_;
    ts::TempDir drop_;
    ts::TraceCapture trace_;
};

}  // namespace importtest
