// Writers the host cannot trust, as the booking agency's upload account is:
// the host runs as the service's account (no lease on another user's file)
// and the writer as another user who can write the drop directory. No
// booking is imported half-written however the writer pauses, dates its
// file or whatever the host's clock says; nothing a writer puts under the
// claim area's name stops the imports or reaches outside the drop
// directory; bookings in a planted claim are imported or left whole; a hard
// link to a file the writer could not read is refused unread.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/processtag.h"
#include "tests/import/ImportFixture.h"
#include "tests/robustness/OtherUsers.h"

namespace robust {
namespace {

using hosttest::CountOf;
using hosttest::HostChild;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace fs = std::filesystem;

constexpr const char* kRemarks = "无烟房间，请安排高层";

class UntrustedWriters : public OtherUsersTest {
  protected:
    // A drop directory of the host's that the writer can write too.
    std::string MakeDrop(const std::string& name) {
        return MakeDirectoryOf(root_.File(name), kDaemonUser, 0777);
    }

    // A booking file of the writer's.
    std::string Deliver(const std::string& path, const std::string& number) {
        importtest::Booking b;
        b.number = number;
        ts::WriteFile(path, b.FileText());
        EXPECT_EQ(chown(path.c_str(), kNobodyUser, kNobodyUser), 0);
        return path;
    }

