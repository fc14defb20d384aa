// The test build's check that every ODBC statement handle the code of a
// test executable allocates is freed again. A statement handle left to
// SQLDisconnect or to the end of the process stays reachable from the driver
// manager's own lists, so LeakSanitizer never reports it; this counts them.
// SQLAllocHandle and SQLFreeHandle are wrapped at link time (-Wl,--wrap) in
// the executables that link this file; after the last test a statement
// handle still counted fails the run.
#include <gtest/gtest.h>
#include <sql.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

std::mutex guard;
std::vector<SQLHANDLE>& Live() {
    static std::vector<SQLHANDLE> live;
    return live;
}

class StatementHandleCheck : public ::testing::Environment {
  public:
    void TearDown() override {
        const std::lock_guard<std::mutex> lock(guard);
        EXPECT_TRUE(Live().empty()) << Live().size()
                                    << " statement handle(s) allocated by this process were never "
                                       "freed";
    }
};

const auto* registered = ::testing::AddGlobalTestEnvironment(new StatementHandleCheck);

}  // namespace

extern "C" {

SQLRETURN SQL_API __real_SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
SQLRETURN SQL_API __real_SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle);

SQLRETURN SQL_API __wrap_SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    const SQLRETURN rc = __real_SQLAllocHandle(type, input, output);
    if (type == SQL_HANDLE_STMT && SQL_SUCCEEDED(rc)) {
        const std::lock_guard<std::mutex> lock(guard);
        Live().push_back(*output);
    }
    return rc;
}

SQLRETURN SQL_API __wrap_SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
    if (type == SQL_HANDLE_STMT) {
        const std::lock_guard<std::mutex> lock(guard);
        std::vector<SQLHANDLE>& live = Live();
        live.erase(std::remove(live.begin(), live.end(), handle), live.end());
    }
    return __real_SQLFreeHandle(type, handle);
}

}  // extern "C"
