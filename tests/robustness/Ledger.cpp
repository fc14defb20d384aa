#include "tests/robustness/Ledger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace robust {

void ExpectExactlyOnce(ts::HotelDatabase& db, const std::string& dropDir,
                       const std::set<std::string>& numbers, bool requireAllImported) {
    std::map<std::string, int> times;
    for (const ts::Row& row : db.Query("select CRONum from Reservation"))
        times[row[0].value_or("")]++;

    // A file a killed host had claimed is still there, in its claim.
    std::set<std::string> claimed;
    std::error_code ec;
    for (const auto& owner : std::filesystem::directory_iterator(dropDir + "/.claims", ec))
        for (const auto& file : std::filesystem::directory_iterator(owner.path(), ec))
            claimed.insert(file.path().filename().string());
    if (requireAllImported) {
        EXPECT_TRUE(claimed.empty()) << claimed.size() << " claims left";
    }

    for (const std::string& number : numbers) {
        const bool filePresent =
            ts::FileExists(dropDir + "/" + number + ".txt") || claimed.count(number + ".txt");
        const int n = times.count(number) ? times[number] : 0;
        if (filePresent) {
            EXPECT_LE(n, 1) << number << " imported twice";
            EXPECT_FALSE(requireAllImported) << number << " still waiting";
        } else {
            EXPECT_EQ(n, 1) << number
                            << (n == 0 ? " lost: file gone, no reservation" : " imported twice");
        }
    }
    for (const auto& [number, n] : times)
        EXPECT_EQ(numbers.count(number), 1u) << "unknown booking " << number;

    // No partial booking: each profile has exactly one reservation and one
    // folio, each reservation and folio a profile.
    const long profiles = db.Count("GstProfile");
    EXPECT_EQ(db.Count("Reservation"), profiles);
    EXPECT_EQ(db.Count("FOLIO"), profiles);
    EXPECT_EQ(
        db.Scalar("select count(*) from GstProfile g where (select count(*) from Reservation r "
                  "where r.GstAcct ="
                  " g.Acct) <> 1 or (select count(*) from FOLIO f where f.GstAcct = g.Acct) <> 1"),
        "0");
}

}  // namespace robust