    // Whether the database holds exactly these bookings, each once.
    void ExpectImported(const std::vector<std::string>& numbers) {
        std::map<std::string, int> times;
        for (const ts::Row& row : db_->Query("select CRONum from Reservation"))
            ++times[row[0].value_or("")];
        std::map<std::string, int> expected;
        for (const std::string& n : numbers) ++expected[n];
        EXPECT_EQ(times, expected);
    }
};

// --- Half-written bookings ---------------------------------------------

// How one writer delivers its bookings: the first chunk ends inside the
// price, so that a booking read between the chunks imports with the nightly
// rate 3 instead of 333 and without its remarks. The file stays open
// across the pause, without a flock. A backdating writer sets the
// modification time an hour back after each chunk, as copy tools do.
struct Writer {
    const char* label;
    milliseconds pause;
    bool backdates = false;
};

// One host in watch mode and the writers of its drop directory.
struct Watched {
    std::string minAge;       // RESERVATION_MIN_AGE; "" for the default
    std::string clockOffset;  // the host's clock off by this (libfaketime's FAKETIME); "" for none
    std::vector<Writer> writers;
};

constexpr int kRuns = 20;
constexpr int kIntervalSeconds = 1;

// libfaketime's preload library; empty when it is not installed.
std::string FakeTimeLibrary() {
    std::error_code ec;
    for (const auto& dir : fs::directory_iterator("/usr/lib", ec)) {
        const fs::path library = dir.path() / "faketime" / "libfaketime.so.1";
        if (fs::exists(library, ec)) return library.string();
    }
    return {};
}

std::string BookingText(const std::string& number) {
    importtest::Booking b;
    b.number = number;
    b.price = "999";  // three nights
    b.remarks = kRemarks;
    return b.FileText();
}

struct Delivery {
    std::string path;
    milliseconds startAfter;
    Writer writer;
};

bool Backdate(int fd) {
    struct timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    return futimens(fd, times) == 0;
}

bool DeliverInChunks(const Delivery& d) {
    std::this_thread::sleep_for(d.startAfter);
    const std::string text = BookingText(fs::path(d.path).stem().string());
    const std::size_t split = text.find(",999,") + 2;
    const int fd = open(d.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = write(fd, text.data(), split) == static_cast<ssize_t>(split) &&
              (!d.writer.backdates || Backdate(fd));
    std::this_thread::sleep_for(d.writer.pause);
    ok = ok && write(fd, text.data() + split, text.size() - split) ==
                   static_cast<ssize_t>(text.size() - split);
    ok = ok && (!d.writer.backdates || Backdate(fd));
    return close(fd) == 0 && ok;
}

// Runs every delivery in a thread of its own, in a child process of the
// writer's account. Returns the child; it exits with 0 when every
// delivery went through.
pid_t StartDeliveries(const std::vector<Delivery>& deliveries) {
    const pid_t child = fork();
    if (child != 0) return child;
    if (setgroups(0, nullptr) != 0 || setgid(kNobodyUser) != 0 || setuid(kNobodyUser) != 0)
        _exit(2);
    std::atomic<bool> failed{false};
    std::vector<std::thread> threads;
    for (const Delivery& d : deliveries)
        threads.emplace_back([&failed, &d] {
            if (!DeliverInChunks(d)) failed = true;
        });
    for (std::thread& t : threads) t.join();
    _exit(failed ? 1 : 0);
}

// When the host imported a row by its own clock, in seconds since the epoch.
std::time_t ImportedAt(const ts::Row& row) {
    std::tm tm{};
    std::istringstream in(row[1].value_or("") + " " + row[2].value_or(""));
    in >> std::get_time(&tm, "%Y-%m-%d %H:%M:%S");
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

class HalfWritten : public UntrustedWriters {
  protected:
    // Starts a host per setup, lets its writers deliver kRuns bookings each,
    // all at once, and waits until every booking is imported, each within
    // the minimum age plus one interval (and a margin for a loaded machine)
    // of the last writer's end. Checks that every row is the whole booking,
    // and that each host's clock was off as its setup says: the import time
    // it wrote against the moment the test first saw the row.
    void DeliverAndImport(const std::vector<Watched>& setups) {
        std::vector<std::unique_ptr<HostChild>> hosts;
        std::vector<Delivery> deliveries;
        std::map<std::string, int> offsets;  // booking number: its host's clock offset
        double slowest = 0;
        ShareWithEveryone(*db_);
        for (std::size_t h = 0; h < setups.size(); ++h) {
            const Watched& s = setups[h];
            const std::string drop = MakeDrop("drop" + std::to_string(h));
            std::vector<std::string> command;
            if (!s.clockOffset.empty())
                // The library itself, loaded into the host alone, rather
                // than faketime(1), which would stand between the test and
                // the host's signals. The file system's times are left as
                // they are.
                command = {"/usr/bin/env", "LD_PRELOAD=" + FakeTimeLibrary(),
                           "FAKETIME=" + s.clockOffset, "NO_FAKE_STAT=1"};
            command.insert(command.end(), {hosttest::HostPath(), "--watch", "--interval",
                                           std::to_string(kIntervalSeconds), drop + "?1!desk"});
            std::vector<std::string> env;
            if (!s.minAge.empty()) env.push_back("RESERVATION_MIN_AGE=" + s.minAge);
            hosts.push_back(StartAs(kDaemonUser, command, env));
            ASSERT_TRUE(hosts.back()->WaitFor("watching " + drop)) << hosts.back()->Text();
            slowest = std::max(slowest, s.minAge.empty() ? 5.0 : std::stod(s.minAge));
            for (const Writer& w : s.writers)
                for (int i = 0; i < kRuns; ++i) {
                    const std::string number = std::string(w.label) + "-" + std::to_string(i);
                    // Spread over a second, so that the host's calls find the
                    // files at every moment of their delivery.
                    deliveries.push_back({drop + "/" + number + ".txt", milliseconds(50 * i), w});
                    offsets[number] = s.clockOffset.empty() ? 0 : std::stoi(s.clockOffset);
                }
        }

        const pid_t writers = StartDeliveries(deliveries);
        ASSERT_GT(writers, 0);
        std::map<std::string, std::time_t> skew;
        int status = -1;
        std::optional<Clock::time_point> done;
        while (!done || (skew.size() < offsets.size() &&
                         Clock::now() - *done <
                             std::chrono::duration<double>(slowest + kIntervalSeconds + 10))) {
            for (auto& host : hosts) host->Drain(milliseconds(50));
            for (const ts::Row& row :
                 db_->Query("select CRONum, OrgDate, OrgTime from Reservation"))
                skew.emplace(row[0].value_or(""), ImportedAt(row) - std::time(nullptr));
            if (!done && waitpid(writers, &status, WNOHANG) == writers) done = Clock::now();
        }
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
        std::printf("all %zu bookings imported %.1f s after the last writer closed its file\n",
                    skew.size(), std::chrono::duration<double>(Clock::now() - *done).count());

        for (auto& host : hosts) {
            host->Signal(SIGTERM);
            EXPECT_EQ(host->Finish(), 0) << host->Text();
            EXPECT_EQ(CountOf(host->Text(), "Search stopped"), 0) << host->Text();
        }
        std::vector<std::string> numbers;
        for (const auto& [number, offset] : offsets) {
            numbers.push_back(number);
            if (skew.count(number)) {
                EXPECT_NEAR(skew[number], offset, 7) << number;
            }
        }
        ExpectImported(numbers);
        for (const ts::Row& row : db_->Query("select CRONum, RmRate, Note from Reservation")) {
            const std::string number = row[0].value_or("");
            EXPECT_EQ(std::stod(row[1].value_or("0")), 333.0) << number << " half-written";
            const std::string note = ts::Utf8(row[2].value_or(""));
            EXPECT_TRUE(note.size() >= std::string(kRemarks).size() &&
                        note.substr(note.size() - std::string(kRemarks).size()) == kRemarks)
                << number << " half-written: " << note;
        }
        for (std::size_t h = 0; h < setups.size(); ++h)
            EXPECT_TRUE(fs::is_empty(root_.File("drop" + std::to_string(h))));
    }
};

TEST_F(HalfWritten, NoneHoweverTheWriterPausesOrDatesItsFile) {
    DeliverAndImport({
        {"6",
         "",
         {{"pause2s", milliseconds(2000)},
          {"pause4s", milliseconds(4000)},
          {"pause4.5s", milliseconds(4500)},
          {"pause5.5s", milliseconds(5500)}}},
        {"", "", {{"backdated", milliseconds(2000), true}}},
    });
}

TEST_F(HalfWritten, NoneWhateverTheHostsClockSays) {
    if (FakeTimeLibrary().empty()) GTEST_SKIP() << "needs libfaketime to put the host's clock off";
    DeliverAndImport({
        {"", "+15", {{"ahead15s", milliseconds(2000)}}},
        {"", "-300", {{"behind5min", milliseconds(2000)}}},
    });
}

// --- The claim area's name ---------------------------------------------

// What a writer puts under the claim area's name, and the line the host
// writes about it ("%drop" is the drop directory).
struct Planted {
    const char* name;
    void (*plant)(const std::string& claims, const std::string& outside);
    const char* line;
    const char* keptAside;  // what .claims-set-aside then holds; none when null
};

// The state of a directory tree: each entry's path, kind, size and
// modification time.
std::string Snapshot(const std::string& dir) {
    std::ostringstream out;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(dir, ec)) {
        struct stat st {};
        lstat(e.path().c_str(), &st);
        out << e.path().string() << " " << st.st_mode << " " << st.st_size << " "
            << st.st_mtim.tv_sec << "." << st.st_mtim.tv_nsec << "\n";
    }
    return out.str();
}

void PrintTo(const Planted& p, std::ostream* out) { *out << p.name; }

class ClaimAreaName : public UntrustedWriters, public ::testing::WithParamInterface<Planted> {};

TEST_P(ClaimAreaName, WhatAWriterPutsThereStopsNoImportAndNothingOutsideIsTouched) {
    const Planted& p = GetParam();
    const std::string drop = MakeDrop("drop");
    // A directory of the writer's, beside the drop directory.
    const std::string outside = MakeDirectoryOf(root_.File("outside"), kNobodyUser, 0777);
    Deliver(outside + "/keep.txt", "OUTSIDE");
    p.plant(drop + "/.claims", outside);
    const std::string before = Snapshot(outside);
    Deliver(drop + "/a.txt", "A1");
    Deliver(drop + "/b.txt", "B1");

    const Run run = RunHost(kDaemonUser, drop);
    EXPECT_EQ(run.status, 0) << run.out;
    std::string line = p.line;
    for (std::size_t at; (at = line.find("%drop")) != std::string::npos;) line.replace(at, 5, drop);
    EXPECT_EQ(CountOf(run.out, line), 1) << run.out;
    EXPECT_EQ(CountOf(run.out, "imported " + drop), 2) << run.out;
    ExpectImported({"A1", "B1"});
    EXPECT_EQ(Snapshot(outside), before);
    if (p.keptAside)
        EXPECT_EQ(ts::ReadFile(drop + "/.claims-set-aside"), p.keptAside);
    else
        EXPECT_FALSE(fs::exists(drop + "/.claims-set-aside"));
}

const Planted kPlanted[] = {
    {"File",
     [](const std::string& claims, const std::string&) {
         ts::WriteFile(claims, "a writer's own file");
         ASSERT_EQ(chown(claims.c_str(), kNobodyUser, kNobodyUser), 0);
     },
     "moved %drop/.claims aside to %drop/.claims-set-aside: the claim area is a directory of its "
     "own",
     "a writer's own file"},
    {"LinkToADirectoryOutside",
     [](const std::string& claims, const std::string& outside) {
         ASSERT_EQ(symlink(outside.c_str(), claims.c_str()), 0);
         ASSERT_EQ(lchown(claims.c_str(), kNobodyUser, kNobodyUser), 0);
     },
     "removed the symbolic link %drop/.claims: the claim area is a directory of its own", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Planted, ClaimAreaName, ::testing::ValuesIn(kPlanted),
                         [](const ::testing::TestParamInfo<Planted>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(UntrustedWriters, AClaimAreaTheHostCannotWriteStopsTheCallWithTheLineThatSaysWhatToFix) {
    const std::string drop = MakeDrop("drop");
    MakeDirectoryOf(drop + "/.claims", kNobodyUser, 0500);
    const std::string path = Deliver(drop + "/a.txt", "A1");

    const Run run = RunHost(kDaemonUser, drop);
    EXPECT_EQ(CountOf(run.out, "cannot use the claim area " + drop +
                                   "/.claims (access denied,error=5): it must be a directory the "
                                   "host can write; remove it, or give it the owner and mode of "
                                   "the drop directory; no booking is imported"),
              1)
        << run.out;
    EXPECT_EQ(CountOf(run.out, "not writable"), 0) << run.out;
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_TRUE(ts::FileExists(path));
    ExpectImported({});
}

// --- Planted claims ----------------------------------------------------

// The tag of a process of this machine that lives and is no host: pid 1.
std::string TagOfProcessOne() {
    std::ifstream in("/proc/1/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    std::string field;
    for (int i = 3; i <= 22; ++i) rest >> field;
    const std::string& tag = fw::ThisProcessTag();
    const std::size_t boot = tag.find('+');
    return tag.substr(0, boot) + "+" + tag.substr(boot + 1, 8) + "+1+" + field;
}

TEST_F(UntrustedWriters, BookingsInAPlantedClaimAreTakenUpOrLeftWhole) {
    const std::string drop = MakeDrop("drop");
    const std::string claims = MakeDirectoryOf(drop + "/.claims", kNobodyUser, 0777);
    // Named like a live process that is no host: not a claim.
    const std::string notAHost =
        MakeDirectoryOf(claims + "/" + TagOfProcessOne(), kNobodyUser, 0777);
    Deliver(notAHost + "/p1.txt", "P1");
    Deliver(notAHost + "/p2.txt", "P2");
    // Another machine's claim, fresh: its host may be at work on it.
    const std::string elsewhere =
        MakeDirectoryOf(claims + "/other-desk+0badc0de+4242+77", kNobodyUser, 0777);
    const std::string held = Deliver(elsewhere + "/h1.txt", "H1");
    const std::string heldText = ts::ReadFile(held);
    Deliver(drop + "/d.txt", "D1");

    // A planted file may still be being written: taken up no sooner than a
    // delivery, once unchanged for the minimum age.
    const Run early = RunHost(kDaemonUser, drop, "60");
    ExpectImported({});
    EXPECT_TRUE(fs::exists(notAHost + "/p1.txt")) << early.out;

    const Run run = RunHost(kDaemonUser, drop);
    EXPECT_EQ(run.status, 0) << run.out;
    SCOPED_TRACE(run.out);
    ExpectImported({"D1", "P1", "P2"});
    EXPECT_FALSE(fs::exists(notAHost));
    EXPECT_EQ(ts::ReadFile(held), heldText);
    EXPECT_EQ(CountOf(run.out, ", 1 held by other hosts"), 1);
}

// --- Hard links --------------------------------------------------------

TEST_F(UntrustedWriters, AHardLinkToAFileTheWriterCannotReadIsRefusedUnread) {
    const std::string drop = MakeDrop("drop");
    const std::string secret = MakeDirectoryOf(root_.File("secret"), 0, 0700);
    importtest::Booking card;
    card.number = "CARD";
    card.arrival = "4111-1111-1111-1111";
    card.departure = "CVV-987";
    importtest::Booking guest;
    guest.number = "GUEST";
    guest.guest = "秘密客人";
    std::map<std::string, std::string> texts = {{"card.txt", card.FileText()},
                                                {"guest.txt", guest.FileText()}};
    for (const auto& [name, text] : texts) {
        const std::string path = secret + "/" + name;
        ts::WriteFile(path, text);
        ASSERT_EQ(chmod(path.c_str(), 0600), 0);
        // Made as root here: the kernel's protected_hardlinks keeps the
        // writer from it, where it is on.
        ASSERT_EQ(link(path.c_str(), (drop + "/" + name).c_str()), 0);
    }

    const Run run = RunHost(0, drop);
    for (const auto& [name, text] : texts) {
        EXPECT_EQ(CountOf(run.out, "refused " + drop + "/" + name +
                                       " unread: it has 2 hard links, and a booking file has one"),
                  1)
            << run.out;
        EXPECT_EQ(ts::ReadFile(secret + "/" + name), text);
    }
    for (const char* quoted : {"4111", "CVV-987", "秘密客人"})
        EXPECT_EQ(CountOf(run.out, ts::Gbk(quoted)), 0) << run.out;
    EXPECT_EQ(db_->Count("GstProfile"), 0);
    ExpectImported({});
}

}  // namespace
}  // namespace robust
