// A connection per booking on pooled connections, for as long as the
// service runs: what the process holds after hundreds more connections is
// what it held before. (A connection handle per connection cost the driver
// manager two character converters it never gave back while it pooled:
// about 65 KB a booking.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "recordlayer/DbConnection.h"
#include "recordlayer/TableRecord.h"
#include "tests/support/TestSupport.h"

extern "C" std::size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace {

TEST(ConnectionReuse, PooledConnectionsDoNotGrowTheHeap) {
    if (__sanitizer_get_current_allocated_bytes == nullptr)
        GTEST_SKIP() << "the heap is counted in the sanitized build only";
    std::string why;
    if (!ts::BackendAvailable(ts::Backend::SQLite, &why)) GTEST_SKIP() << why;
    // Pooling is read at the first environment of the process: before anything connects.
    ts::TempDir config;
    ts::WriteFile(config.File("odbcinst.ini"),
                  "[ODBC]\nPooling = Yes\n\n[pooled-sqlite]\nDriver = " +
                      ts::DriverPath(ts::Backend::SQLite) + "\nCPTimeout = 120\n");
    setenv("ODBCSYSINI", config.Path().c_str(), 1);
    ts::HotelDatabase hotel(ts::Backend::SQLite);
    ts::WriteFile(hotel.OdbcIniPath(), "[velmardb]\nDriver = pooled-sqlite\nDatabase = " +
                                           hotel.DatabaseName() + "\nTimeout = 10000\n");

    const auto connections = [](int count) {
        for (int i = 0; i < count; ++i) {
            rl::DbConnection db;
            db.OpenConnection(ts::kModuleConnect);
            rl::TableRecord query(&db);
            query.OpenRows(rl::SnapshotOpen, "select Code,Descp from Payment");
            EXPECT_FALSE(query.AtEnd());
        }
    };
    connections(50);
    const std::size_t before = __sanitizer_get_current_allocated_bytes();
    connections(300);
    const std::size_t after = __sanitizer_get_current_allocated_bytes();
    EXPECT_LT(after, before + 64 * 1024) << "grew by " << (after - before) << " bytes";
}

}  // namespace
