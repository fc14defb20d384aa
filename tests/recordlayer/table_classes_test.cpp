// The three table classes without a database: their constants, the kinds and
// order of their bindings, the state of a fresh record and their run-time
// class records. A binding list that drifts from the hotel schema breaks
// every positional read, so the lists are checked by kind and by their ends.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <type_traits>
#include <variant>

#include "reservation/FOLIOTbl.h"
#include "reservation/GstProfileTbl.h"
#include "reservation/reservationTbl.h"

namespace {

struct KindCounts {
    int longs = 0, ints = 0, bytes = 0, texts = 0, dateTimes = 0;
    bool operator==(const KindCounts&) const = default;
};

std::ostream& operator<<(std::ostream& out, const KindCounts& k) {
    return out << "long " << k.longs << ", int " << k.ints << ", byte " << k.bytes << ", text "
               << k.texts << ", date-time " << k.dateTimes;
}

rl::FieldExchange Bindings(rl::TableRecord& record) {
    rl::FieldExchange fx;
    record.ExchangeFields(fx);
    return fx;
}

// A member bound as the wrong kind does not compile.
static_assert(!std::is_invocable_v<decltype(&rl::FieldExchange::Long), rl::FieldExchange&,
                                   const char*, rl::IntField&>);
static_assert(!std::is_invocable_v<decltype(&rl::FieldExchange::Int), rl::FieldExchange&,
                                   const char*, rl::LongField&>);

// Alternatives of rl::FieldMember, in order.
enum Kind { kLong, kInt, kByte, kText, kDateTime };

KindCounts CountKinds(const rl::FieldExchange& fx) {
    KindCounts k;
    int* counts[] = {&k.longs, &k.ints, &k.bytes, &k.texts, &k.dateTimes};
    for (const auto& b : fx.Bindings()) ++*counts[b.member.index()];
    return k;
}

template <class T, class Tag>
void ExpectFresh(const rl::Nullable<T, Tag>& v) {
    EXPECT_EQ(v.Value(), 0);
    EXPECT_FALSE(v.IsNull());
}
void ExpectFresh(const std::string& v) { EXPECT_TRUE(v.empty()); }
void ExpectFresh(const rl::DateTimeValue& v) { EXPECT_FALSE(v.HasValue()); }

// Every member of a fresh record holds its constructor default.
void ExpectFreshMembers(rl::TableRecord& record) {
    const rl::FieldExchange fx = Bindings(record);
    for (const auto& b : fx.Bindings()) {
        SCOPED_TRACE(b.name);
        std::visit([](auto* member) { ExpectFresh(*member); }, b.member);
    }
}

// Names are unique and bracketed; each binding points at a distinct member.
void ExpectWellFormedBindings(const rl::FieldExchange& fx) {
    std::map<std::string, int> names;
    std::map<const void*, int> members;
    for (const auto& b : fx.Bindings()) {
        std::string name = b.name;
        EXPECT_EQ(name.front(), '[') << name;
        EXPECT_EQ(name.back(), ']') << name;
        EXPECT_EQ(++names[name], 1) << "bound twice: " << name;
        EXPECT_EQ(++members[std::visit([](auto* m) -> const void* { return m; }, b.member)], 1)
            << "member bound twice: " << name;
    }
}

TEST(TableClasses, ReservationBindsItsColumns) {
    CreservationTbl r(nullptr);
    EXPECT_EQ(r.FieldCount(), 108u);
    EXPECT_EQ(r.DefaultOpenType(), rl::KeysetOpen);
    EXPECT_EQ(r.DefaultSql(), "[dbo].[Reservation]");
    EXPECT_EQ(r.DefaultConnect(), "ODBC;DSN=velmardb");
    rl::FieldExchange fx = Bindings(r);
    ASSERT_EQ(fx.Bindings().size(), 108u);
    EXPECT_EQ(CountKinds(fx), (KindCounts{9, 3, 19, 69, 8}));
    EXPECT_STREQ(fx.Bindings().front().name, "[Register]");
    EXPECT_EQ(fx.Bindings().front().member, rl::FieldMember(&r.Register));
    EXPECT_STREQ(fx.Bindings().back().name, "[ConfirmClerk]");
    EXPECT_EQ(fx.Bindings().back().member, rl::FieldMember(&r.ConfirmClerk));
    // Neighbours whose kinds are easy to confuse.
    EXPECT_EQ(fx.Bindings()[25].member, rl::FieldMember(&r.Adults));
    EXPECT_EQ(fx.Bindings()[25].member.index(), kInt);
    EXPECT_EQ(fx.Bindings()[26].member.index(), kByte);
    EXPECT_EQ(fx.Bindings()[75].member, rl::FieldMember(&r.OrgTime));
    EXPECT_EQ(fx.Bindings()[74].member.index(), kText);      // [OrgDate]
    EXPECT_EQ(fx.Bindings()[77].member.index(), kDateTime);  // [ChgDate]
    ExpectWellFormedBindings(fx);
    ExpectFreshMembers(r);
}

TEST(TableClasses, GuestProfileBindsItsColumns) {
    CGstProfileTbl g(nullptr);
    EXPECT_EQ(g.FieldCount(), 79u);
    EXPECT_EQ(g.DefaultOpenType(), rl::KeysetOpen);
    EXPECT_EQ(g.DefaultSql(), "[dbo].[GstProfile]");
    EXPECT_EQ(g.DefaultConnect(), "ODBC;DSN=velmardb");
    rl::FieldExchange fx = Bindings(g);
    ASSERT_EQ(fx.Bindings().size(), 79u);
    EXPECT_EQ(CountKinds(fx), (KindCounts{5, 5, 6, 52, 11}));
    EXPECT_STREQ(fx.Bindings().front().name, "[Acct]");
    EXPECT_EQ(fx.Bindings().front().member, rl::FieldMember(&g.Acct));
    EXPECT_STREQ(fx.Bindings().back().name, "[RoomService]");
    EXPECT_EQ(fx.Bindings().back().member, rl::FieldMember(&g.RoomService));
    EXPECT_EQ(fx.Bindings()[33].member.index(), kByte);  // [Blacklist]
    EXPECT_EQ(fx.Bindings()[35].member.index(), kInt);   // [Cashlist]
    EXPECT_EQ(fx.Bindings()[45].member, rl::FieldMember(&g.OrgTime));
    ExpectWellFormedBindings(fx);
    ExpectFreshMembers(g);
}

TEST(TableClasses, FolioBindsItsColumns) {
    CFOLIOTbl f(nullptr);
    EXPECT_EQ(f.FieldCount(), 20u);
    EXPECT_EQ(f.DefaultOpenType(), rl::SnapshotOpen);
    EXPECT_EQ(f.DefaultSql(), "[dbo].[FOLIO]");
    EXPECT_EQ(f.DefaultConnect(), "ODBC;DSN=velmardb;UID=sa;PWD=");
    rl::FieldExchange fx = Bindings(f);
    ASSERT_EQ(fx.Bindings().size(), 20u);
    EXPECT_EQ(CountKinds(fx), (KindCounts{8, 0, 2, 10, 0}));
    EXPECT_STREQ(fx.Bindings().front().name, "[Serial]");
    EXPECT_STREQ(fx.Bindings()[1].name, "[GstAcct]");
    EXPECT_EQ(fx.Bindings()[1].member, rl::FieldMember(&f.GstAcct));
    EXPECT_STREQ(fx.Bindings().back().name, "[Note]");
    EXPECT_EQ(fx.Bindings().back().member, rl::FieldMember(&f.Note));
    ExpectWellFormedBindings(fx);
    ExpectFreshMembers(f);
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
