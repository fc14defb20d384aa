// Names tests build from pieces: booking numbers and file names of a series.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace ts {

// The pieces (texts and integers) appended in order, as in Cat("T", 2, "-", 7)
// for "T2-7". Appending only: GCC 12 warns (-Wrestrict, wrongly) where
// "literal" + std::string inserts at the front of a temporary, which fails the
// optimised build's -Werror.
template <typename... Pieces>
std::string Cat(const Pieces&... pieces) {
    std::string text;
    auto append = [&text](const auto& piece) {
        if constexpr (std::is_integral_v<std::decay_t<decltype(piece)>>)
            text += std::to_string(piece);
        else
            text += std::string_view(piece);
    };
    (append(pieces), ...);
    return text;
}

}  // namespace ts
