#include "recordlayer/TableRecord.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <ostream>
#include <variant>

#include "framework/gbktext.h"
#include "recordlayer/CDBException.h"
#include "recordlayer/DbConnection.h"
#include "recordlayer/OdbcCall.h"
#include "recordlayer/Statement.h"
#include "recordlayer/StatementText.h"

namespace rl {

namespace detail {

// A value on its way to a "?": where the driver reads it at execution (a
// number or timestamp here, a text in the member it came from or in ownText),
// and the SQL type and size it is declared with.
struct BoundValue {
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 0;
    SQLLEN length = 0;
    union {
        SQLINTEGER integer;
        SQLSMALLINT smallInteger;
        SQLBIGINT bigInteger;
        SQL_TIMESTAMP_STRUCT timestamp;
    } number{};
    const char* text = nullptr;
    std::string ownText;  // a caller's query parameter, kept until the query runs
};

}  // namespace detail

using detail::BoundValue;

const fw::RuntimeClass TableRecord::classTableRecord = {"TableRecord", nullptr};

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

bool FirstWordIsSelect(const char* sql) {
    if (sql == nullptr) return false;
    std::string_view text(sql);
    std::size_t start = text.find_first_not_of(" \t\r\n\f\v(");
    if (start == std::string_view::npos) return false;
    text.remove_prefix(start);
    if (text.size() < 6 || !fw::gbk::EqualIgnoringCase(text.substr(0, 6), "select")) return false;
    return text.size() == 6 ||
           !(std::isalnum(static_cast<unsigned char>(text[6])) || text[6] == '_');
}

std::string Unbracketed(std::string_view name) {
    std::string bare;
    for (char c : name)
        if (c != '[' && c != ']') bare += c;
    return bare;
}

std::string FormatLocal(const LocalDateTime& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return buffer;
}

SQL_TIMESTAMP_STRUCT ToTimestamp(const DateTimeValue& when) {
    const LocalDateTime t = when.ToLocal();
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = static_cast<SQLSMALLINT>(t.year);
    ts.month = static_cast<SQLUSMALLINT>(t.month);
    ts.day = static_cast<SQLUSMALLINT>(t.day);
    ts.hour = static_cast<SQLUSMALLINT>(t.hour);
    ts.minute = static_cast<SQLUSMALLINT>(t.minute);
    ts.second = static_cast<SQLUSMALLINT>(t.second);
    return ts;
}

// Reads a character column of the current row whole, however long.
bool GetText(SQLHSTMT stmt, SQLUSMALLINT column, std::string& out) {
    out.clear();
    char buffer[512];
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) return true;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt, "read a column");
        if (indicator == SQL_NULL_DATA) return false;
        const bool more =
            indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer);
        out.append(buffer, more ? sizeof buffer - 1 : static_cast<std::size_t>(indicator));
        if (!more) return true;
    }
}

// What each kind of member does, one overload per member type: a binding's
// member is visited once per operation and lands on the overload of its type.

template <class T, class Tag>
void Clear(Nullable<T, Tag>& member) {
    member.SetNull();
}
void Clear(std::string& member) { member.clear(); }
void Clear(DateTimeValue& member) { member.Clear(); }

template <class T, class Tag>
void Dump(std::ostream& out, const Nullable<T, Tag>& member) {
    if (member.IsNull())
        out << "null";
    else
        out << +member.Value();  // a byte as a number, not a character
}
void Dump(std::ostream& out, const std::string& member) { out << '"' << member << '"'; }
void Dump(std::ostream& out, const DateTimeValue& member) {
    if (member.HasValue())
        out << FormatLocal(member.ToLocal());
    else
        out << "no value";
}

// The text of a member that is not null.
template <class T, class Tag>
std::string Text(const Nullable<T, Tag>& member) {
    return std::to_string(+member.Value());
}
std::string Text(const std::string& member) { return member; }
std::string Text(const DateTimeValue& member) {
    return member.HasValue() ? FormatLocal(member.ToLocal()) : std::string();
}

