// SHA-256 (FIPS 180-4) of a byte string, as 64 lower-case hex digits: the
// digest that names one version of a booking file's content. Portable, no
// library: the Windows DLL may import nothing beyond the system's own.
#pragma once

#include <string>
#include <string_view>

namespace fw {

std::string Sha256Hex(std::string_view bytes);

}  // namespace fw
