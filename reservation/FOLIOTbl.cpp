#include "reservation/FOLIOTbl.h"

const fw::RuntimeClass CFOLIOTbl::classCFOLIOTbl = {"CFOLIOTbl",
                                                    &rl::TableRecord::classTableRecord};

CFOLIOTbl::CFOLIOTbl(rl::DbConnection* db) : rl::TableRecord(db) {
    fieldCount_ = kFieldCount;
    defaultOpenType_ = kDefaultOpenType;
}

CFOLIOTbl::~CFOLIOTbl() = default;

void CFOLIOTbl::ExchangeFields(rl::FieldExchange& fx) {
    fx.Long("[Serial]", Serial);
    fx.Long("[GstAcct]", GstAcct);
    fx.Long("[GrpAcct]", GrpAcct);
    fx.Long("[CompAcct]", CompAcct);
    fx.Text("[Code]", Code);
    fx.Text("[Descp]", Descp);
    fx.Long("[Txfr_Gstacct]", Txfr_Gstacct);
    fx.Long("[Txfr_Grpacct]", Txfr_Grpacct);
    fx.Long("[Txfr_Compacct]", Txfr_Compacct);
    fx.Byte("[Txfr_type]", Txfr_type);
    fx.Text("[Txfr_code]", Txfr_code);
    fx.Byte("[Txfr_dtl]", Txfr_dtl);
    fx.Long("[Txfr_Aracct]", Txfr_Aracct);
    fx.Text("[ConfirmMan]", ConfirmMan);
    fx.Text("[Debit]", Debit);
    fx.Text("[Credit]", Credit);
    fx.Text("[Paid]", Paid);
    fx.Text("[Txfred]", Txfred);
    fx.Text("[Balance]", Balance);
    fx.Text("[Note]", Note);
}