// Reads the column into the member; false when the column is null.
template <class T, class Tag>
bool Read(SQLHSTMT stmt, SQLUSMALLINT column, Nullable<T, Tag>& member) {
    SQLINTEGER value = 0;
    SQLLEN indicator = 0;
    CheckOdbc(SQLGetData(stmt, column, SQL_C_SLONG, &value, 0, &indicator), SQL_HANDLE_STMT, stmt,
              "read a column");
    if (indicator == SQL_NULL_DATA)
        member.SetNull();
    else
        member = static_cast<T>(value);
    return indicator != SQL_NULL_DATA;
}
bool Read(SQLHSTMT stmt, SQLUSMALLINT column, std::string& member) {
    const bool present = GetText(stmt, column, member);
    if (member.size() > kTextColumnMax) member = fw::gbk::CutAtCharBoundary(member, kTextColumnMax);
    return present;
}
bool Read(SQLHSTMT stmt, SQLUSMALLINT column, DateTimeValue& member) {
    SQL_TIMESTAMP_STRUCT ts{};
    SQLLEN indicator = 0;
    CheckOdbc(SQLGetData(stmt, column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator),
              SQL_HANDLE_STMT, stmt, "read a column");
    member = indicator == SQL_NULL_DATA ? DateTimeValue()
                                        : DateTimeValue::FromLocal({.year = ts.year,
                                                                    .month = ts.month,
                                                                    .day = ts.day,
                                                                    .hour = ts.hour,
                                                                    .minute = ts.minute,
                                                                    .second = ts.second});
    return indicator != SQL_NULL_DATA;
}

// A text as the driver reads it from where it is: at most 255 bytes, cut at
// a character boundary.
void SetText(BoundValue& v, const std::string& text) {
    v.cType = SQL_C_CHAR;
    v.sqlType = SQL_VARCHAR;
    v.size = kTextColumnMax;
    v.text = text.data();
    v.length = static_cast<SQLLEN>(text.size() <= kTextColumnMax
                                       ? text.size()
                                       : fw::gbk::CutAtCharBoundary(text, kTextColumnMax).size());
}
void SetTimestamp(BoundValue& v, const DateTimeValue& when) {
    v.cType = SQL_C_TYPE_TIMESTAMP;
    v.sqlType = SQL_TYPE_TIMESTAMP;
    v.size = 19;
    v.number.timestamp = ToTimestamp(when);
    v.length = sizeof(SQL_TIMESTAMP_STRUCT);
}
void SetInteger(BoundValue& v, SQLINTEGER value, SQLSMALLINT sqlType, SQLULEN size) {
    v.cType = SQL_C_SLONG;
    v.sqlType = sqlType;
    v.size = size;
    v.number.integer = value;
}

// The member as the value of an insert; false when it is null (an empty text
// counts as null) and its column is left out.
bool InsertValue(BoundValue& v, const LongField& member) {
    if (member.IsNull()) return false;
    SetInteger(v, member.Value(), SQL_INTEGER, 10);
    return true;
}
bool InsertValue(BoundValue& v, const IntField& member) {
    if (member.IsNull()) return false;
    SetInteger(v, member.Value(), SQL_SMALLINT, 5);
    return true;
}
bool InsertValue(BoundValue& v, const ByteField& member) {
    // No tiny integer on PostgreSQL; a small integer converts to a tiny
    // integer column everywhere else.
    if (member.IsNull()) return false;
    v.cType = SQL_C_SSHORT;
    v.sqlType = SQL_SMALLINT;
    v.size = 5;
    v.number.smallInteger = member.Value();
    return true;
}
bool InsertValue(BoundValue& v, const std::string& member) {
    if (member.empty()) return false;
    SetText(v, member);
    return true;
}
bool InsertValue(BoundValue& v, const DateTimeValue& member) {
    if (!member.HasValue()) return false;
    SetTimestamp(v, member);
    return true;
}

