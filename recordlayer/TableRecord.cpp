#include "recordlayer/TableRecord.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <variant>

#include "framework/gbktext.h"
#include "recordlayer/CDBException.h"
#include "recordlayer/DbConnection.h"

namespace rl {

namespace detail {

// A value on its way to a "?": the buffer the driver reads at execution, and
// the SQL type and size it is declared with.
struct BoundValue {
    std::variant<SQLINTEGER, SQLSMALLINT, SQLBIGINT, std::string, SQL_TIMESTAMP_STRUCT> buffer;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 0;
    SQLLEN length = 0;
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

SQLCHAR* SqlText(const std::string& sql) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data()));
}

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

std::string FormatTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02u:%02u:%02u", ts.year, ts.month, ts.day,
                  ts.hour, ts.minute, ts.second);
    return buffer;
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
        out << FormatTimestamp(member.ToTimestamp());
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
    return member.HasValue() ? FormatTimestamp(member.ToTimestamp()) : std::string();
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
    std::string text;
    const bool present = GetText(stmt, column, text);
    member = fw::gbk::CutAtCharBoundary(text, kTextColumnMax);
    return present;
}
bool Read(SQLHSTMT stmt, SQLUSMALLINT column, DateTimeValue& member) {
    SQL_TIMESTAMP_STRUCT ts{};
    SQLLEN indicator = 0;
    CheckOdbc(SQLGetData(stmt, column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator),
              SQL_HANDLE_STMT, stmt, "read a column");
    member = indicator == SQL_NULL_DATA ? DateTimeValue() : DateTimeValue::FromTimestamp(ts);
    return indicator != SQL_NULL_DATA;
}

BoundValue TextValue(const std::string& text) {
    return {fw::gbk::CutAtCharBoundary(text, kTextColumnMax), SQL_VARCHAR, kTextColumnMax};
}
BoundValue TimestampValue(const DateTimeValue& when) {
    return {when.ToTimestamp(), SQL_TYPE_TIMESTAMP, 19};
}

// The member as the value of an insert; nullopt when it is null (an empty
// text counts as null) and its column is left out.
std::optional<BoundValue> InsertValue(const LongField& member) {
    if (member.IsNull()) return std::nullopt;
    return BoundValue{SQLINTEGER{member.Value()}, SQL_INTEGER, 10};
}
std::optional<BoundValue> InsertValue(const IntField& member) {
    if (member.IsNull()) return std::nullopt;
    return BoundValue{SQLINTEGER{member.Value()}, SQL_SMALLINT, 5};
}
std::optional<BoundValue> InsertValue(const ByteField& member) {
    // No tiny integer on PostgreSQL; a small integer converts to a tiny
    // integer column everywhere else.
    if (member.IsNull()) return std::nullopt;
    return BoundValue{SQLSMALLINT{member.Value()}, SQL_SMALLINT, 5};
}
std::optional<BoundValue> InsertValue(const std::string& member) {
    BoundValue v = TextValue(member);
    if (std::get<std::string>(v.buffer).empty()) return std::nullopt;
    return v;
}
std::optional<BoundValue> InsertValue(const DateTimeValue& member) {
    if (!member.HasValue()) return std::nullopt;
    return TimestampValue(member);
}

// A caller's query parameter.
BoundValue ParamValue(const SqlParam& param) {
    return std::visit(Overloaded{
                          [](const std::string& text) { return TextValue(text); },
                          [](std::int64_t number) {
                              return BoundValue{SQLBIGINT{number}, SQL_BIGINT, 19};
                          },
                          [](const DateTimeValue& when) {
                              if (!when.HasValue())
                                  throw CDBException("HY009", 0,
                                                     "a date-time parameter has no value");
                              return TimestampValue(when);
                          },
                      },
                      param);
}

