// A fresh hotel database per test on each backend, and the module's own
// connection to it through the data source.
#pragma once

#include <memory>

#include "recordlayer/DbConnection.h"
#include "tests/support/TestSupport.h"

class RecordTest : public ts::BackendTest {
  protected:
    void SetUp() override {
        ts::BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        hotel_ = std::make_unique<ts::HotelDatabase>(GetBackend());
        db_.OpenConnection(ts::kModuleConnect);
    }

    bool OnPostgreSQL() const { return GetBackend() == ts::Backend::PostgreSQL; }

    std::unique_ptr<ts::HotelDatabase> hotel_;
    rl::DbConnection db_;  // closed before the database is dropped
};