// A caller's query parameter, copied: a query opened for later runs after
// the caller's values are gone.
void SetParam(BoundValue& v, const SqlParam& param) {
    std::visit(Overloaded{
                   [&](const std::string& text) {
                       v.ownText = text;
                       SetText(v, v.ownText);
                   },
                   [&](std::int64_t number) {
                       v.cType = SQL_C_SBIGINT;
                       v.sqlType = SQL_BIGINT;
                       v.size = 19;
                       v.number.bigInteger = number;
                   },
                   [&](const DateTimeValue& when) {
                       if (!when.HasValue())
                           throw CDBException("HY009", 0, "a date-time parameter has no value");
                       SetTimestamp(v, when);
                   },
               },
               param);
}

// Binds the values to the statement's "?" in order. The values must stay
// where they are until the statement has run.
void BindParameters(SQLHSTMT stmt, std::vector<BoundValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        BoundValue& v = values[i];
        SQLPOINTER buffer = &v.number;
        SQLLEN bufferLength = 0;
        if (v.cType == SQL_C_CHAR) {
            buffer = const_cast<char*>(v.text);
            bufferLength = v.length;
        } else if (v.cType == SQL_C_TYPE_TIMESTAMP) {
            bufferLength = sizeof(SQL_TIMESTAMP_STRUCT);
        }
        CheckOdbc(SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, v.cType,
                                   v.sqlType, v.size, 0, buffer, bufferLength, &v.length),
                  SQL_HANDLE_STMT, stmt, "bind a parameter");
    }
}

// The identity the statement's result (its first, or the first after the
// insert's row count) holds in its first column; nullopt when it holds none.
std::optional<std::int64_t> ReadIdentity(SQLHSTMT stmt) {
    SQLSMALLINT columns = 0;
    CheckOdbc(SQLNumResultCols(stmt, &columns), SQL_HANDLE_STMT, stmt, "read the identity");
    while (columns == 0) {
        const SQLRETURN rc = SQLMoreResults(stmt);
        if (rc == SQL_NO_DATA) return std::nullopt;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt, "read the identity");
        CheckOdbc(SQLNumResultCols(stmt, &columns), SQL_HANDLE_STMT, stmt, "read the identity");
    }
    const SQLRETURN rc = SQLFetch(stmt);
    CheckOdbc(rc, SQL_HANDLE_STMT, stmt, "read the identity", true);
    if (rc == SQL_NO_DATA) return std::nullopt;
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    CheckOdbc(SQLGetData(stmt, 1, SQL_C_SBIGINT, &value, 0, &indicator), SQL_HANDLE_STMT, stmt,
              "read the identity");
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    return value;
}

// The insert's values of the members that are not null, in binding order,
// and which bindings they are; the binding named skip is left out.
void CollectInsertValues(const std::vector<FieldBinding>& bindings, std::vector<BoundValue>& values,
                         ColumnMask& named, std::string_view skip = {}) {
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        if (!skip.empty() && bindings[i].name == skip) continue;
        values.emplace_back();
        if (std::visit([&](auto* member) { return InsertValue(values.back(), *member); },
                       bindings[i].member))
            named.set(i);
        else
            values.pop_back();
    }
}

const std::string& NoText() {
    static const std::string empty;
    return empty;
}

}  // namespace

TableRecord::TableRecord(DbConnection* db) : db_(db) {}

TableRecord::~TableRecord() { TableRecord::CloseRows(); }

const std::vector<FieldBinding>& TableRecord::Bindings() {
    if (!bound_) {
        FieldExchange fx;
        fx.Reserve(fieldCount_);
        ExchangeFields(fx);
        bindings_ = fx.TakeBindings();
        bound_ = true;
    }
    return bindings_;
}

