#include "recordlayer/TableRecord.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "framework/gbktext.h"
#include "recordlayer/CDBException.h"
#include "recordlayer/DbConnection.h"

namespace rl {

struct TableRecord::BoundValue {
    std::string text;
    SQLINTEGER int32 = 0;
    SQLSMALLINT int16 = 0;
    SQLBIGINT int64 = 0;
    SQL_TIMESTAMP_STRUCT timestamp{};
    SQLLEN length = 0;
    FieldKind kind = FieldKind::Text;
    bool wide = false;  // a 64-bit query parameter rather than a column value
};

const fw::RuntimeClass TableRecord::classTableRecord = {"TableRecord", nullptr};

namespace {

SQLCHAR* SqlText(const std::string& sql) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data()));
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

bool FirstWordIsSelect(const char* sql) {
    if (sql == nullptr) return false;
    std::string_view text(sql);
    std::size_t start = text.find_first_not_of(" \t\r\n\f\v(");
    if (start == std::string_view::npos) return false;
    text.remove_prefix(start);
    if (text.size() < 6 || !EqualIgnoringCase(text.substr(0, 6), "select")) return false;
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

void Bind(SQLHSTMT stmt, SQLUSMALLINT n, SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size,
          SQLSMALLINT digits, SQLPOINTER value, SQLLEN bufferLength, SQLLEN* length) {
    CheckOdbc(SQLBindParameter(stmt, n, SQL_PARAM_INPUT, cType, sqlType, size, digits, value,
                               bufferLength, length),
              SQL_HANDLE_STMT, stmt, "bind a parameter");
}

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
        switch (b.kind) {
            case FieldKind::Long:
            case FieldKind::Int: {
                const auto& v = *static_cast<const Nullable<std::int32_t>*>(b.member);
                if (v.IsNull())
                    out << "null";
                else
                    out << v.Value();
                break;
            }
            case FieldKind::Byte: {
                const auto& v = *static_cast<const ByteField*>(b.member);
                if (v.IsNull())
                    out << "null";
                else
                    out << static_cast<unsigned>(v.Value());
                break;
            }
            case FieldKind::Text:
                out << '"' << *static_cast<const std::string*>(b.member) << '"';
                break;
            case FieldKind::DateTime: {
                const auto& v = *static_cast<const DateTimeValue*>(b.member);
                if (v.HasValue())
                    out << FormatTimestamp(v.ToTimestamp());
                else
                    out << "no value";
                break;
            }
        }
        out << '\n';
    }
}