// Binds the values to the statement's "?" in order. The values must stay
// where they are until the statement has run.
void BindParameters(SQLHSTMT stmt, std::vector<BoundValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        BoundValue& v = values[i];
        const auto n = static_cast<SQLUSMALLINT>(i + 1);
        auto bind = [&](SQLSMALLINT cType, SQLPOINTER value, SQLLEN bufferLength) {
            CheckOdbc(SQLBindParameter(stmt, n, SQL_PARAM_INPUT, cType, v.sqlType, v.size, 0, value,
                                       bufferLength, &v.length),
                      SQL_HANDLE_STMT, stmt, "bind a parameter");
        };
        std::visit(Overloaded{
                       [&](SQLINTEGER& x) { bind(SQL_C_SLONG, &x, 0); },
                       [&](SQLSMALLINT& x) { bind(SQL_C_SSHORT, &x, 0); },
                       [&](SQLBIGINT& x) { bind(SQL_C_SBIGINT, &x, 0); },
                       [&](std::string& text) {
                           v.length = static_cast<SQLLEN>(text.size());
                           bind(SQL_C_CHAR, text.data(), static_cast<SQLLEN>(text.size() + 1));
                       },
                       [&](SQL_TIMESTAMP_STRUCT& ts) {
                           v.length = sizeof ts;
                           bind(SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts);
                       },
                   },
                   v.buffer);
    }
}

// A statement handle freed on every path.
class Statement {
  public:
    explicit Statement(SQLHSTMT stmt) : stmt_(stmt) {}
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT get() const { return stmt_; }

  private:
    SQLHSTMT stmt_;
};

}  // namespace

TableRecord::TableRecord(DbConnection* db) : db_(db) {}

TableRecord::~TableRecord() { TableRecord::CloseRows(); }