RenderedClass& TableRecord::Rendered(const Dialect& dialect) {
    return RenderedFor(typeid(*this), Bindings(), dialect, [this] { return DefaultSql(); });
}

DbConnection& TableRecord::Connection() {
    if (db_ != nullptr) return *db_;
    if (!ownDb_) {
        auto db = std::make_unique<DbConnection>();
        db->OpenConnection(DefaultConnect());
        ownDb_ = std::move(db);
    }
    return *ownDb_;
}

void TableRecord::CheckValid() const {
    FieldExchange fx;
    const_cast<TableRecord*>(this)->ExchangeFields(fx);
    if (fx.Bindings().size() != fieldCount_) {
        std::fprintf(stderr, "%s: field count %u but %zu bindings\n", ClassInfo()->name,
                     fieldCount_, fx.Bindings().size());
        std::abort();
    }
}

void TableRecord::DumpState(std::ostream& out) const {
    FieldExchange fx;
    const_cast<TableRecord*>(this)->ExchangeFields(fx);
    out << ClassInfo()->name << " (" << fieldCount_
        << " fields, open: " << (IsOpen() ? "yes" : "no") << ")\n";
    for (const FieldBinding& b : fx.Bindings()) {
        out << "  " << b.name << " = ";
        std::visit([&](auto* member) { Dump(out, *member); }, b.member);
        out << '\n';
    }
}

bool TableRecord::IsOpen() const { return stmt_ && stmt_->Alive(); }

const std::string& TableRecord::LastSelectSql() const {
    return selectSql_ != nullptr ? *selectSql_ : NoText();
}

const std::string& TableRecord::LastInsertSql() const {
    return insertSql_ != nullptr ? *insertSql_ : NoText();
}

bool TableRecord::OpenRows(unsigned openType, const char* sql, unsigned /*options*/,
                           const std::vector<SqlParam>& params) {
    CloseRows();
    openType_ = openType == kUseDefault ? defaultOpenType_ : openType;
    DbConnection& db = Connection();
    const Dialect& dialect = db.GetDialect();
    const std::vector<FieldBinding>& bindings = Bindings();

    const bool isSelect = FirstWordIsSelect(sql);
    if (isSelect) {
        ownSelect_ = sql;
        selectSql_ = &ownSelect_;
    } else if (sql != nullptr && *sql != '\0') {
        ownSelect_ = RenderSelect(dialect, bindings, sql);
        selectSql_ = &ownSelect_;
    } else if (bindings.empty()) {
        ownSelect_ = RenderSelect(dialect, bindings, DefaultSql());
        selectSql_ = &ownSelect_;
    } else {
        selectSql_ = &Rendered(dialect).Select();
    }

    stmt_ = std::make_unique<Statement>(db);
    try {
        params_.resize(params.size());
        for (std::size_t i = 0; i < params.size(); ++i) SetParam(params_[i], params[i]);
        // The opening for an insert must not read the table (the SQLite
        // driver would materialise every row on execution), nor cost a
        // round trip: the statement is sent only when a row is wanted.
        const bool lazy = !isSelect && openType_ == KeysetOpen;
        atEnd_ = false;
        if (!lazy) EnsureExecuted();
    } catch (...) {
        CloseRows();
        throw;
    }
    return true;
}

void TableRecord::EnsureExecuted() {
    if (executed_ || !IsOpen()) return;
    Execute();
    Fetch();
}

void TableRecord::Execute() {
    BindParameters(stmt_->Handle(), params_);
    stmt_->Execute(*selectSql_, "run the query");
    executed_ = true;
    SQLSMALLINT count = 0;
    CheckOdbc(SQLNumResultCols(stmt_->Handle(), &count), SQL_HANDLE_STMT, stmt_->Handle(),
              "describe the result");
    columnNames_.assign(static_cast<std::size_t>(count), std::string());
    namesRead_ = false;
    columnTexts_.assign(columnNames_.size(), std::string());
    columnNull_.assign(columnNames_.size(), true);
}

