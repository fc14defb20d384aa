// The host's command line, and the drop directory it watches for a request.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "host/HostOptions.h"

namespace {

std::optional<host::HostOptions> Parse(std::vector<const char*> args, std::string& error) {
    args.insert(args.begin(), "reservation-host");
    error.clear();
    return host::ParseHostOptions(static_cast<int>(args.size()), args.data(), error);
}

TEST(HostOptions, WatchTakesOneRequestAndAnIntervalOfWholeSeconds) {
    std::string error;
    auto options = Parse({"--interval", "30", "--watch", "/d?1!c"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->watch);
    EXPECT_EQ(options->intervalSeconds, 30);
    EXPECT_EQ(options->requests, std::vector<std::string>{"/d?1!c"});

    options = Parse({"--watch", "--interval=5", "--module=/m.so", "/d?1!c"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->intervalSeconds, 5);
    EXPECT_EQ(options->modulePath, "/m.so");
    EXPECT_EQ(Parse({"/d?1!c"}, error)->intervalSeconds, 60);

    for (const char* bad : {"0", "-3", "1.5", "", "x", "99999999999"}) {
        EXPECT_FALSE(Parse({"--interval", bad, "--watch", "/d?1!c"}, error)) << bad;
        EXPECT_NE(error.find("--interval"), std::string::npos) << error;
    }
    EXPECT_FALSE(Parse({"--watch", "/a?1!c", "/b?1!c"}, error));
    EXPECT_EQ(Parse({"--metrics", "/m.prom", "/d?1!c"}, error)->metricsPath, "/m.prom");
    EXPECT_FALSE(Parse({"--metrics=/m.prom", "/a?1!c", "/b?1!c"}, error));
    // A unit's METRICS= left empty turns the file off, not the service.
    EXPECT_EQ(Parse({"--metrics", "", "--watch", "/d?1!c"}, error)->metricsPath, "");
    EXPECT_FALSE(Parse({"--watch"}, error));
    EXPECT_FALSE(Parse({"--interval"}, error));
    EXPECT_FALSE(Parse({"--module"}, error));
    EXPECT_FALSE(Parse({"--frobnicate", "/d?1!c"}, error));
    // After "--" a request may begin with dashes.
    options = Parse({"--", "--odd?1!c"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->requests, std::vector<std::string>{"--odd?1!c"});
}

TEST(HostOptions, TheDropDirectoryIsTheTextBeforeTheFirstQuestionMarkMadeAbsolute) {
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string here = std::string(cwd) == "/" ? "" : cwd;

    EXPECT_EQ(host::DropDirectoryOf("/var/spool/d?1!Zedi"), "/var/spool/d");
    EXPECT_EQ(host::DropDirectoryOf("/var/spool/d/?1!Zedi"), "/var/spool/d");
    EXPECT_EQ(host::DropDirectoryOf("/?1!Zedi"), "/");
    EXPECT_EQ(host::DropDirectoryOf("drop?1!Zedi"), here + "/drop");
    EXPECT_EQ(host::DropDirectoryOf("/a!b?1!Zedi"), "/a!b");
    EXPECT_EQ(host::DropDirectoryOf("/d?x?1!Zedi"), "/d");
    // As the module reads it: no "?" (or nothing before it) names no directory.
    EXPECT_EQ(host::DropDirectoryOf("/var/spool/d"), "");
    EXPECT_EQ(host::DropDirectoryOf("?1!Zedi"), "");
    EXPECT_EQ(host::DropDirectoryOf(""), "");
}

}  // namespace
