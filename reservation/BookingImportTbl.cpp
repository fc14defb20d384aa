#include "reservation/BookingImportTbl.h"

const fw::RuntimeClass CBookingImportTbl::classCBookingImportTbl = {
    "CBookingImportTbl", &rl::TableRecord::classTableRecord};

CBookingImportTbl::CBookingImportTbl(rl::DbConnection* db) : rl::TableRecord(db) {
    fieldCount_ = kFieldCount;
    defaultOpenType_ = kDefaultOpenType;
}

CBookingImportTbl::~CBookingImportTbl() = default;

void CBookingImportTbl::ExchangeFields(rl::FieldExchange& fx) {
    fx.Text("[FileKey]", FileKey);
    fx.Long("[GstAcct]", GstAcct);
    fx.DateTime("[ImportedAt]", ImportedAt);
    fx.Text("[HostTag]", HostTag);
}
