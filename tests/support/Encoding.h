// Conversions between UTF-8 (how tests spell their data) and GBK (what the
// module reads, writes and stores).
#pragma once

#include <string>
#include <string_view>

namespace ts {

// text in encoding from, converted to encoding to (iconv names); throws
// std::runtime_error on a character that cannot be converted.
std::string Convert(std::string_view text, const char* from, const char* to);

// UTF-8 to GBK through iconv; throws std::runtime_error on a character that
// GBK cannot hold.
std::string Gbk(std::string_view utf8);

// GBK to UTF-8 through iconv; throws std::runtime_error on bytes that are not GBK.
std::string Utf8(std::string_view gbk);

}  // namespace ts
