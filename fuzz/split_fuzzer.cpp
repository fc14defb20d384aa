// The booking split on arbitrary file contents: it fills entries 0..16 only,
// and joining the stored fields with "," gives back the trimmed text before
// the first NUL whenever the text had no surplus fields.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/gbktext.h"
#include "fuzz/check.h"
#include "reservation/FileSearch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view raw(reinterpret_cast<const char*>(data), size);
    resv::BookingFields table;
    for (std::string& entry : table) entry = "untouched";

    int fields = resv::SplitBooking(raw, table);
    FUZZ_CHECK(fields >= 1);
    for (int i = resv::kFileFieldCount; i < resv::kBookingFieldCount; ++i)
        FUZZ_CHECK(table[i] == "untouched");

    std::string text = fw::gbk::Trim(raw.substr(0, raw.find('\0')));
    if (fields <= resv::kFileFieldCount) {
        std::string joined = table[0];
        for (int i = 1; i < fields; ++i) joined += "," + table[i];
        FUZZ_CHECK(joined == text);
        for (int i = fields; i < resv::kFileFieldCount; ++i) FUZZ_CHECK(table[i].empty());
    }
    for (int i = 0; i < resv::kFileFieldCount && i < fields; ++i)
        FUZZ_CHECK(fw::gbk::Find(table[i], ',') < 0);
    return 0;
}
