// The module's own Chinese texts as the GBK bytes it writes and compares.
// Kept as byte escapes in one place (the sources are UTF-8, and a global
// GBK execution charset would also change the strings Qt's uic generates);
// a test checks each against iconv's conversion of its Unicode form.
#pragma once

#include <string>

namespace resv::gbk_literals {

// The ini section and keys.
inline constexpr const char* kIniFile = "velmar.ini";
inline constexpr const char* kIniSection = "INTERNETRESERVE";
inline constexpr const char* kDefaultRateCodeKey = "DefaultRateCode";

// Room-type names, which are also their ini keys, in the order they are tried.
inline constexpr const char* kStandardRoom = "\xB1\xEA\xD7\xBC\xBC\xE4";  // 标准间
inline constexpr const char* kDeluxeRoom = "\xBA\xC0\xBB\xAA\xBC\xE4";    // 豪华间
inline constexpr const char* kSuite = "\xCC\xD7\xBC\xE4";                 // 套间
inline constexpr const char* kBusinessRoom = "\xC9\xCC\xCE\xF1\xBC\xE4";  // 商务间

// The reservation's note: booking company, its phone, the remarks.
// (预定公司%s 电话:%s) %s
inline constexpr const char* kNoteFormat =
    "(\xD4\xA4\xB6\xA8\xB9\xAB\xCB\xBE%s \xB5\xE7\xBB\xB0:%s) %s";

// The opening folio's code and description (标准帐本, standard account book).
// The code is a string object, not a literal: GCC 12 warns falsely
// (-Wrestrict, "may overlap") wherever an optimised build assigns a
// one-character literal to a std::string.
inline const std::string kFolioCode = "A";
inline constexpr const char* kFolioDescription = "\xB1\xEA\xD7\xBC\xD5\xCA\xB1\xBE";

}  // namespace resv::gbk_literals
