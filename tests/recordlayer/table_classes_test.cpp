// The three table classes without a database: their constants, the kinds and
// order of their bindings, the state of a fresh record and their run-time
// class records. A binding list that drifts from the hotel schema breaks
// every positional read, so the lists are checked by kind and by their ends.
#include <gtest/gtest.h>

#include <map>
#include <string>

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

KindCounts CountKinds(const rl::FieldExchange& fx) {
    KindCounts k;
    for (const auto& b : fx.Bindings()) {
        switch (b.kind) {
            case rl::FieldKind::Long:
                ++k.longs;
                break;
            case rl::FieldKind::Int:
                ++k.ints;
                break;
            case rl::FieldKind::Byte:
                ++k.bytes;
                break;
            case rl::FieldKind::Text:
                ++k.texts;
                break;
            case rl::FieldKind::DateTime:
                ++k.dateTimes;
                break;
        }
    }
    return k;
}

// Every member of a fresh record holds its constructor default.
void ExpectFreshMembers(rl::TableRecord& record) {
    const rl::FieldExchange fx = Bindings(record);
    for (const auto& b : fx.Bindings()) {
        SCOPED_TRACE(b.name);
        switch (b.kind) {
            case rl::FieldKind::Long:
            case rl::FieldKind::Int: {
                auto& v = *static_cast<rl::Nullable<std::int32_t>*>(b.member);
                EXPECT_EQ(v.Value(), 0);
                EXPECT_FALSE(v.IsNull());
                break;
            }
            case rl::FieldKind::Byte:
                EXPECT_EQ(static_cast<rl::ByteField*>(b.member)->Value(), 0);
                break;
            case rl::FieldKind::Text:
                EXPECT_TRUE(static_cast<std::string*>(b.member)->empty());
                break;
            case rl::FieldKind::DateTime:
                EXPECT_FALSE(static_cast<rl::DateTimeValue*>(b.member)->HasValue());
                break;
        }
    }
}

// Names are unique and bracketed; each binding points at a distinct member.
void ExpectWellFormedBindings(const rl::FieldExchange& fx) {
    std::map<std::string, int> names;
    std::map<void*, int> members;
    for (const auto& b : fx.Bindings()) {
        std::string name = b.name;
        EXPECT_EQ(name.front(), '[') << name;
        EXPECT_EQ(name.back(), ']') << name;
        EXPECT_EQ(++names[name], 1) << "bound twice: " << name;
        EXPECT_EQ(++members[b.member], 1) << "member bound twice: " << name;
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
    EXPECT_EQ(fx.Bindings().front().member, &r.Register);
    EXPECT_STREQ(fx.Bindings().back().name, "[ConfirmClerk]");
    EXPECT_EQ(fx.Bindings().back().member, &r.ConfirmClerk);
    // Neighbours whose kinds are easy to confuse.
    EXPECT_EQ(fx.Bindings()[25].member, &r.Adults);
    EXPECT_EQ(fx.Bindings()[25].kind, rl::FieldKind::Int);
    EXPECT_EQ(fx.Bindings()[26].kind, rl::FieldKind::Byte);
    EXPECT_EQ(fx.Bindings()[75].member, &r.OrgTime);
    EXPECT_EQ(fx.Bindings()[74].kind, rl::FieldKind::Text);      // [OrgDate]
    EXPECT_EQ(fx.Bindings()[77].kind, rl::FieldKind::DateTime);  // [ChgDate]
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
    EXPECT_EQ(fx.Bindings().front().member, &g.Acct);
    EXPECT_STREQ(fx.Bindings().back().name, "[RoomService]");
    EXPECT_EQ(fx.Bindings().back().member, &g.RoomService);
    EXPECT_EQ(fx.Bindings()[33].kind, rl::FieldKind::Byte);  // [Blacklist]
    EXPECT_EQ(fx.Bindings()[35].kind, rl::FieldKind::Int);   // [Cashlist]
    EXPECT_EQ(fx.Bindings()[45].member, &g.OrgTime);
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
    EXPECT_EQ(fx.Bindings()[1].member, &f.GstAcct);
    EXPECT_STREQ(fx.Bindings().back().name, "[Note]");
    EXPECT_EQ(fx.Bindings().back().member, &f.Note);
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
