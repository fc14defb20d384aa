// The record base of the table classes and the plain query record.
//
// A table record holds one row of its table in public members, one per
// column, which a subclass lists in ExchangeFields in binding order. The same
// list serves reading a fetched row (result columns bound by position), the
// column list of the default query, and the values of an insert. Every value
// of an insert or of a query parameter is passed as a bound parameter; no
// value is ever pasted into SQL text.
//
// The connection is borrowed and must outlive the record. A record has at most
// one result set open; destroying an open record closes it. Not thread-safe.
// Every failure throws CDBException.
//
// The SQL a class sends (its rendered names, its default query, its inserts)
// is rendered once per process for each dialect; a record holds a statement
// handle of its connection only while a result set is open or an insert runs.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "DateTimeValue.h"
#include "FieldExchange.h"
#include "framework/runtimeclass.h"

namespace rl {

class DbConnection;

class Statement;      // private to the record layer
class RenderedClass;  // private to the record layer
struct Dialect;
namespace detail {
struct BoundValue;  // a parameter's buffer, its SQL type and length
}

enum OpenType : unsigned { KeysetOpen = 0, SnapshotOpen = 1 };

// Every text column holds at most this many bytes; longer texts are cut at a
// GBK character boundary when read and when written.
constexpr std::size_t kTextColumnMax = 255;

// A value bound to a "?" of a caller's statement.
using SqlParam = std::variant<std::string, std::int64_t, DateTimeValue>;

class TableRecord {
  public:
    // A plain query record (no bindings, field count 0) when used directly.
    explicit TableRecord(DbConnection* db);
    virtual ~TableRecord();
    TableRecord(const TableRecord&) = delete;
    TableRecord& operator=(const TableRecord&) = delete;

    static const fw::RuntimeClass classTableRecord;
    virtual const fw::RuntimeClass* ClassInfo() const { return &classTableRecord; }
    bool IsKindOf(const fw::RuntimeClass* c) const { return ClassInfo()->IsDerivedFrom(c); }

    // Debug diagnostics: CheckValid aborts on a broken invariant (field count
    // not equal to the binding list); DumpState writes the members.
    virtual void CheckValid() const;
    virtual void DumpState(std::ostream& out) const;

    // Opens a result set. openType KeysetOpen or SnapshotOpen (kUseDefault:
    // the class's default). sql null or empty: the default query, the bound
    // columns in binding order from DefaultSql(); a KeysetOpen of the default
    // query is not sent to the driver until AtEnd() or NextRow() is called,
    // so it reads no rows, costs no round trip and holds no statement handle
    // until then (an insert needs no open result set at all). A text
    // whose first word is "select" (any case) runs unchanged with params
    // bound to its "?", and the record stands on its first row. Either is one
    // direct execution; nothing is prepared. Without a connection the record
    // opens one of its own with DefaultConnect(). Returns true; failures
    // throw CDBException.
    static constexpr unsigned kUseDefault = 0xFFFFFFFFu;
    virtual bool OpenRows(unsigned openType = kUseDefault, const char* sql = nullptr,
                          unsigned options = 0, const std::vector<SqlParam>& params = {});
    virtual void CloseRows();
    // False also when the connection was closed under the record.
    bool IsOpen() const;

    // True when positioned past the last row (or on an empty result).
    bool AtEnd();
    void NextRow();

    // Text of the named result column (unbracketed, any case) on the current
    // row; a null column reads as "". Throws CDBException when there is no
    // such column.
    void ColumnText(std::string_view column, std::string& out);

    // Starts a new row: text members empty, other members null.
    virtual void BeginNewRow();
    // Inserts the new row with the members that are no longer null (an empty
    // text counts as null). Returns true; failures throw CDBException.
    virtual bool SaveRow();
    // Inserts the new row as SaveRow does and answers the identity the
    // database assigned to its column identityColumn (declared: "[Acct]"),
    // read the cheapest way the dialect knows (IdentityRead): the insert's
    // own result, or a query on the same connection straight after it.
    // Either way it is the identity of this row, never of another session's.
    // nullopt, with the row inserted, when the database is of a family the
    // dialect does not know; the caller must then find the row some other
    // way. Throws CDBException (02000 when the database assigned none).
    std::optional<std::int64_t> SaveRowGetIdentity(const char* identityColumn);
    // Inserts the new row and answers its identity as SaveRowGetIdentity
    // does, and follower's new row with its numeric column followerColumn
    // (declared: "[GstAcct]") set to that identity: in one statement where
    // the dialect chains inserts (Dialect::ChainsInserts), in two elsewhere.
    // nullopt, with this row inserted and follower not, when the database is
    // of a family the dialect does not know. A failure of either insert
    // throws CDBException, which one it was unsaid.
    std::optional<std::int64_t> SaveRowsGetIdentity(const char* identityColumn,
                                                    TableRecord& follower,
                                                    const char* followerColumn);

    virtual std::string DefaultConnect() const { return ""; }
    virtual std::string DefaultSql() const { return ""; }
    virtual void ExchangeFields(FieldExchange&) {}

    unsigned FieldCount() const { return fieldCount_; }
    unsigned DefaultOpenType() const { return defaultOpenType_; }
    // The open type of the result set open now (or last opened).
    unsigned CurrentOpenType() const { return openType_; }
    // The SQL text of the last OpenRows / SaveRow, as it is (or would be)
    // sent to the driver.
    const std::string& LastSelectSql() const;
    const std::string& LastInsertSql() const;

  protected:
    unsigned fieldCount_ = 0;
    unsigned defaultOpenType_ = SnapshotOpen;

  private:
    // The members as ExchangeFields lists them, collected once.
    const std::vector<FieldBinding>& Bindings();
    // This class's SQL in dialect, rendered once per process.
    RenderedClass& Rendered(const Dialect& dialect);
    std::optional<std::int64_t> Insert(const char* identityColumn);
    // Sets the numeric member of the column named (declared) to value.
    void AssignNumber(std::string_view column, std::int64_t value);
    void Execute();
    void Fetch();
    void ReadRow();
    void EnsureExecuted();
    void ReadColumnNames();
    DbConnection& Connection();

    DbConnection* db_;
    std::unique_ptr<DbConnection> ownDb_;  // opened with DefaultConnect() when db_ is null
    std::unique_ptr<Statement> stmt_;      // of the open result set
    unsigned openType_ = SnapshotOpen;
    bool executed_ = false;
    bool atEnd_ = true;
    bool bound_ = false;  // bindings_ collected
    std::vector<FieldBinding> bindings_;
    std::vector<detail::BoundValue> params_;  // alive until the statement runs
    std::vector<std::string> columnNames_;
    bool namesRead_ = false;
    std::vector<std::string> columnTexts_;  // result columns past the bindings
    std::vector<bool> columnNull_;
    const std::string* selectSql_ = nullptr;  // kept per class, or ownSelect_
    std::string ownSelect_;
    const std::string* insertSql_ = nullptr;  // kept per class, or ownInsert_
    std::string ownInsert_;
};

}  // namespace rl
