#include "reservation/BookingText.h"

#include <string>
#include <string_view>

#include "framework/gbktext.h"

namespace resv {

BookingFields BookingFieldTable;

SearchRequest ParseRequest(std::string_view request) {
    namespace gbk = fw::gbk;
    const long n = static_cast<long>(request.size());
    const long q = gbk::Find(request, '?');
    const long x = gbk::Find(request, '!');

    SearchRequest r;
    // Without "?" the mode is read from the start of the whole request and
    // the directory is empty; without "!" the clerk is the whole request.
    r.mode = gbk::ParseLeadingInt(gbk::Right(request, n - q - 1));
    r.clerk = gbk::Right(request, n - x - 1);
    r.directory = gbk::Left(request, q);
    return r;
}

int SplitBooking(std::string_view raw, BookingFields& table) {
    namespace gbk = fw::gbk;
    const std::size_t nul = raw.find('\0');
    if (nul != std::string_view::npos) raw = raw.substr(0, nul);
    const std::string text = gbk::Trim(raw);

    // A booking's fields come from its own file only; surplus fields past the
    // seventeenth are dropped so that entry 17 keeps naming the file in hand.
    for (int i = 0; i < kFileFieldCount; ++i) table[i].clear();

    std::string_view rest = text;
    int fields = 0;
    for (;;) {
        const long comma = gbk::Find(rest, ',');
        const std::string_view field = comma < 0 ? rest : rest.substr(0, comma);
        if (fields < kFileFieldCount) table[fields].assign(field);
        ++fields;
        if (comma < 0) break;
        rest.remove_prefix(static_cast<std::size_t>(comma) + 1);
    }
    return fields;
}

}  // namespace resv
