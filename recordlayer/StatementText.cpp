#include "recordlayer/StatementText.h"

#include <memory>
#include <mutex>

#include "framework/nodestructor.h"
#include "recordlayer/CDBException.h"

namespace rl {
namespace {

// Every class's rendering, for the life of the process. A few classes times
// the dialects of the databases a process talks to: a list is enough.
struct Renderings {
    std::mutex guard;
    std::vector<std::unique_ptr<RenderedClass>> classes;
};

Renderings& AllRenderings() {
    static fw::NoDestructor<Renderings> renderings;
    return *renderings;
}

std::string SelectOf(const std::vector<std::string>& columns, std::string_view table) {
    std::string sql = "select ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) sql += ',';
        sql += columns[i];
    }
    if (columns.empty()) sql += '*';
    sql += " from ";
    sql += table;
    return sql;
}

std::vector<std::string> RenderedColumns(const Dialect& dialect,
                                         const std::vector<FieldBinding>& bindings) {
    std::vector<std::string> columns;
    columns.reserve(bindings.size());
    for (const FieldBinding& b : bindings) columns.push_back(dialect.RenderName(b.name));
    return columns;
}

}  // namespace

RenderedClass::RenderedClass(const Dialect& dialect, const std::vector<FieldBinding>& bindings,
                             std::string_view table)
    : dialect_(dialect),
      table_(dialect.RenderName(table)),
      columns_(RenderedColumns(dialect, bindings)) {}

const std::string& RenderedClass::Select() {
    const std::lock_guard<std::mutex> lock(AllRenderings().guard);
    if (select_.empty()) select_ = SelectOf(columns_, table_);
    return select_;
}

const std::string& RenderedClass::Insert(const ColumnMask& named, std::string_view identityColumn,
                                         std::string& scratch) {
    const std::lock_guard<std::mutex> lock(AllRenderings().guard);
    for (const InsertText& known : inserts_)
        if (known.named == named && known.identityColumn == identityColumn) return known.text;

    std::string columns, markers;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!named[i]) continue;
        if (!columns.empty()) {
            columns += ',';
            markers += ',';
        }
        columns += columns_[i];
        markers += '?';
    }
    std::string text =
        columns.empty() ? "insert into " + table_ + " default values"
                        : "insert into " + table_ + " (" + columns + ") values (" + markers + ")";
    if (!identityColumn.empty())
        text += dialect_.IdentityClause(dialect_.RenderName(identityColumn));
    if (inserts_.size() >= kKeptInserts) {
        scratch = std::move(text);
        return scratch;
    }
    inserts_.push_back({named, std::string(identityColumn), std::move(text)});
    return inserts_.back().text;
}

std::string RenderedClass::InsertSelect(const ColumnMask& named, std::string_view column,
                                        std::string_view expression,
                                        std::string_view source) const {
    std::string columns, values;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (!named[i]) continue;
        columns += columns_[i];
        columns += ',';
        values += "?,";
    }
    std::string text = "insert into " + table_ + " (" + columns;
    text += column;
    text += ") select ";
    text += values;
    text += expression;
    text += " from ";
    text += source;
    return text;
}

RenderedClass& RenderedFor(const std::type_info& recordClass,
                           const std::vector<FieldBinding>& bindings, const Dialect& dialect,
                           const std::function<std::string()>& table) {
    if (bindings.size() > kMaxRenderedColumns)
        throw CDBException("54011", 0,
                           "a record of the table " + table() + " binds " +
                               std::to_string(bindings.size()) + " columns, more than " +
                               std::to_string(kMaxRenderedColumns));
    Renderings& all = AllRenderings();
    {
        const std::lock_guard<std::mutex> lock(all.guard);
        for (const std::unique_ptr<RenderedClass>& known : all.classes)
            if (*known->class_ == recordClass && known->dialect_ == dialect) return *known;
    }
    // Rendered outside the lock: table() is the class's own code.
    auto rendered = std::make_unique<RenderedClass>(dialect, bindings, table());
    rendered->class_ = &recordClass;
    const std::lock_guard<std::mutex> lock(all.guard);
    for (const std::unique_ptr<RenderedClass>& known : all.classes)
        if (*known->class_ == recordClass && known->dialect_ == dialect) return *known;
    all.classes.push_back(std::move(rendered));
    return *all.classes.back();
}

std::string RenderSelect(const Dialect& dialect, const std::vector<FieldBinding>& bindings,
                         std::string_view table) {
    return SelectOf(RenderedColumns(dialect, bindings), dialect.RenderName(table));
}

}  // namespace rl
