// The request "directory?mode!clerk": where the separators are found, what
// the mode reads as, and what is left for the clerk.
#include <gtest/gtest.h>

#include <string>

#include "reservation/FileSearch.h"

namespace {

struct Case {
    std::string request, directory;
    int mode;
    std::string clerk;
};

const Case kCases[] = {
    {"/srv/drop?1!Zedi", "/srv/drop", 1, "Zedi"},
    {"/srv/drop/?0!Zedi", "/srv/drop/", 0, "Zedi"},
    // Mode texts that read as 1: the C reading of a leading integer.
    {"d?1!c", "d", 1, "c"},
    {"d?01!c", "d", 1, "c"},
    {"d?+1!c", "d", 1, "c"},
    {"d?  1!c", "d", 1, "c"},
    {"d?1x!c", "d", 1, "c"},
    // Mode texts that do not.
    {"d?2!c", "d", 2, "c"},
    {"d?-1!c", "d", -1, "c"},
    {"d?!c", "d", 0, "c"},
    {"d?x1!c", "d", 0, "c"},
    {"d?99999999999!c", "d", 2147483647, "c"},
    // Without "!" the whole request is the clerk.
    {"/srv/drop?1", "/srv/drop", 1, "/srv/drop?1"},
    {"/srv/drop?1!", "/srv/drop", 1, ""},
    // The clerk starts at the first "!", even inside the directory.
    {"/a!b?1!Zedi", "/a!b", 1, "b?1!Zedi"},
    // No directory; without "?" the mode is read from the start.
    {"", "", 0, ""},
    {"1!Zedi", "", 1, "Zedi"},
    {"?1!Zedi", "", 1, "Zedi"},
    // 0x81 0x3F and 0x81 0x21: a lead byte swallows the "?" / "!" after it.
    {"/srv/\x81?x?1!\x81!\xD5\xC5", "/srv/\x81?x", 1, "\x81!\xD5\xC5"},
};

TEST(RequestGrammar, SplitsEachRequestIntoDirectoryModeAndClerk) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.request);
        const auto r = resv::ParseRequest(c.request);
        EXPECT_EQ(r.directory, c.directory);
        EXPECT_EQ(r.mode, c.mode);
        EXPECT_EQ(r.clerk, c.clerk);
    }
}

}  // namespace
