// The request "directory?mode!clerk": where the separators are found, what
// the mode reads as, and what is left for the clerk.
#include <gtest/gtest.h>

#include "reservation/FileSearch.h"

namespace {

using resv::ParseRequest;

TEST(RequestGrammar, SplitsDirectoryModeAndClerk) {
    const auto r = ParseRequest("/srv/drop?1!Zedi");
    EXPECT_EQ(r.directory, "/srv/drop");
    EXPECT_EQ(r.mode, 1);
    EXPECT_EQ(r.clerk, "Zedi");

    const auto withSlash = ParseRequest("/srv/drop/?0!Zedi");
    EXPECT_EQ(withSlash.directory, "/srv/drop/");
    EXPECT_EQ(withSlash.mode, 0);
}

TEST(RequestGrammar, ModeTextsThatReadAsOne) {
    for (const char* request : {"d?1!c", "d?01!c", "d?+1!c", "d?  1!c", "d?1x!c"})
        EXPECT_EQ(ParseRequest(request).mode, 1) << request;
}

TEST(RequestGrammar, ModeTextsThatDoNotReadAsOne) {
    EXPECT_EQ(ParseRequest("d?2!c").mode, 2);
    EXPECT_EQ(ParseRequest("d?-1!c").mode, -1);
    EXPECT_EQ(ParseRequest("d?!c").mode, 0);
    EXPECT_EQ(ParseRequest("d?x1!c").mode, 0);
    EXPECT_EQ(ParseRequest("d?99999999999!c").mode, 2147483647);
}

TEST(RequestGrammar, MissingExclamationMarkMakesTheWholeRequestTheClerk) {
    const auto r = ParseRequest("/srv/drop?1");
    EXPECT_EQ(r.mode, 1);
    EXPECT_EQ(r.clerk, "/srv/drop?1");
    EXPECT_EQ(r.directory, "/srv/drop");
}

TEST(RequestGrammar, NothingAfterExclamationMarkIsAnEmptyClerk) {
    EXPECT_EQ(ParseRequest("/srv/drop?1!").clerk, "");
}

TEST(RequestGrammar, ClerkStartsAtTheFirstExclamationMarkEvenInsideTheDirectory) {
    const auto r = ParseRequest("/a!b?1!Zedi");
    EXPECT_EQ(r.directory, "/a!b");
    EXPECT_EQ(r.mode, 1);
    EXPECT_EQ(r.clerk, "b?1!Zedi");
}

TEST(RequestGrammar, RequestsWithoutDirectory) {
    for (const char* request : {"", "1!Zedi", "?1!Zedi"}) {
        const auto r = ParseRequest(request);
        EXPECT_EQ(r.directory, "") << request;
    }
    EXPECT_EQ(ParseRequest("1!Zedi").mode, 1);  // read from the start without "?"
}

TEST(RequestGrammar, SeparatorBytesInsideDoubleByteCharactersAreNotSeparators) {
    // 0x81 0x3F and 0x81 0x21: a lead byte swallows the "?" / "!" after it.
    const std::string dir = "/srv/\x81?x";
    const std::string clerk = "\x81!\xD5\xC5";
    const auto r = ParseRequest(dir + "?1!" + clerk);
    EXPECT_EQ(r.directory, dir);
    EXPECT_EQ(r.mode, 1);
    EXPECT_EQ(r.clerk, clerk);
}

}  // namespace
