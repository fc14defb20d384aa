#include "tests/support/TestSupport.h"

namespace {

class SupportSmoke : public ts::BackendTest {};

TEST_P(SupportSmoke, FreshDatabaseHasSeedRows) {
    ts::HotelDatabase db(GetBackend());
    EXPECT_EQ(db.Count("Payment"), 4);
    EXPECT_EQ(db.Count("GstProfile"), 0);
    auto rows = db.Query("select Code, Descp from Market where Code = 'WLK'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][1].value(), ts::Gbk("散客"));
    db.FailInsertsInto("FOLIO");
    try {
        db.Execute("insert into FOLIO (GstAcct) values (1)");
        ADD_FAILURE() << "insert not refused";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(ts::kInjectedFailure), std::string::npos) << e.what();
    }
    db.RemoveInsertFailure("FOLIO");
    db.Execute("insert into FOLIO (GstAcct) values (1)");
    EXPECT_EQ(db.Count("FOLIO"), 1);
}

INSTANTIATE_BACKENDS(SupportSmoke);

}  // namespace
