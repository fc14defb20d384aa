#include "framework/trace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/Encoding.h"
#include "tests/support/TempDir.h"

namespace {

// Points fd 2 at a file for one test and restores it.
class CapturedStderr {
  public:
    explicit CapturedStderr(const std::string& path) {
        saved_ = dup(STDERR_FILENO);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~CapturedStderr() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    CapturedStderr(const CapturedStderr&) = delete;
    CapturedStderr& operator=(const CapturedStderr&) = delete;

  private:
    int saved_;
};

}  // namespace

TEST(Trace, SinkReceivesEachFormattedLine) {
    std::vector<std::string> lines;
    fw::TraceSink previous = fw::SetTraceSink([&](std::string_view l) { lines.emplace_back(l); });
    fw::Trace("can't open file %s,error=%u\n", "/drop/a.txt", 10u);
    fw::Trace("no newline");
    fw::SetTraceSink(previous);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "can't open file /drop/a.txt,error=10\n");
    EXPECT_EQ(lines[1], "no newline");
}

TEST(Trace, DefaultSinkWritesToStandardError) {
    ts::TempDir dir;
    std::string path = dir.File("stderr");
    std::string longPath(6000, 'p');
    {
        CapturedStderr capture(path);
        fw::SetTraceSink([](std::string_view) {});
        // Installing an empty sink brings back the default.
        fw::SetTraceSink({});
        fw::Trace("RESERVATION.DLL Initializing!\n");
        fw::Trace("can't open file %s,error=%u\n", longPath.c_str(), 2u);
    }
    EXPECT_EQ(ts::ReadFile(path),
              "RESERVATION.DLL Initializing!\ncan't open file " + longPath + ",error=2\n");
}

TEST(Trace, SetTraceSinkReturnsThePreviousSink) {
    int first = 0, second = 0;
    fw::SetTraceSink([&](std::string_view) { ++first; });
    fw::TraceSink previous = fw::SetTraceSink([&](std::string_view) { ++second; });
    fw::Trace("x");
    previous("y");
    fw::SetTraceSink({});
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}

namespace {

std::vector<std::string> Capture(const std::function<void()>& traces) {
    std::vector<std::string> lines;
    fw::TraceSink previous = fw::SetTraceSink([&](std::string_view l) { lines.emplace_back(l); });
    traces();
    fw::SetTraceSink(previous);
    return lines;
}

// While alive, standard error is a file that JOURNAL_STREAM names, as under
// systemd.
class JournalStream {
  public:
    explicit JournalStream(const std::string& path) : capture_(path) {
        struct stat st {};
        fstat(STDERR_FILENO, &st);
        setenv("JOURNAL_STREAM",
               (std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)).c_str(), 1);
    }
    ~JournalStream() { unsetenv("JOURNAL_STREAM"); }

  private:
    CapturedStderr capture_;
};

}  // namespace

TEST(Trace, ControlCharactersAreEscapedSoNoLineCanBeForged) {
    unsetenv("JOURNAL_STREAM");
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"a\nimported FAKE.txt as guest account 1.txt",
         "imported a\\nimported FAKE.txt as guest account 1.txt\n"},
        {"cr\rover", "imported cr\\rover\n"},
        {"esc\x1b[2Jx", "imported esc\\x1b[2Jx\n"},
        {"tab\tdel\x7f bell\a", "imported tab\\tdel\\x7f bell\\x07\n"},
        {"gbk \xd5\xc5\xc8\xfd raw", "imported gbk \xd5\xc5\xc8\xfd raw\n"},
    };
    for (const auto& c : cases) {
        const auto lines = Capture([&] { fw::Trace("imported %s\n", c.name); });
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], c.expected);
    }
    EXPECT_EQ(Capture([] { fw::Trace(fw::Priority::Error, "two\n\n"); })[0], "two\\n\n");
    EXPECT_EQ(fw::TraceGbk("\xd5\xc5\x81"), "\xd5\xc5\x81");
}

TEST(Trace, InTheJournalLinesCarryTheirPriorityAndAreUtf8) {
    ts::TempDir dir;
    std::vector<std::string> lines;
    {
        JournalStream journal(dir.File("journal"));
        ASSERT_TRUE(fw::StandardErrorIsJournal());
        lines = Capture([] {
            fw::Trace("RESERVATION.DLL Initializing!\n");
            fw::Trace(fw::Priority::Warning, "can't open file %s,error=10\n",
                      "/d/\xe5\xbc\xa0.txt");
            // A GBK file name is not UTF-8; a GBK guest name is converted.
            fw::Trace(fw::Priority::Error, "can't import %s: guest %s\n", "/d/\xc8\xfd\x1b.txt",
                      fw::TraceGbk("\xd5\xc5\xc8\xfd\x81").c_str());
        });
        fw::Trace(fw::Priority::Error, "to fd 2\n");
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "<6>RESERVATION.DLL Initializing!\n");
    EXPECT_EQ(lines[1], "<4>can't open file /d/\xe5\xbc\xa0.txt,error=10\n");
    EXPECT_EQ(lines[2],
              "<3>can't import /d/\\xc8\\xfd\\x1b.txt: guest \xe5\xbc\xa0\xe4\xb8\x89\\x81\n");
    EXPECT_EQ(ts::ReadFile(dir.File("journal")), "<3>to fd 2\n");
    // A GBK name whose first character happens to be UTF-8 is escaped whole,
    // as in every other line and text that names it.
    EXPECT_EQ(fw::JournalText("/d/\xd4\xa4\xb6\xa9"
                              "10.txt \xe5\xbc\xa0"),
              "/d/\\xd4\\xa4\\xb6\\xa910.txt \xe5\xbc\xa0");
    // Another stream than the one named is not the journal.
    EXPECT_FALSE(fw::StandardErrorIsJournal());
}
