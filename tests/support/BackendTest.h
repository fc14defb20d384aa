// Runs a test once per database backend. Derive the fixture from BackendTest
// (or use it directly), write TEST_P, and instantiate with
// INSTANTIATE_BACKENDS(Suite); the instances are named "SQLite",
// "PostgreSQL" and "MariaDB", so `ctest -R /PostgreSQL` picks one backend.
//
// Without a PostgreSQL test cluster (RESERVATION_TEST_PG_PORT unset) or a
// MariaDB test server (RESERVATION_TEST_MARIADB_PORT unset) that instance is
// skipped, except when the environment variable CI is set: then it fails, so
// that CI never silently leaves a server out.
// A fixture that overrides SetUp calls BackendTest::SetUp() first and returns
// when IsSkipped() or HasFatalFailure().
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/HotelDatabase.h"

namespace ts {

class BackendTest : public ::testing::TestWithParam<Backend> {
  protected:
    void SetUp() override;
    Backend GetBackend() const { return GetParam(); }
};

std::string BackendParamName(const ::testing::TestParamInfo<Backend>& info);

}  // namespace ts

#define INSTANTIATE_BACKENDS(Suite)                                                            \
    INSTANTIATE_TEST_SUITE_P(                                                                  \
        Backends, Suite,                                                                       \
        ::testing::Values(ts::Backend::SQLite, ts::Backend::PostgreSQL, ts::Backend::MariaDB), \
        ts::BackendParamName)