void TableRecord::BindParameters(SQLHSTMT stmt, std::vector<BoundValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        BoundValue& v = values[i];
        const auto n = static_cast<SQLUSMALLINT>(i + 1);
        switch (v.kind) {
            case FieldKind::Long:
                v.length = 0;
                if (v.wide)
                    Bind(stmt, n, SQL_C_SBIGINT, SQL_BIGINT, 19, 0, &v.int64, 0, &v.length);
                else
                    Bind(stmt, n, SQL_C_SLONG, SQL_INTEGER, 10, 0, &v.int32, 0, &v.length);
                break;
            case FieldKind::Int:
                v.length = 0;
                Bind(stmt, n, SQL_C_SLONG, SQL_SMALLINT, 5, 0, &v.int32, 0, &v.length);
                break;
            case FieldKind::Byte:
                // No tiny integer on PostgreSQL; a small integer converts to
                // a tiny integer column everywhere else.
                v.length = 0;
                Bind(stmt, n, SQL_C_SSHORT, SQL_SMALLINT, 5, 0, &v.int16, 0, &v.length);
                break;
            case FieldKind::Text:
                v.length = static_cast<SQLLEN>(v.text.size());
                Bind(stmt, n, SQL_C_CHAR, SQL_VARCHAR, kTextColumnMax, 0, v.text.data(),
                     static_cast<SQLLEN>(v.text.size() + 1), &v.length);
                break;
            case FieldKind::DateTime:
                v.length = sizeof v.timestamp;
                Bind(stmt, n, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, 0, &v.timestamp,
                     sizeof v.timestamp, &v.length);
                break;
        }
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

    CheckOdbc(SQLAllocHandle(SQL_HANDLE_STMT, db.Handle(), &stmt_), SQL_HANDLE_DBC, db.Handle(),
              "allocate a statement");
    attachedTo_ = &db;
    db.Attach(this);
    try {
        params_.assign(params.size(), BoundValue{});
        for (std::size_t i = 0; i < params.size(); ++i) {
            BoundValue& v = params_[i];
            if (const auto* text = std::get_if<std::string>(&params[i])) {
                v.text = fw::gbk::CutAtCharBoundary(*text, kTextColumnMax);
                v.kind = FieldKind::Text;
            } else if (const auto* number = std::get_if<std::int64_t>(&params[i])) {
                v.int64 = *number;
                v.kind = FieldKind::Long;
                v.wide = true;
            } else {
                const auto& when = std::get<DateTimeValue>(params[i]);
                if (!when.HasValue())
                    throw CDBException("HY009", 0, "a date-time parameter has no value");
                v.timestamp = when.ToTimestamp();
                v.kind = FieldKind::DateTime;
            }
        }
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
        if (i >= bindings_.size()) {
            std::string text;
            columnNull_[i] = !GetText(stmt_, column, text);
            columnTexts_[i] = fw::gbk::CutAtCharBoundary(text, kTextColumnMax);
            continue;
        }
        const FieldBinding& b = bindings_[i];
        SQLLEN indicator = 0;
        switch (b.kind) {
            case FieldKind::Long:
            case FieldKind::Int:
            case FieldKind::Byte: {
                SQLINTEGER value = 0;
                CheckOdbc(SQLGetData(stmt_, column, SQL_C_SLONG, &value, 0, &indicator),
                          SQL_HANDLE_STMT, stmt_, "read a column");
                if (b.kind == FieldKind::Byte) {
                    auto& member = *static_cast<ByteField*>(b.member);
                    if (indicator == SQL_NULL_DATA)
                        member.SetNull();
                    else
                        member = static_cast<std::uint8_t>(value);
                } else {
                    auto& member = *static_cast<Nullable<std::int32_t>*>(b.member);
                    if (indicator == SQL_NULL_DATA)
                        member.SetNull();
                    else
                        member = value;
                }
                columnNull_[i] = indicator == SQL_NULL_DATA;
                break;
            }
            case FieldKind::Text: {
                auto& member = *static_cast<std::string*>(b.member);
                std::string text;
                columnNull_[i] = !GetText(stmt_, column, text);
                member = fw::gbk::CutAtCharBoundary(text, kTextColumnMax);
                break;
            }
            case FieldKind::DateTime: {
                SQL_TIMESTAMP_STRUCT ts{};
                CheckOdbc(
                    SQLGetData(stmt_, column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator),
                    SQL_HANDLE_STMT, stmt_, "read a column");
                auto& member = *static_cast<DateTimeValue*>(b.member);
                member =
                    indicator == SQL_NULL_DATA ? DateTimeValue() : DateTimeValue::FromTimestamp(ts);
                columnNull_[i] = indicator == SQL_NULL_DATA;
                break;
            }
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
        if (EqualIgnoringCase(columnNames_[i], wanted)) {
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
    const FieldBinding& b = bindings_[index];
    switch (b.kind) {
        case FieldKind::Long:
        case FieldKind::Int:
            out = std::to_string(static_cast<Nullable<std::int32_t>*>(b.member)->Value());
            break;
        case FieldKind::Byte:
            out = std::to_string(static_cast<unsigned>(static_cast<ByteField*>(b.member)->Value()));
            break;
        case FieldKind::Text:
            out = *static_cast<std::string*>(b.member);
            break;
        case FieldKind::DateTime: {
            const auto& v = *static_cast<DateTimeValue*>(b.member);
            out = v.HasValue() ? FormatTimestamp(v.ToTimestamp()) : std::string();
            break;
        }
    }
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
    for (const FieldBinding& b : CollectBindings()) {
        switch (b.kind) {
            case FieldKind::Long:
            case FieldKind::Int:
                static_cast<Nullable<std::int32_t>*>(b.member)->SetNull();
                break;
            case FieldKind::Byte:
                static_cast<ByteField*>(b.member)->SetNull();
                break;
            case FieldKind::Text:
                static_cast<std::string*>(b.member)->clear();
                break;
            case FieldKind::DateTime:
                static_cast<DateTimeValue*>(b.member)->Clear();
                break;
        }
    }
}

bool TableRecord::SaveRow() {
    DbConnection& db = Connection();
    const Dialect& dialect = db.GetDialect();
    std::string columns;
    std::string markers;
    std::vector<BoundValue> values;
    for (const FieldBinding& b : CollectBindings()) {
        BoundValue v;
        v.kind = b.kind;
        switch (b.kind) {
            case FieldKind::Long:
            case FieldKind::Int: {
                const auto& member = *static_cast<Nullable<std::int32_t>*>(b.member);
                if (member.IsNull()) continue;
                v.int32 = member.Value();
                break;
            }
            case FieldKind::Byte: {
                const auto& member = *static_cast<ByteField*>(b.member);
                if (member.IsNull()) continue;
                v.int16 = member.Value();
                break;
            }
            case FieldKind::Text: {
                v.text = fw::gbk::CutAtCharBoundary(*static_cast<std::string*>(b.member),
                                                    kTextColumnMax);
                if (v.text.empty()) continue;
                break;
            }
            case FieldKind::DateTime: {
                const auto& member = *static_cast<DateTimeValue*>(b.member);
                if (!member.HasValue()) continue;
                v.timestamp = member.ToTimestamp();
                break;
            }
        }
        if (!columns.empty()) {
            columns += ',';
            markers += ',';
        }
        columns += dialect.RenderName(b.name);
        markers += '?';
        values.push_back(std::move(v));
    }
    const std::string table = dialect.RenderName(DefaultSql());
    insertSql_ = columns.empty()
                     ? "insert into " + table + " default values"
                     : "insert into " + table + " (" + columns + ") values (" + markers + ")";

    SQLHSTMT stmt = SQL_NULL_HSTMT;
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_STMT, db.Handle(), &stmt), SQL_HANDLE_DBC, db.Handle(),
              "allocate a statement");
    try {
        BindParameters(stmt, values);
        CheckOdbc(
            SQLExecDirect(stmt, SqlText(insertSql_), static_cast<SQLINTEGER>(insertSql_.size())),
            SQL_HANDLE_STMT, stmt, "insert a row", true);
    } catch (...) {
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        throw;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return true;
}

}  // namespace rl
