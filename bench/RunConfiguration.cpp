#include "bench/RunConfiguration.h"

#include <stdexcept>
#include <utility>

#include "tests/support/OdbcSession.h"

namespace bench {

RunConfiguration::RunConfiguration(ts::Backend backend, const std::string& config,
                                   std::vector<std::string> dsn, bool wal)
    : config_(config), wal_(wal && backend == ts::Backend::SQLite), dsn_(std::move(dsn)) {
    if (config == "shipped") {
        ShippedConfiguration shipped = ReadShippedConfiguration(backend);
        pooling_ = std::make_unique<ConnectionPooling>(shipped.odbcinstIni);
        driver_ = shipped.driver;
        dataSourceShipped_ = shipped.dataSourceShipped;
        dsn_.insert(dsn_.begin(), shipped.settings.begin(), shipped.settings.end());
    } else if (config == "pooled") {
        pooling_ = std::make_unique<ConnectionPooling>();
        driver_ = PooledDriverName(backend);
    } else if (config != "stock") {
        throw std::invalid_argument("the configuration is shipped, pooled or stock, not " + config);
    }
    // Without a full sync a commit in write-ahead-log mode is not durable.
    if (wal_) dsn_.push_back("SyncPragma=FULL");
}

RunConfiguration::~RunConfiguration() = default;

void RunConfiguration::Apply(ts::HotelDatabase& db) {
    // Not through the data source: the driver manager would keep what it
    // read of it before the copy below.
    if (wal_)
        ts::OdbcSession("Driver=" + ts::DriverPath(ts::Backend::SQLite) +
                        ";Database=" + db.DatabaseName())
            .Execute("pragma journal_mode=wal");
    dataSource_ = std::make_unique<DataSourceCopy>(db, driver_, dsn_);
}

std::string RunConfiguration::Describe() const {
    std::string text = config_ == "shipped"  ? "in the shipped configuration"
                       : config_ == "pooled" ? "with connection pooling"
                                             : "stock (driver by path, no pooling)";
    if (config_ == "shipped" && !dataSourceShipped_)
        text += " (packaging/odbcinst.ini; no data source shipped)";
    if (!driver_.empty()) text += ", Driver=" + driver_;
    for (const std::string& setting : dsn_) text += ", " + setting;
    return text;
}

}  // namespace bench
