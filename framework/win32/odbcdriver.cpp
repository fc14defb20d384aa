// The Windows driver manager's side: pinned module handles; the registry
// keys the ODBC Data Source Administrator writes.
#include "framework/odbcdriver.h"

#include <windows.h>

namespace fw {

void PinOdbcDriver(const std::string& driverFile) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, "odbccp32.dll", &module);
    if (!driverFile.empty())
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, driverFile.c_str(), &module);
}

std::string OdbcDataSourceLocations() {
    // A 32-bit module on 64-bit Windows sees the 32-bit administrator's
    // data sources (odbcad32.exe in SysWOW64).
    return "the user and system DSNs of the ODBC Data Source Administrator "
           "(HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE\\Software\\ODBC\\ODBC.INI)";
}

}  // namespace fw
