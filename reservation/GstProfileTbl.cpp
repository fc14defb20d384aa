#include "reservation/GstProfileTbl.h"

const fw::RuntimeClass CGstProfileTbl::classCGstProfileTbl = {"CGstProfileTbl",
                                                              &rl::TableRecord::classTableRecord};

CGstProfileTbl::CGstProfileTbl(rl::DbConnection* db) : rl::TableRecord(db) {
    fieldCount_ = kFieldCount;
    defaultOpenType_ = kDefaultOpenType;
}

CGstProfileTbl::~CGstProfileTbl() = default;

void CGstProfileTbl::ExchangeFields(rl::FieldExchange& fx) {
    fx.Long("[Acct]", Acct);
    fx.Text("[MemNum]", MemNum);
    fx.Text("[ChnName]", ChnName);
    fx.Text("[EngName]", EngName);
    fx.Text("[Sex]", Sex);
    fx.Text("[VIP]", VIP);
    fx.Text("[SalCode]", SalCode);
    fx.Long("[CompanyAcct]", CompanyAcct);
    fx.Long("[GrpAcct]", GrpAcct);
    fx.Long("[TaAcct]", TaAcct);
    fx.Long("[ArAcct]", ArAcct);
    fx.Text("[Address]", Address);
    fx.Text("[PosCode]", PosCode);
    fx.Text("[Notice]", Notice);
    fx.Text("[Phone]", Phone);
    fx.Text("[Fax]", Fax);
    fx.Text("[Email]", Email);
    fx.Text("[Special]", Special);
    fx.Text("[Spouse]", Spouse);
    fx.DateTime("[SpouseBirth]", SpouseBirth);
    fx.Text("[Child1]", Child1);
    fx.DateTime("[Chid1Birth]", Chid1Birth);
    fx.Text("[Child2]", Child2);
    fx.DateTime("[Child2Birth]", Child2Birth);
    fx.Text("[Child3]", Child3);
    fx.DateTime("[Child3Birth]", Child3Birth);
    fx.Text("[PasType]", PasType);
    fx.Text("[Pasprt]", Pasprt);
    fx.DateTime("[PasExp]", PasExp);
    fx.DateTime("[BirthDate]", BirthDate);
    fx.Text("[VisaType]", VisaType);
    fx.Text("[VisaNum]", VisaNum);
    fx.DateTime("[VisaExp]", VisaExp);
    fx.Byte("[Blacklist]", Blacklist);
    fx.Text("[BlackMemo]", BlackMemo);
    fx.Int("[Cashlist]", Cashlist);
    fx.Text("[CashMemo]", CashMemo);
    fx.Text("[Contact]", Contact);
    fx.Text("[AreaCode]", AreaCode);
    fx.Text("[NationCode]", NationCode);
    fx.Text("[Lang]", Lang);
    fx.Text("[PreRoom]", PreRoom);
    fx.Text("[RoomFeature]", RoomFeature);
    fx.Byte("[Status]", Status);
    fx.Text("[OrgDate]", OrgDate);
    fx.Text("[OrgTime]", OrgTime);
    fx.Text("[OrgClerk]", OrgClerk);
    fx.DateTime("[ChangeDate]", ChangeDate);
    fx.Text("[ChangeTime]", ChangeTime);
    fx.Text("[ChangeClerk]", ChangeClerk);
    fx.DateTime("[CxlDate]", CxlDate);
    fx.Text("[CxlTime]", CxlTime);
    fx.Text("[CxlClerk]", CxlClerk);
    fx.Text("[LastRoom]", LastRoom);
    fx.DateTime("[LastVisit]", LastVisit);
    fx.Text("[LastPrice]", LastPrice);
    fx.Int("[Cancellation]", Cancellation);
    fx.Int("[NoShow]", NoShow);
    fx.Int("[RmNights]", RmNights);
    fx.Int("[CheckinNm]", CheckinNm);
    fx.Text("[RmRevenue]", RmRevenue);
    fx.Text("[ResRevenue]", ResRevenue);
    fx.Text("[LeiRevenue]", LeiRevenue);
    fx.Text("[OtherRevenue]", OtherRevenue);
    fx.Text("[Balance]", Balance);
    fx.Text("[Credit]", Credit);
    fx.Text("[Debit]", Debit);
    fx.Text("[Company]", Company);
    fx.Byte("[Lost]", Lost);
    fx.Byte("[Keepserit]", Keepserit);
    fx.Byte("[Borrow]", Borrow);
    fx.Text("[PhotoPath]", PhotoPath);
    fx.DateTime("[EnterDate]", EnterDate);
    fx.Text("[EnterPort]", EnterPort);
    fx.Text("[VisaOrgan]", VisaOrgan);
    fx.Text("[baoyue]", baoyue);
    fx.Text("[BgType]", BgType);
    fx.Byte("[IsPost]", IsPost);
    fx.Text("[RoomService]", RoomService);
}