// Names serve ColumnText only (a table record binds by position), so they
// are asked for when it first needs them. The label is what the select
// named, and unlike a full column description it costs the server no
// catalogue lookup.
void TableRecord::ReadColumnNames() {
    if (namesRead_) return;
    const SQLHSTMT stmt = stmt_->Handle();
    for (std::size_t c = 0; c < columnNames_.size(); ++c) {
        SQLCHAR name[256] = {};
        SQLSMALLINT nameLength = 0;
        CheckOdbc(SQLColAttribute(stmt, static_cast<SQLUSMALLINT>(c + 1), SQL_DESC_LABEL, name,
                                  sizeof name, &nameLength, nullptr),
                  SQL_HANDLE_STMT, stmt, "describe the result");
        columnNames_[c] = reinterpret_cast<char*>(name);
    }
    namesRead_ = true;
}

void TableRecord::Fetch() {
    if (columnNames_.empty()) {
        atEnd_ = true;
        return;
    }
    const SQLHSTMT stmt = stmt_->Handle();
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) {
        atEnd_ = true;
        return;
    }
    CheckOdbc(rc, SQL_HANDLE_STMT, stmt, "fetch a row");
    atEnd_ = false;
    ReadRow();
}

void TableRecord::ReadRow() {
    const SQLHSTMT stmt = stmt_->Handle();
    for (std::size_t i = 0; i < columnNames_.size(); ++i) {
        const auto column = static_cast<SQLUSMALLINT>(i + 1);
        if (i < bindings_.size()) {
            columnNull_[i] = !std::visit([&](auto* member) { return Read(stmt, column, *member); },
                                         bindings_[i].member);
        } else {
            columnNull_[i] = !Read(stmt, column, columnTexts_[i]);
        }
    }
}

bool TableRecord::AtEnd() {
    if (!IsOpen()) return true;
    EnsureExecuted();
    return atEnd_;
}

void TableRecord::NextRow() {
    if (!IsOpen()) return;
    if (!executed_) {
        EnsureExecuted();
        if (atEnd_) return;
    }
    if (!atEnd_) Fetch();
}

void TableRecord::ColumnText(std::string_view column, std::string& out) {
    const std::string wanted = Unbracketed(column);
    EnsureExecuted();
    if (!IsOpen()) throw CDBException("24000", 0, "no open result to read " + wanted + " from");
    ReadColumnNames();
    std::size_t index = columnNames_.size();
    for (std::size_t i = 0; i < columnNames_.size(); ++i)
        if (fw::gbk::EqualIgnoringCase(columnNames_[i], wanted)) {
            index = i;
            break;
        }
    if (index == columnNames_.size())
        throw CDBException("42S22", 0,
                           "no column named " + wanted + " in the result of " + LastSelectSql());
    if (atEnd_) throw CDBException("24000", 0, "no current row to read " + wanted + " from");
    if (columnNull_[index]) {
        out.clear();
        return;
    }
    if (index >= bindings_.size()) {
        out = columnTexts_[index];
        return;
    }
    out = std::visit([](auto* member) { return Text(*member); }, bindings_[index].member);
}

void TableRecord::CloseRows() {
    stmt_.reset();
    executed_ = false;
    atEnd_ = true;
    params_.clear();
    columnNames_.clear();
    columnTexts_.clear();
    columnNull_.clear();
}

void TableRecord::BeginNewRow() {
    for (const FieldBinding& b : Bindings())
        std::visit([](auto* member) { Clear(*member); }, b.member);
}

bool TableRecord::SaveRow() {
    Insert(nullptr);
    return true;
}

std::optional<std::int64_t> TableRecord::SaveRowGetIdentity(const char* identityColumn) {
    return Insert(identityColumn);
}

