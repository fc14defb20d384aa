// Bookings refused for their content, alike on every database and reported
// once per version of their file; bookings that look odd but import; and the
// line that says velmar.ini could not be read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "reservation/FileSearch.h"
#include "tests/import/ImportFixture.h"

namespace importtest {
namespace {

class ImportRefusal : public ImportTest {};

TEST_P(ImportRefusal, ContentThatCannotImportIsRefusedAlikeOnEveryDatabase) {
    const struct {
        const char* arrival;
        const char* departure;
        const char* guests;
        const char* rooms;
        const char* reason;
    } cases[] = {
        {"2026-03-20", "2026-03-17", "2", "1",
         "departure \"2026-03-17\" is before arrival \"2026-03-20\""},
        {"2026-03-17", "2026-03-20", "70000", "1", "guests \"70000\" beyond the column's range"},
        {"2026-03-17", "2026-03-20", "-40000", "1", "guests \"-40000\" beyond the column's range"},
        {"2026-03-17", "2026-03-20", "2", "70000", "rooms \"70000\" beyond the column's range"},
        {"2026-03-17", "2026-03-20", "2", "-40000", "rooms \"-40000\" beyond the column's range"},
    };
    int n = 0;
    for (const auto& c : cases) {
        Booking b;
        b.arrival = c.arrival;
        b.departure = c.departure;
        b.guests = c.guests;
        b.rooms = c.rooms;
        // Each its own file: an earlier refusal stays where it is, unreported.
        const std::string path = Drop("refused-" + std::to_string(++n) + ".txt", b);
        trace_.Clear();
        ImportAll();
        EXPECT_TRUE(ts::FileExists(path)) << c.reason;
        EXPECT_EQ(trace_.Lines().size(), 1u) << trace_.Text();
        EXPECT_EQ(trace_.Count("can't import " + path + ": " + c.reason), 1u) << trace_.Text();
    }
    EXPECT_EQ(db_->Count("GstProfile"), 0);
    EXPECT_EQ(db_->Count("Reservation"), 0);
    EXPECT_EQ(db_->Count("FOLIO"), 0);
}

TEST_P(ImportRefusal, EmptyGuestNamesShortBookingsAndTheColumnsEdgesImport) {
    Booking emptyName;
    emptyName.guest = "";
    Booking edges;
    edges.guests = "32767";
    edges.rooms = "-32768";
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty-name.txt", emptyName.FileText()},
        // Nine fields: the dates and nothing after them, so no guest name either.
        {"nine-fields.txt", ts::Gbk("NET,S-9,网络预订,携程,021,标准间,现金,2026-03-17,2026-03-20")},
        {"edges.txt", edges.FileText()},
    };
    long imported = 0;
    for (const auto& c : cases) {
        const std::string path = DropBytes(c.name, c.bytes);
        trace_.Clear();
        ImportAll();
        EXPECT_FALSE(ts::FileExists(path)) << trace_.Text();
        EXPECT_EQ(trace_.Count("imported " + path + " as guest account "), 1u) << trace_.Text();
        EXPECT_EQ(db_->Count("Reservation"), ++imported);
    }
    const ts::Row r = One("select Adults, RmNumbers from Reservation where Adults = 32767");
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(Text(r[1]), "-32768");
}

TEST_P(ImportRefusal, ARefusedFileIsReportedOncePerVersion) {
    Booking bad;
    bad.guests = "70000";
    const std::string path = Drop("poison.txt", bad);
    const std::string line = "can't import " + path + ": ";
    for (int call = 0; call < 3; ++call) ImportAll();
    EXPECT_EQ(trace_.Count(line), 1u) << trace_.Text();

    // Other bookings of the same directory go on importing meanwhile.
    Drop("good.txt", Booking{});
    ImportAll();
    EXPECT_EQ(db_->Count("Reservation"), 1);
    EXPECT_EQ(trace_.Count(line), 1u) << trace_.Text();

    // A new modification time is a new version; so is new content.
    std::filesystem::last_write_time(
        path, std::filesystem::last_write_time(path) - std::chrono::minutes(5));
    ImportAll();
    ImportAll();
    EXPECT_EQ(trace_.Count(line), 2u) << trace_.Text();
    bad.guests = "80000";
    Drop("poison.txt", bad);
    ImportAll();
    ImportAll();
    EXPECT_EQ(trace_.Count(line), 3u) << trace_.Text();
    EXPECT_EQ(trace_.Count(line + "guests \"80000\""), 1u) << trace_.Text();

    // Mended, it imports.
    bad.guests = "2";
    Drop("poison.txt", bad);
    ImportAll();
    EXPECT_FALSE(ts::FileExists(path));
    EXPECT_EQ(db_->Count("Reservation"), 2);
}

TEST_P(ImportRefusal, AnUnreadableIniFileIsSaidOncePerCallAndTheBookingsImport) {
    const std::string saying = "the rate code and the room type codes are empty";
    for (const char* unreadable : {"missing", "a directory"}) {
        SCOPED_TRACE(unreadable);
        db_->RemoveIni();
        if (std::string(unreadable) == "a directory") {
            ASSERT_EQ(mkdir(db_->IniPath().c_str(), 0755), 0);
        }
        const std::string why = std::string(unreadable) == "missing" ? "(No such file or directory)"
                                                                     : "(Is a directory)";
        trace_.Clear();
        for (int call = 1; call <= 2; ++call) {
            // Each delivery a new booking file: the same bytes under the
            // same name would be found imported.
            const std::string run = std::string(unreadable).substr(0, 1) + std::to_string(call);
            Drop("a" + run, Booking{});
            Drop("b" + run, Booking{});
            ImportAll();
            EXPECT_FALSE(ts::FileExists(drop_.File("a" + run)));
            EXPECT_FALSE(ts::FileExists(drop_.File("b" + run)));
            EXPECT_EQ(trace_.Count("can't read " + db_->IniPath() + " " + why + ": " + saying),
                      static_cast<std::size_t>(call))
                << trace_.Text();
        }
        EXPECT_EQ(trace_.Lines().size(), 6u) << trace_.Text();  // and four imports
        std::filesystem::remove(db_->IniPath());
    }

    // Readable again: not a word.
    db_->WriteIni(ts::DefaultIniEntries());
    trace_.Clear();
    Drop("c.txt", Booking{});
    ImportAll();
    EXPECT_EQ(trace_.Count(saying), 0u) << trace_.Text();
    EXPECT_EQ(db_->Count("Reservation"), 9);
}

INSTANTIATE_BACKENDS(ImportRefusal);

}  // namespace
}  // namespace importtest
