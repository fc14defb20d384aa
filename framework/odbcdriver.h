// What the record layer needs of the platform around the ODBC driver manager:
// keeping a driver loaded, and naming where data sources are defined for a
// message. Neither fails.
#pragma once

#include <string>

namespace fw {

// Keeps the driver library driverFile (as SQLGetInfo(SQL_DRIVER_NAME) names
// it; may be empty) and the driver manager's set-up library loaded for the
// life of the process, so that one connection per booking does not load and
// unload them every time. Only libraries already loaded are marked.
void PinOdbcDriver(const std::string& driverFile);

// Where the driver manager reads data source definitions, for the message of
// a data source that is not found: unixODBC's user and system odbc.ini on
// POSIX, the ODBC Data Source Administrator's user and system DSNs on Win32.
std::string OdbcDataSourceLocations();

}  // namespace fw
