// Private to the record layer: the SQL text a table record class sends,
// rendered once per process for each class and dialect. Names of tables and
// columns and the statements built of them are not data: rendering them
// again for every record, as each booking's three inserts did, cost more
// than the statements' own work in the driver.
#pragma once

#include <bitset>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <vector>

#include "recordlayer/Dialect.h"
#include "recordlayer/FieldExchange.h"

namespace rl {

// Which of a class's bound columns an insert names, by binding index. More
// columns than this no table of the databases we serve can hold.
constexpr std::size_t kMaxRenderedColumns = 1024;
using ColumnMask = std::bitset<kMaxRenderedColumns>;

// The statements of one record class in one dialect. Thread-safe; the texts
// it hands out stay where they are for the life of the process.
class RenderedClass {
  public:
    RenderedClass(const Dialect& dialect, const std::vector<FieldBinding>& bindings,
                  std::string_view table);

    // "select <every bound column> from <table>", the default query.
    const std::string& Select();
    // "insert into <table> (<the named columns>) values (?, ...)", followed
    // by the dialect's identity clause for identityColumn when that is not
    // empty. The first kKeptInserts column sets of a class are kept; the
    // text of any other is rendered into scratch.
    static constexpr std::size_t kKeptInserts = 64;
    const std::string& Insert(const ColumnMask& named, std::string_view identityColumn,
                              std::string& scratch);
    // "insert into <table> (<the named columns>, column) select ?, ...,
    // expression from source": a row whose column takes a value of an
    // earlier statement's result. Rendered anew each time.
    std::string InsertSelect(const ColumnMask& named, std::string_view column,
                             std::string_view expression, std::string_view source) const;

  private:
    friend RenderedClass& RenderedFor(const std::type_info& recordClass,
                                      const std::vector<FieldBinding>& bindings,
                                      const Dialect& dialect,
                                      const std::function<std::string()>& table);
    struct InsertText {
        ColumnMask named;
        std::string identityColumn;
        std::string text;
    };

    const std::type_info* class_ = nullptr;
    Dialect dialect_;
    std::string table_;
    std::vector<std::string> columns_;
    std::string select_;
    std::deque<InsertText> inserts_;
};

// The rendering in dialect of the record class recordClass, whose records
// bind bindings and whose table table() names (asked only the first time).
// Throws CDBException (54011) for a class of more than kMaxRenderedColumns
// columns.
RenderedClass& RenderedFor(const std::type_info& recordClass,
                           const std::vector<FieldBinding>& bindings, const Dialect& dialect,
                           const std::function<std::string()>& table);

// The default query's text over another table, given by name; rendered anew
// each time.
std::string RenderSelect(const Dialect& dialect, const std::vector<FieldBinding>& bindings,
                         std::string_view table);

}  // namespace rl
