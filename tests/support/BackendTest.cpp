#include "tests/support/BackendTest.h"

#include <cstdlib>

namespace ts {

void BackendTest::SetUp() {
    std::string why;
    if (BackendAvailable(GetBackend(), &why)) return;
    if (std::getenv("CI") != nullptr)
        FAIL() << BackendName(GetBackend()) << " is required under CI: " << why;
    GTEST_SKIP() << why;
}

std::string BackendParamName(const ::testing::TestParamInfo<Backend>& info) {
    return BackendName(info.param);
}

}  // namespace ts
