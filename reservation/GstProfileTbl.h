// One row of the hotel's guest profile table. [Acct], the first column, is the
// guest account number that the database assigns on insert; the other tables
// refer to the guest by it. The table's own column order equals the binding
// order, so a "select *" over it binds by position.
//
// A table record (see recordlayer/TableRecord.h): one public member per column,
// named by the column and declared in binding order. Constructed with the
// connection to use (borrowed; may be null, then the record opens its own with
// kDefaultConnect). Not copyable, not thread-safe.
#pragma once

#include <string>

#include "framework/runtimeclass.h"
#include "recordlayer/DateTimeValue.h"
#include "recordlayer/TableRecord.h"

class CGstProfileTbl : public rl::TableRecord {
  public:
    static constexpr const char* kTableName = "[dbo].[GstProfile]";
    static constexpr const char* kDefaultConnect = "ODBC;DSN=velmardb";
    static constexpr unsigned kDefaultOpenType = rl::KeysetOpen;
    static constexpr unsigned kFieldCount = 79;

    explicit CGstProfileTbl(rl::DbConnection* db);
    ~CGstProfileTbl() override;

    static const fw::RuntimeClass classCGstProfileTbl;
    static const fw::RuntimeClass* Class() { return &classCGstProfileTbl; }
    const fw::RuntimeClass* ClassInfo() const override { return &classCGstProfileTbl; }

    std::string DefaultConnect() const override { return kDefaultConnect; }
    std::string DefaultSql() const override { return kTableName; }
    void ExchangeFields(rl::FieldExchange& fx) override;

    // Columns, in binding order.
    rl::LongField Acct;
    std::string MemNum;
    std::string ChnName;
    std::string EngName;
    std::string Sex;
    std::string VIP;
    std::string SalCode;
    rl::LongField CompanyAcct;
    rl::LongField GrpAcct;
    rl::LongField TaAcct;
    rl::LongField ArAcct;
    std::string Address;
    std::string PosCode;
    std::string Notice;
    std::string Phone;
    std::string Fax;
    std::string Email;
    std::string Special;
    std::string Spouse;
    rl::DateTimeValue SpouseBirth;
    std::string Child1;
    rl::DateTimeValue Chid1Birth;
    std::string Child2;
    rl::DateTimeValue Child2Birth;
    std::string Child3;
    rl::DateTimeValue Child3Birth;
    std::string PasType;
    std::string Pasprt;
    rl::DateTimeValue PasExp;
    rl::DateTimeValue BirthDate;
    std::string VisaType;
    std::string VisaNum;
    rl::DateTimeValue VisaExp;
    rl::ByteField Blacklist;
    std::string BlackMemo;
    rl::IntField Cashlist;
    std::string CashMemo;
    std::string Contact;
    std::string AreaCode;
    std::string NationCode;
    std::string Lang;
    std::string PreRoom;
    std::string RoomFeature;
    rl::ByteField Status;
    std::string OrgDate;
    std::string OrgTime;
    std::string OrgClerk;
    rl::DateTimeValue ChangeDate;
    std::string ChangeTime;
    std::string ChangeClerk;
    rl::DateTimeValue CxlDate;
    std::string CxlTime;
    std::string CxlClerk;
    std::string LastRoom;
    rl::DateTimeValue LastVisit;
    std::string LastPrice;
    rl::IntField Cancellation;
    rl::IntField NoShow;
    rl::IntField RmNights;
    rl::IntField CheckinNm;
    std::string RmRevenue;
    std::string ResRevenue;
    std::string LeiRevenue;
    std::string OtherRevenue;
    std::string Balance;
    std::string Credit;
    std::string Debit;
    std::string Company;
    rl::ByteField Lost;
    rl::ByteField Keepserit;
    rl::ByteField Borrow;
    std::string PhotoPath;
    rl::DateTimeValue EnterDate;
    std::string EnterPort;
    std::string VisaOrgan;
    std::string baoyue;
    std::string BgType;
    rl::ByteField IsPost;
    std::string RoomService;
};
