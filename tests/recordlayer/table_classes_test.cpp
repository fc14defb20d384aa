// The three table classes against the hotel schema of each backend, and
// their behaviour without a database. A binding list that drifts from the
// schema breaks every positional read, so each binding's name and kind is
// compared with what the driver describes for "select *" of its table.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "framework/gbktext.h"
#include "recordlayer/DbConnection.h"
#include "reservation/FOLIOTbl.h"
#include "reservation/GstProfileTbl.h"
#include "reservation/reservationTbl.h"
#include "tests/support/TestSupport.h"

namespace {

// A member bound as the wrong kind does not compile.
static_assert(!std::is_invocable_v<decltype(&rl::FieldExchange::Long), rl::FieldExchange&,
                                   const char*, rl::IntField&>);
static_assert(!std::is_invocable_v<decltype(&rl::FieldExchange::Int), rl::FieldExchange&,
                                   const char*, rl::LongField&>);

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

std::vector<rl::FieldBinding> Bindings(rl::TableRecord& record) {
    rl::FieldExchange fx;
    record.ExchangeFields(fx);
    return fx.Bindings();
}

std::string Unbracketed(std::string name) {
    std::erase(name, '[');
    std::erase(name, ']');
    return name;
}

// The SQL types a driver may describe for the column of a member. A tiny
// integer column is a small integer where the database has no tiny integer.
std::set<SQLSMALLINT> AcceptedTypes(const rl::FieldMember& member, bool tinyIntegers) {
    return std::visit(Overloaded{
                          [](rl::LongField*) { return std::set<SQLSMALLINT>{SQL_INTEGER}; },
                          [](rl::IntField*) { return std::set<SQLSMALLINT>{SQL_SMALLINT}; },
                          [&](rl::ByteField*) {
                              return std::set<SQLSMALLINT>{static_cast<SQLSMALLINT>(
                                  tinyIntegers ? SQL_TINYINT : SQL_SMALLINT)};
                          },
                          [](std::string*) {
                              return std::set<SQLSMALLINT>{SQL_VARCHAR, SQL_WVARCHAR};
                          },
                          [](rl::DateTimeValue*) {
                              return std::set<SQLSMALLINT>{SQL_TYPE_TIMESTAMP, SQL_TIMESTAMP};
                          },
                      },
                      member);
}

using SchemaDrift = ts::BackendTest;

TEST_P(SchemaDrift, EveryBindingMatchesItsColumnByNameAndType) {
    ts::HotelDatabase hotel(GetBackend());
    rl::DbConnection db;
    db.OpenConnection(ts::kModuleConnect);
    ts::OdbcSession session(ts::kModuleConnect);
    const bool tinyIntegers = GetBackend() != ts::Backend::PostgreSQL;

    CreservationTbl reservation(nullptr);
    CGstProfileTbl profile(nullptr);
    CFOLIOTbl folio(nullptr);
    for (rl::TableRecord* record :
         std::initializer_list<rl::TableRecord*>{&reservation, &profile, &folio}) {
        SCOPED_TRACE(record->ClassInfo()->name);
        const std::vector<rl::FieldBinding> bindings = Bindings(*record);
        const std::vector<ts::ColumnDescription> columns =
            session.Describe("select * from " + db.GetDialect().RenderName(record->DefaultSql()));
        ASSERT_EQ(bindings.size(), columns.size());
        EXPECT_EQ(record->FieldCount(), bindings.size());
        std::set<const void*> members;
        for (std::size_t i = 0; i < bindings.size(); ++i) {
            const std::string name = Unbracketed(bindings[i].name);
            EXPECT_TRUE(fw::gbk::EqualIgnoringCase(name, columns[i].name))
                << "binding " << i << " is " << name << ", column " << columns[i].name;
            EXPECT_TRUE(AcceptedTypes(bindings[i].member, tinyIntegers).count(columns[i].sqlType))
                << name << " is described as SQL type " << columns[i].sqlType
                << ", its member is alternative " << bindings[i].member.index();
            const void* member =
                std::visit([](auto* m) -> const void* { return m; }, bindings[i].member);
            EXPECT_TRUE(members.insert(member).second) << "member bound twice: " << name;
        }
    }
}

INSTANTIATE_BACKENDS(SchemaDrift);

template <class T, class Tag>
void ExpectFresh(const rl::Nullable<T, Tag>& v) {
    EXPECT_EQ(v.Value(), 0);
    EXPECT_FALSE(v.IsNull());
}
void ExpectFresh(const std::string& v) { EXPECT_TRUE(v.empty()); }
void ExpectFresh(const rl::DateTimeValue& v) { EXPECT_FALSE(v.HasValue()); }

TEST(TableClasses, AFreshRecordHoldsZerosEmptyTextsAndNoDates) {
    CreservationTbl reservation(nullptr);
    CGstProfileTbl profile(nullptr);
    CFOLIOTbl folio(nullptr);
    for (rl::TableRecord* record :
         std::initializer_list<rl::TableRecord*>{&reservation, &profile, &folio}) {
        for (const rl::FieldBinding& b : Bindings(*record)) {
            SCOPED_TRACE(b.name);
            std::visit([](auto* member) { ExpectFresh(*member); }, b.member);
        }
    }
}

TEST(TableClasses, RunTimeClassRecordsChainToTheBase) {
    CreservationTbl r(nullptr);
    CGstProfileTbl g(nullptr);
    CFOLIOTbl f(nullptr);
    rl::TableRecord plain(nullptr);
    EXPECT_STREQ(r.ClassInfo()->name, "CreservationTbl");
    EXPECT_STREQ(g.ClassInfo()->name, "CGstProfileTbl");
    EXPECT_STREQ(f.ClassInfo()->name, "CFOLIOTbl");
    EXPECT_STREQ(plain.ClassInfo()->name, "TableRecord");
    EXPECT_EQ(CFOLIOTbl::Class(), &CFOLIOTbl::classCFOLIOTbl);

    const rl::TableRecord& asBase = g;
    EXPECT_TRUE(asBase.IsKindOf(&CGstProfileTbl::classCGstProfileTbl));
    EXPECT_TRUE(asBase.IsKindOf(&rl::TableRecord::classTableRecord));
    EXPECT_FALSE(asBase.IsKindOf(&CFOLIOTbl::classCFOLIOTbl));
    EXPECT_FALSE(plain.IsKindOf(&CreservationTbl::classCreservationTbl));
    EXPECT_EQ(CreservationTbl::classCreservationTbl.base, &rl::TableRecord::classTableRecord);
    EXPECT_EQ(plain.FieldCount(), 0u);
}

TEST(TableClasses, BeginNewRowNullsNumbersAndEmptiesTexts) {
    CGstProfileTbl g(nullptr);
    g.ChnName = "x";
    g.BirthDate = rl::DateTimeValue(86400);
    g.BeginNewRow();
    EXPECT_TRUE(g.Acct.IsNull());
    EXPECT_TRUE(g.Cashlist.IsNull());
    EXPECT_TRUE(g.Blacklist.IsNull());
    EXPECT_TRUE(g.ChnName.empty());
    EXPECT_FALSE(g.BirthDate.HasValue());
    g.Blacklist = 0;
    EXPECT_FALSE(g.Blacklist.IsNull());
}

class BrokenRecord : public rl::TableRecord {
  public:
    BrokenRecord() : rl::TableRecord(nullptr) { fieldCount_ = 2; }
    void ExchangeFields(rl::FieldExchange& fx) override { fx.Long("[Only]", only); }
    rl::LongField only;
};

TEST(TableClassesDeathTest, CheckValidAbortsOnAFieldCountMismatch) {
    CFOLIOTbl healthy(nullptr);
    healthy.CheckValid();
    BrokenRecord broken;
    EXPECT_DEATH(broken.CheckValid(), "field count 2 but 1 bindings");
}

TEST(TableClasses, DumpStateNamesEveryColumn) {
    CFOLIOTbl f(nullptr);
    f.Code = "A";
    f.BeginNewRow();
    f.GstAcct = 42;
    std::ostringstream out;
    f.DumpState(out);
    const std::string text = out.str();
    EXPECT_NE(text.find("CFOLIOTbl"), std::string::npos);
    EXPECT_NE(text.find("[GstAcct] = 42"), std::string::npos) << text;
    EXPECT_NE(text.find("[Serial] = null"), std::string::npos) << text;
    EXPECT_NE(text.find("[Note]"), std::string::npos) << text;
}

}  // namespace
