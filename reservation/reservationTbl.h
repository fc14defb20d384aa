// One row of the hotel's reservation table. The import adds one per booking,
// after the guest's profile and before the guest's folio; [GstAcct] holds the
// guest's account number ([Acct] of the guest profile).
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

class CreservationTbl : public rl::TableRecord {
  public:
    static constexpr const char* kTableName = "[dbo].[Reservation]";
    static constexpr const char* kDefaultConnect = "ODBC;DSN=velmardb";
    static constexpr unsigned kDefaultOpenType = rl::KeysetOpen;
    static constexpr unsigned kFieldCount = 108;

    explicit CreservationTbl(rl::DbConnection* db);
    ~CreservationTbl() override;

    static const fw::RuntimeClass classCreservationTbl;
    static const fw::RuntimeClass* Class() { return &classCreservationTbl; }
    const fw::RuntimeClass* ClassInfo() const override { return &classCreservationTbl; }

    std::string DefaultConnect() const override { return kDefaultConnect; }
    std::string DefaultSql() const override { return kTableName; }
    void ExchangeFields(rl::FieldExchange& fx) override;

    // Columns, in binding order.
    rl::LongField Register;
    std::string CRONum;
    rl::LongField GstAcct;
    rl::LongField GrpAcct;
    std::string GrpName;
    rl::LongField CompanyAcct;
    std::string CompanyName;
    rl::LongField TaAcct;
    std::string TaName;
    rl::LongField ArAcct;
    std::string TaDptCode;
    std::string SaleManCode;
    std::string Introducer;
    std::string Voucher;
    std::string Paymethod;
    std::string OrgCode;
    std::string GstType;
    rl::IntField ConsumStyle;
    std::string MarketCode;
    std::string DepositReq;
    rl::DateTimeValue DepositDueDate;
    std::string DepositReceived;
    std::string ReserveType;
    std::string RsrvMan;
    std::string RsrvManPhone;
    rl::IntField Adults;
    rl::ByteField Childs;
    rl::ByteField AdultsInRm;
    rl::ByteField ChildrenInRm;
    std::string CreditType;
    std::string CreditNum;
    rl::DateTimeValue CreditExpire;
    rl::DateTimeValue ArrDate;
    std::string ArrTime;
    rl::DateTimeValue DptDate;
    std::string DptTime;
    rl::DateTimeValue ConfirmDate;
    rl::DateTimeValue CutOff;
    std::string RmType;
    rl::IntField RmNumbers;
    std::string Room;
    rl::ByteField ChgRoom;
    rl::ByteField Share;
    rl::ByteField ShareRate;
    std::string RateCode;
    std::string RmRate;
    std::string WeekenRate;
    std::string DiscountCode;
    std::string AdjRate;
    std::string MoneyType;
    std::string FolioRate;
    std::string WeekenFolioRate;
    rl::ByteField GhAdj;
    rl::ByteField HasPackage;
    std::string Packages;
    rl::ByteField NoPost;
    rl::ByteField NoService;
    rl::ByteField NoTaxt;
    std::string TotalComm;
    std::string FromAddr;
    std::string ToAddr;
    std::string ArrCarrier;
    std::string ArrFly;
    std::string ArrFlyTime;
    std::string DptCarrier;
    std::string DptFly;
    std::string ChkinTime;
    std::string ChkoutTime;
    std::string Credit;
    std::string Debit;
    std::string Folio;
    std::string BillRm;
    std::string BillGst;
    std::string OrgClerk;
    std::string OrgDate;
    std::string OrgTime;
    std::string ChgClerk;
    rl::DateTimeValue ChgDate;
    std::string ChgTime;
    std::string CxlClerk;
    rl::DateTimeValue CxlDate;
    std::string CxlTime;
    std::string CxlCode;
    rl::ByteField Del;
    std::string PostCtrl;
    std::string PostGrpCtrl;
    rl::LongField Confirmation;
    std::string WakeupTime;
    std::string MealStand;
    rl::ByteField Status;
    std::string Special;
    std::string Note;
    std::string Extrarate;
    rl::ByteField Extrabed;
    rl::ByteField FrontChkOut;
    rl::ByteField HasSent1;
    rl::ByteField HasSent2;
    rl::LongField lianfang;
    std::string RmType0;
    rl::LongField Reserve_register;
    rl::ByteField OverBook;
    std::string CutOffTime;
    rl::ByteField Waiting;
    std::string RmNoChgAuth;
    std::string RmNoChgReason;
    std::string RmRateChgAuth;
    std::string RmRateChgReason;
    std::string ConfirmClerk;
};
