#include "bench/TableFill.h"

#include <string>
#include <vector>

#include "tests/support/Encoding.h"
#include "tests/support/OdbcSession.h"

namespace bench {
namespace {

// Expressions over the row number i, for one backend.
struct RowExpressions {
    std::string timeOfDay, orgDate, arrival, departure;
    bool concatFunction = false;  // MariaDB: "||" is "or"

    // Text a followed by the row number i.
    std::string Numbered(const std::string& a) const {
        return concatFunction ? "concat(" + a + ", i)" : a + " || i";
    }
};

RowExpressions ExpressionsFor(ts::Backend backend) {
    if (backend == ts::Backend::SQLite)
        return {"printf('%02d:%02d:%02d', i / 3600 % 24, i / 60 % 60, i % 60)",
                "date('2024-01-01', '+' || (i % 700) || ' days')",
                "datetime('2024-01-01', '+' || (i % 700) || ' days')",
                "datetime('2024-01-01', '+' || (i % 700 + 2) || ' days')"};
    if (backend == ts::Backend::MariaDB)
        return {
            "concat(lpad(i div 3600 % 24, 2, '0'), ':', lpad(i div 60 % 60, 2, '0'), ':', "
            "lpad(i % 60, 2, '0'))",
            "date_format(date '2024-01-01' + interval (i % 700) day, '%Y-%m-%d')",
            "timestamp '2024-01-01 00:00:00' + interval (i % 700) day",
            "timestamp '2024-01-01 00:00:00' + interval (i % 700 + 2) day", true};
    return {
        "lpad((i / 3600 % 24)::text, 2, '0') || ':' || lpad((i / 60 % 60)::text, 2, '0') || ':' "
        "|| lpad((i % 60)::text, 2, '0')",
        "to_char(date '2024-01-01' + i % 700, 'YYYY-MM-DD')",
        "timestamp '2024-01-01' + (i % 700) * interval '1 day'",
        "timestamp '2024-01-01' + (i % 700 + 2) * interval '1 day'"};
}

std::vector<std::string> FillStatements(ts::Backend backend, int rows) {
    const RowExpressions e = ExpressionsFor(backend);
    const std::string numbers =
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
        std::to_string(rows) + ") ";
    // The new guests' accounts, named i, whatever the table held before.
    const std::string guests = " from (select Acct as i from GstProfile where OrgClerk = 'fill') g";
    const std::string guest = ts::Gbk("老客");
    const std::string note = ts::Gbk("(预定公司携程 电话:021-5555) 无烟");
    const std::string folio = ts::Gbk("标准帐本");
    return {
        "insert into GstProfile (ChnName, Phone, OrgDate, OrgTime, OrgClerk) " + numbers +
            "select " + e.Numbered("'" + guest + "'") + ", " + e.Numbered("'139'") + ", " +
            e.orgDate + ", " + e.timeOfDay + ", 'fill' from n",
        "insert into Reservation (GstAcct, CRONum, Adults, ArrDate, DptDate, RmType, RmNumbers, "
        "Paymethod, RateCode, FolioRate, RmRate, ConsumStyle, MarketCode, Note, OrgDate, OrgTime, "
        "OrgClerk) select i, " +
            e.Numbered("'OLD-'") + ", 2, " + e.arrival + ", " + e.departure +
            ", 'STD', 1, 'CASH', 'RACK', '333', '333', 0, 'NET', '" + note + "', " + e.orgDate +
            ", " + e.timeOfDay + ", 'fill'" + guests,
        "insert into FOLIO (GstAcct, Code, Descp) select i, 'A', '" + folio + "'" + guests,
    };
}

}  // namespace

void FillHotelTables(ts::HotelDatabase& db, int rows) {
    ts::OdbcSession session(ts::kModuleConnect);
    // MariaDB stops a recursive query after 1,000 rows unless told otherwise.
    if (db.Backend() == ts::Backend::MariaDB)
        session.Execute("set session max_recursive_iterations = " + std::to_string(rows + 1));
    session.ExecuteInTransaction(FillStatements(db.Backend(), rows));
    session.Execute(db.Backend() == ts::Backend::SQLite ? "analyze"
                    : db.Backend() == ts::Backend::MariaDB
                        ? "analyze table GstProfile, Reservation, FOLIO"
                        : "analyze dbo.gstprofile, dbo.reservation, dbo.folio");
}

}  // namespace bench