std::vector<FieldBinding> TableRecord::CollectBindings() {
    FieldExchange fx;
    ExchangeFields(fx);
    return fx.Bindings();
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

bool TableRecord::OpenRows(unsigned openType, const char* sql, unsigned /*options*/,
                           const std::vector<SqlParam>& params) {
    CloseRows();
    openType_ = openType == kUseDefault ? defaultOpenType_ : openType;
    DbConnection& db = Connection();
    const Dialect& dialect = db.GetDialect();
    bindings_ = CollectBindings();

    const bool isSelect = FirstWordIsSelect(sql);
    if (isSelect) {
        selectSql_ = sql;
    } else {
        std::string columns;
        for (const FieldBinding& b : bindings_) {
            if (!columns.empty()) columns += ',';
            columns += dialect.RenderName(b.name);
        }
        const std::string table = (sql != nullptr && *sql != '\0') ? sql : DefaultSql();
        selectSql_ = "select " + (columns.empty() ? std::string("*") : columns) + " from " +
                     dialect.RenderName(table);
    }

    stmt_ = db.AllocateStatement();
    attachedTo_ = &db;
    db.Attach(this);
    try {
        params_.clear();
        for (const SqlParam& param : params) params_.push_back(ParamValue(param));
        BindParameters(stmt_, params_);
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
    if (executed_ || stmt_ == SQL_NULL_HSTMT) return;
    Execute();
    Fetch();
}

void TableRecord::Execute() {
    // One direct execution: a prepare costs extra round trips on a server
    // and buys nothing for a statement run once.
    CheckOdbc(SQLExecDirect(stmt_, SqlText(selectSql_), static_cast<SQLINTEGER>(selectSql_.size())),
              SQL_HANDLE_STMT, stmt_, "run the query", true);
    executed_ = true;
    SQLSMALLINT count = 0;
    CheckOdbc(SQLNumResultCols(stmt_, &count), SQL_HANDLE_STMT, stmt_, "describe the result");
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
    for (std::size_t c = 0; c < columnNames_.size(); ++c) {
        SQLCHAR name[256] = {};
        SQLSMALLINT nameLength = 0;
        CheckOdbc(SQLColAttribute(stmt_, static_cast<SQLUSMALLINT>(c + 1), SQL_DESC_LABEL, name,
                                  sizeof name, &nameLength, nullptr),
                  SQL_HANDLE_STMT, stmt_, "describe the result");
        columnNames_[c] = reinterpret_cast<char*>(name);
    }
    namesRead_ = true;
}

void TableRecord::Fetch() {
    if (columnNames_.empty()) {
        atEnd_ = true;
        return;
    }
    SQLRETURN rc = SQLFetch(stmt_);
    if (rc == SQL_NO_DATA) {
        atEnd_ = true;
        return;
    }
    CheckOdbc(rc, SQL_HANDLE_STMT, stmt_, "fetch a row");
    atEnd_ = false;
    ReadRow();
}

void TableRecord::ReadRow() {
    for (std::size_t i = 0; i < columnNames_.size(); ++i) {
        const auto column = static_cast<SQLUSMALLINT>(i + 1);
        if (i < bindings_.size()) {
            columnNull_[i] = !std::visit([&](auto* member) { return Read(stmt_, column, *member); },
                                         bindings_[i].member);
        } else {
            columnNull_[i] = !Read(stmt_, column, columnTexts_[i]);
        }
    }
}

bool TableRecord::AtEnd() {
    if (stmt_ == SQL_NULL_HSTMT) return true;
    EnsureExecuted();
    return atEnd_;
}

void TableRecord::NextRow() {
    if (stmt_ == SQL_NULL_HSTMT) return;
    if (!executed_) {
        EnsureExecuted();
        if (atEnd_) return;
    }
    if (!atEnd_) Fetch();
}

void TableRecord::ColumnText(std::string_view column, std::string& out) {
    const std::string wanted = Unbracketed(column);
    EnsureExecuted();
    ReadColumnNames();
    std::size_t index = columnNames_.size();
    for (std::size_t i = 0; i < columnNames_.size(); ++i)
        if (fw::gbk::EqualIgnoringCase(columnNames_[i], wanted)) {
            index = i;
            break;
        }
    if (index == columnNames_.size())
        throw CDBException("42S22", 0,
                           "no column named " + wanted + " in the result of " + selectSql_);
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
    if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    stmt_ = SQL_NULL_HSTMT;
    if (attachedTo_ != nullptr) attachedTo_->Detach(this);
    attachedTo_ = nullptr;
    executed_ = false;
    atEnd_ = true;
    params_.clear();
    columnNames_.clear();
    columnTexts_.clear();
    columnNull_.clear();
}

void TableRecord::BeginNewRow() {
    for (const FieldBinding& b : CollectBindings())
        std::visit([](auto* member) { Clear(*member); }, b.member);
}

bool TableRecord::SaveRow() {
    DbConnection& db = Connection();
    const Dialect& dialect = db.GetDialect();
    std::string columns;
    std::string markers;
    std::vector<BoundValue> values;
    for (const FieldBinding& b : CollectBindings()) {
        std::optional<BoundValue> value =
            std::visit([](auto* member) { return InsertValue(*member); }, b.member);
        if (!value) continue;
        if (!columns.empty()) {
            columns += ',';
            markers += ',';
        }
        columns += dialect.RenderName(b.name);
        markers += '?';
        values.push_back(std::move(*value));
    }
    const std::string table = dialect.RenderName(DefaultSql());
    insertSql_ = columns.empty()
                     ? "insert into " + table + " default values"
                     : "insert into " + table + " (" + columns + ") values (" + markers + ")";

    const Statement stmt(db.AllocateStatement());
    BindParameters(stmt.get(), values);
    CheckOdbc(
        SQLExecDirect(stmt.get(), SqlText(insertSql_), static_cast<SQLINTEGER>(insertSql_.size())),
        SQL_HANDLE_STMT, stmt.get(), "insert a row", true);
    return true;
}

}  // namespace rl
