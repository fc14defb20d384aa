// The request grammar "directory?mode!clerk" on arbitrary bytes: the
// directory is a prefix of the request, the clerk a suffix, and neither
// reaches past a separator found at a character boundary.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "framework/gbktext.h"
#include "fuzz/check.h"
#include "reservation/FileSearch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view request(reinterpret_cast<const char*>(data), size);
    resv::SearchRequest r = resv::ParseRequest(request);

    FUZZ_CHECK(request.substr(0, r.directory.size()) == r.directory);
    FUZZ_CHECK(r.clerk.size() <= request.size());
    FUZZ_CHECK(request.substr(request.size() - r.clerk.size()) == r.clerk);

    long q = fw::gbk::Find(request, '?');
    long x = fw::gbk::Find(request, '!');
    FUZZ_CHECK(r.directory.size() == (q < 0 ? 0u : static_cast<std::size_t>(q)));
    FUZZ_CHECK(r.clerk.size() == (x < 0 ? request.size() : request.size() - x - 1));
    return 0;
}