std::optional<std::int64_t> TableRecord::SaveRowsGetIdentity(const char* identityColumn,
                                                             TableRecord& follower,
                                                             const char* followerColumn) {
    DbConnection& db = Connection();
    const Dialect& dialect = db.GetDialect();
    if (!dialect.ChainsInserts()) {
        const std::optional<std::int64_t> assigned = Insert(identityColumn);
        if (!assigned) return std::nullopt;
        follower.AssignNumber(followerColumn, *assigned);
        follower.Insert(nullptr);
        return assigned;
    }
    // One round trip: "with i as (insert ... returning <identity>) insert
    // into <follower's table> (..., <column>) select ?, ..., i.<identity>
    // from i returning <column>"; this row's values, then the follower's.
    std::vector<BoundValue> values;
    values.reserve(Bindings().size() + follower.Bindings().size());
    ColumnMask named, followerNamed;
    CollectInsertValues(Bindings(), values, named);
    CollectInsertValues(follower.Bindings(), values, followerNamed, followerColumn);
    const std::string identity = dialect.RenderName(identityColumn);
    const std::string column = dialect.RenderName(followerColumn);
    std::string scratch;
    ownInsert_ =
        "with i as (" + Rendered(dialect).Insert(named, identityColumn, scratch) + ") " +
        follower.Rendered(dialect).InsertSelect(followerNamed, column, "i." + identity, "i") +
        dialect.IdentityClause(column);
    insertSql_ = &ownInsert_;

    Statement stmt(db);
    BindParameters(stmt.Handle(), values);
    stmt.Execute(*insertSql_, "insert two rows");
    const std::optional<std::int64_t> assigned = ReadIdentity(stmt.Handle());
    if (!assigned)
        throw CDBException("02000", 0,
                           "the insert into " + DefaultSql() + " assigned no " + identityColumn);
    follower.AssignNumber(followerColumn, *assigned);
    return assigned;
}

void TableRecord::AssignNumber(std::string_view column, std::int64_t value) {
    for (const FieldBinding& b : Bindings()) {
        if (b.name != column) continue;
        if (value < std::numeric_limits<std::int32_t>::min() ||
            value > std::numeric_limits<std::int32_t>::max())
            throw CDBException(
                "22003", 0,
                "the identity " + std::to_string(value) + " does not fit " + std::string(column));
        std::visit(
            Overloaded{[&](LongField* m) { *m = static_cast<std::int32_t>(value); },
                       [&](IntField* m) { *m = static_cast<std::int32_t>(value); }, [](auto*) {}},
            b.member);
        return;
    }
}

std::optional<std::int64_t> TableRecord::Insert(const char* identityColumn) {
    DbConnection& db = Connection();
    const Dialect& dialect = db.GetDialect();
    RenderedClass& rendered = Rendered(dialect);

    // The insert's own values, apart from any open query's parameters; room
    // for all first, so that none moves once bound.
    std::vector<BoundValue> values;
    values.reserve(Bindings().size());
    ColumnMask named;
    CollectInsertValues(Bindings(), values, named);

    const std::string_view identity = identityColumn != nullptr ? identityColumn : "";
    const bool known = dialect.identity != IdentityRead::None;
    insertSql_ = &rendered.Insert(named, known ? identity : "", ownInsert_);

    Statement stmt(db);
    BindParameters(stmt.Handle(), values);
    stmt.Execute(*insertSql_, "insert a row");
    if (identity.empty() || !known) return std::nullopt;
    if (dialect.identity == IdentityRead::QueryAfter) {
        stmt.Reset();
        stmt.Execute(dialect.IdentityQuery(), "read the identity");
    }
    if (std::optional<std::int64_t> assigned = ReadIdentity(stmt.Handle())) return assigned;
    throw CDBException("02000", 0,
                       "the insert into " + DefaultSql() + " assigned no " + std::string(identity));
}

}  // namespace rl
