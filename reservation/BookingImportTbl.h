// One row of the import ledger BookingImport, the module's own table in the
// hotel database: the booking file a transaction imported (FileKey, the
// primary key), the guest account it created, when, and which host process
// did it. Each import writes its row inside the booking's own transaction,
// so the database itself refuses a second import of the same file from any
// host (see ImportLedger.h).
//
// A table record (see recordlayer/TableRecord.h): one public member per
// column, named by the column and declared in binding order. Constructed with
// the connection to use (borrowed). Not copyable, not thread-safe.
#pragma once

#include <string>

#include "framework/runtimeclass.h"
#include "recordlayer/DateTimeValue.h"
#include "recordlayer/TableRecord.h"

class CBookingImportTbl : public rl::TableRecord {
  public:
    static constexpr const char* kTableName = "[dbo].[BookingImport]";
    static constexpr const char* kDefaultConnect = "ODBC;DSN=velmardb;UID=sa;PWD=";
    static constexpr unsigned kDefaultOpenType = rl::SnapshotOpen;
    static constexpr unsigned kFieldCount = 4;

    explicit CBookingImportTbl(rl::DbConnection* db);
    ~CBookingImportTbl() override;

    static const fw::RuntimeClass classCBookingImportTbl;
    static const fw::RuntimeClass* Class() { return &classCBookingImportTbl; }
    const fw::RuntimeClass* ClassInfo() const override { return &classCBookingImportTbl; }

    std::string DefaultConnect() const override { return kDefaultConnect; }
    std::string DefaultSql() const override { return kTableName; }
    void ExchangeFields(rl::FieldExchange& fx) override;

    // Columns, in binding order.
    std::string FileKey;
    rl::LongField GstAcct;
    rl::DateTimeValue ImportedAt;
    std::string HostTag;
};
