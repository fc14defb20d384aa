// One row of the hotel's folio table: an account kept for a guest. The import
// opens one per booking; [GstAcct] holds the guest's account number.
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

class CFOLIOTbl : public rl::TableRecord {
  public:
    static constexpr const char* kTableName = "[dbo].[FOLIO]";
    static constexpr const char* kDefaultConnect = "ODBC;DSN=velmardb;UID=sa;PWD=";
    static constexpr unsigned kDefaultOpenType = rl::SnapshotOpen;
    static constexpr unsigned kFieldCount = 20;

    explicit CFOLIOTbl(rl::DbConnection* db);
    ~CFOLIOTbl() override;

    static const fw::RuntimeClass classCFOLIOTbl;
    static const fw::RuntimeClass* Class() { return &classCFOLIOTbl; }
    const fw::RuntimeClass* ClassInfo() const override { return &classCFOLIOTbl; }

    std::string DefaultConnect() const override { return kDefaultConnect; }
    std::string DefaultSql() const override { return kTableName; }
    void ExchangeFields(rl::FieldExchange& fx) override;

    // Columns, in binding order.
    rl::LongField Serial;
    rl::LongField GstAcct;
    rl::LongField GrpAcct;
    rl::LongField CompAcct;
    std::string Code;
    std::string Descp;
    rl::LongField Txfr_Gstacct;
    rl::LongField Txfr_Grpacct;
    rl::LongField Txfr_Compacct;
    rl::ByteField Txfr_type;
    std::string Txfr_code;
    rl::ByteField Txfr_dtl;
    rl::LongField Txfr_Aracct;
    std::string ConfirmMan;
    std::string Debit;
    std::string Credit;
    std::string Paid;
    std::string Txfred;
    std::string Balance;
    std::string Note;
};
