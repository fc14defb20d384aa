#include "tests/import/ImportFixture.h"

#include <filesystem>

#include "framework/processtag.h"
#include "reservation/FileSearch.h"

namespace importtest {

std::string Booking::FileText() const {
    const std::string fields[] = {field0,  number,  type,      company, companyPhone, roomType,
                                  payment, arrival, departure, guest,   guestPhone,   guests,
                                  rooms,   field13, field14,   price,   remarks};
    std::string text = ts::Gbk(fields[0]);
    for (std::size_t i = 1; i < std::size(fields); ++i) text += "," + ts::Gbk(fields[i]);
    return text;
}

std::time_t PinnedTime() {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 2;
    tm.tm_mday = 7;
    tm.tm_hour = 9;
    tm.tm_min = 5;
    tm.tm_sec = 3;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void ImportTest::SetUp() {
    ts::BackendTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    db_ = std::make_unique<ts::HotelDatabase>(GetBackend());
    resv::BookingFieldTable = {};
    resv::ImportedGuestAccount = 0;
    fw::SetClockSource([] { return PinnedTime(); });
}

void ImportTest::TearDown() {
    fw::SetClockSource({});
    db_.reset();
}

std::string ImportTest::Drop(const std::string& name, const Booking& booking) {
    return DropBytes(name, booking.FileText());
}

std::string ImportTest::DropBytes(const std::string& name, const std::string& bytes) {
    const std::string path = drop_.File(name);
    ts::WriteFile(path, bytes);
    return path;
}

std::string ImportTest::DropClaimed(const std::string& name, const std::string& bytes,
                                    const std::string& host) {
    // This machine's tag with a process id no process can have.
    std::string tag = fw::ThisProcessTag();
    const std::size_t plus = tag.find('+');
    tag = (host.empty() ? tag.substr(0, plus) : host) + "+" + tag.substr(plus + 1, 8) +
          "+999999999+1";
    std::filesystem::create_directories(drop_.Path() + "/.claims/" + tag);
    ts::WriteFile(drop_.Path() + "/.claims/" + tag + "/" + name, bytes);
    return drop_.File(name);
}

void ImportTest::ImportAll(const std::string& clerk, const std::string& directory) {
    const std::string request = (directory.empty() ? drop_.Path() : directory) + "?1!" + clerk;
    resv::RunSearch(request.c_str());
}

ts::Row ImportTest::One(const std::string& sql) {
    std::vector<ts::Row> rows = db_->Query(sql);
    EXPECT_EQ(rows.size(), 1u) << sql;
    if (rows.size() != 1) return {};
    return rows[0];
}

std::string ImportTest::Text(const std::optional<std::string>& gbk) const {
    return gbk ? ts::Utf8(*gbk) : "<null>";
}

}  // namespace importtest
