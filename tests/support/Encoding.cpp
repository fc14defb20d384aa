#include "tests/support/Encoding.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace ts {

std::string Convert(std::string_view in, const char* from, const char* to) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error(std::string("iconv_open ") + from + " -> " + to);
    std::string out;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[256];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, dst);
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            iconv_close(cd);
            throw std::runtime_error(std::string("cannot convert text from ") + from + " to " + to);
        }
    }
    iconv_close(cd);
    return out;
}

std::string Gbk(std::string_view utf8) { return Convert(utf8, "UTF-8", "GBK"); }

std::string Utf8(std::string_view gbk) { return Convert(gbk, "GBK", "UTF-8"); }

}  // namespace ts
