// Hosts as other machines run them, on one drop directory: each through a
// mount of its own (a FUSE mirror: its own device number, no
// RENAME_NOREPLACE, no flock reaching the others), with a host name of its
// own (a UTS namespace), a clock of its own (libfaketime, file times left to
// the file system), or in a process id namespace of its own. Whatever their
// file systems and clocks do, each booking lands once, and each host says
// what became of the bookings it handled. Needs root, FUSE, unshare and
// faketime: where one is missing the test says so and is skipped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/host/HostChild.h"
#include "tests/import/ImportFixture.h"
#include "tests/robustness/Ledger.h"
#include "tests/support/Cat.h"
#include "tests/support/Command.h"
#include "tests/support/FuseMirror.h"

namespace robust {
namespace {

using hosttest::CountOf;
using hosttest::HostChild;
using std::chrono::milliseconds;

// How a host's machine differs from this one.
struct Machine {
    std::string name;        // its host name; empty: this machine's
    std::string clockAhead;  // libfaketime's offset ("+15m"); empty: this clock
    bool ownPidNamespace = false;
};

Machine Named(const std::string& name, const std::string& clockAhead = "") {
    return {name, clockAhead, false};
}

// Why hosts on such machines cannot be run here; empty when they can.
std::string Unavailable(const Machine& m, bool mirrors) {
    std::string why;
    if (mirrors && !ts::FuseMirror::Available(&why)) return why;
    if (!m.name.empty() && ts::RunCommand("unshare --uts true").second != 0)
        return "unshare --uts does not work here (needs root)";
    if (m.ownPidNamespace && ts::RunCommand("unshare --pid --fork --mount-proc true").second != 0)
        return "unshare --pid --fork --mount-proc does not work here (needs root)";
    if (!m.clockAhead.empty() && ts::RunCommand("command -v faketime").second != 0)
        return "faketime is not installed";
    return {};
}

// reservation-host with the test module on request, on machine m.
std::unique_ptr<HostChild> StartHost(const Machine& m, const std::string& request,
                                     const std::vector<std::string>& env = {}) {
    const std::vector<std::string> host = {hosttest::HostPath(), "--module",
                                           hosttest::TestModulePath(), request};
    std::vector<std::string> environment = env;
    environment.push_back("RESERVATION_MIN_AGE=0");  // every file is complete when the host starts
    if (m.name.empty() && m.clockAhead.empty() && !m.ownPidNamespace)
        return std::make_unique<HostChild>(std::vector<std::string>(host.begin() + 1, host.end()),
                                           HostChild::Output::Pipe, host[0], environment);
    std::string script;
    if (!m.name.empty()) script += "hostname " + ts::ShellQuote(m.name) + " || exit 97; ";
    // The sanitizer runtime must then tolerate libfaketime loaded before it.
    if (!m.clockAhead.empty())
        script +=
            "export NO_FAKE_STAT=1 ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\"; "
            "exec faketime -f " +
            ts::ShellQuote(m.clockAhead) + " \"$@\"";
    else
        script += "exec \"$@\"";
    std::vector<std::string> args;
    if (!m.name.empty()) args.push_back("--uts");
    if (m.ownPidNamespace) args.insert(args.end(), {"--pid", "--fork", "--mount-proc"});
    args.insert(args.end(), {"/bin/sh", "-c", script, "sh"});
    args.insert(args.end(), host.begin(), host.end());
    return std::make_unique<HostChild>(args, HostChild::Output::Pipe, "/usr/bin/unshare",
                                       environment);
}

// Polls query until it counts at least one row, while host runs; false
// once host has ended (its summary ends in "left") or after a minute.
bool WaitForRows(ts::HotelDatabase& db, const std::string& query, HostChild& host) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (db.Scalar(query) != "0") return true;
        if (host.WaitFor(" left", milliseconds(20))) return false;
    }
    return false;
}

// Lines a host's trace starts with "imported " (not "already imported ").
int ImportedLines(const std::string& text) { return CountOf("\n" + text, "\nimported "); }

// Three front desks, each on its own machine and mount, 300 bookings, a few
// of them refused: every call claims them and puts them back, so that
// put-backs (a link and an unlink on these mounts) race with the others'
// claims. With a pause between the link and the unlink of a put-back
// (RESERVATION_TEST_LINK_PAUSE_MS of the test module) the window is held
// open. Each good booking lands once, nobody imports a booking another host
// had already imported, the refused ones are back under their own names, and
// no claim is left.
class MirroredHosts : public ts::BackendTest {};

TEST_P(MirroredHosts, EachBookingLandsOnceWhateverTheLinkWindow) {
    const std::string why = Unavailable(Named("desk-a"), true);
    if (!why.empty()) GTEST_SKIP() << why;
    ts::HotelDatabase db(GetBackend());
    ts::TempDir drop;
    std::vector<std::unique_ptr<ts::FuseMirror>> mirrors;
    for (int i = 0; i < 3; ++i) {
        mirrors.push_back(std::make_unique<ts::FuseMirror>(drop.Path()));
        ASSERT_TRUE(mirrors.back()->Mounted()) << mirrors.back()->Why();
    }

    const struct {
        int pauseMs;
        int bookings;
        int refused;
    } windows[] = {{0, 300, 12}, {1, 60, 6}, {1000, 12, 2}};
    std::set<std::string> numbers;
    int batch = 0;
    for (const auto& w : windows) {
        SCOPED_TRACE("pause " + std::to_string(w.pauseMs) + " ms");
        const std::string prefix = "M" + std::to_string(batch++) + "-";
        for (int i = 0; i < w.bookings; ++i) {
            numbers.insert(prefix + std::to_string(i));
            ts::WriteFile(drop.File(prefix + std::to_string(i) + ".txt"),
                          hosttest::BookingText(prefix + std::to_string(i)));
        }
        std::vector<std::string> refused;
        for (int i = 0; i < w.refused; ++i) {
            refused.push_back(prefix + "R" + std::to_string(i) + ".txt");
            ts::WriteFile(drop.File(refused.back()),
                          hosttest::BookingText(prefix + "R", "张三", "40000"));
        }
        const std::vector<std::string> env = {"RESERVATION_TEST_LINK_PAUSE_MS=" +
                                              std::to_string(w.pauseMs)};
        std::string traces;
        // The second round finds only the refused files: all three hosts
        // claim and put back the same few at once.
        for (int round = 0; round < 2; ++round) {
            std::vector<std::unique_ptr<HostChild>> hosts;
            for (int h = 0; h < 3; ++h)
                hosts.push_back(StartHost(Named(std::string("desk-") + char('a' + h)),
                                          mirrors[h]->Path() + "?1!desk", env));
            for (auto& host : hosts) {
                const int status = host->Finish(kBatchRun);
                traces += host->Text();
                EXPECT_NE(status, -1) << host->Text();
            }
        }
        ExpectExactlyOnce(db, drop.Path(), numbers, true);
        EXPECT_EQ(ImportedLines(traces), w.bookings) << traces;
        EXPECT_EQ(CountOf(traces, "already imported "), 0) << traces;
        for (const std::string& name : refused) EXPECT_TRUE(ts::FileExists(drop.File(name)));
        for (const std::string& name : refused) std::filesystem::remove(drop.File(name));
        EXPECT_FALSE(std::filesystem::exists(drop.File(".claims")));
        if (HasFailure()) return;
    }
}

INSTANTIATE_BACKENDS(MirroredHosts);

// Holds the booking's transaction on the server, its ledger row written and
// not committed, until Release: on PostgreSQL at the commit itself (a
// deferred constraint trigger waits for an advisory lock this object holds);
// on MariaDB, which defers no trigger, at the reservation's insert right
// after the ledger row (GET_LOCK). Lock names are the database's own, so
// that tests in parallel do not hold each other.
class CommitHold {
  public:
    explicit CommitHold(ts::HotelDatabase& db) : db_(db) {
        if (db.Backend() == ts::Backend::PostgreSQL) {
            db.Execute(
                "create function dbo.hold_commit() returns trigger language plpgsql as $$ begin "
                "perform pg_advisory_lock(4711); perform pg_advisory_unlock(4711); return null; "
                "end $$");
            db.Execute(
                "create constraint trigger hold_commit after insert on dbo.reservation deferrable "
                "initially deferred for each row execute function dbo.hold_commit()");
            db.Scalar("select pg_advisory_lock(4711)");
        } else {
            db.Execute(
                "create trigger hold_commit before insert on Reservation for each row "
                "begin if get_lock('" +
                Name() + "', 600) = 1 then do release_lock('" + Name() + "'); end if; end");
            db.Scalar("select get_lock('" + Name() + "', 0)");
        }
        held_ = true;
    }
    ~CommitHold() { Release(); }
    CommitHold(const CommitHold&) = delete;
    CommitHold& operator=(const CommitHold&) = delete;

    void Release() {
        if (!held_) return;
        held_ = false;
        db_.Scalar(db_.Backend() == ts::Backend::PostgreSQL
                       ? "select pg_advisory_unlock(4711)"
                       : "select release_lock('" + Name() + "')");
    }

    // Counts the transactions of this database waiting on the hold, and
    // those waiting on another transaction's row (the ledger key).
    std::string HeldQuery() const {
        return db_.Backend() == ts::Backend::PostgreSQL
                   ? "select count(*) from pg_locks l join pg_stat_activity a on a.pid = l.pid "
                     "where l.locktype = 'advisory' and not l.granted and a.datname = "
                     "current_database()"
                   : "select count(*) from information_schema.processlist where state = 'User "
                     "lock' and db = database()";
    }
    std::string KeyWaitQuery() const {
        return db_.Backend() == ts::Backend::PostgreSQL
                   ? "select count(*) from pg_locks l join pg_stat_activity a on a.pid = l.pid "
                     "where l.locktype = 'transactionid' and not l.granted and a.datname = "
                     "current_database()"
                   : "select count(*) from information_schema.processlist where state = "
                     "'Update' and info like '%BookingImport%' and db = database()";
    }

  private:
    std::string Name() const { return "hold_" + db_.DatabaseName(); }

    ts::HotelDatabase& db_;
    bool held_ = false;
};

// One host's commit hangs on the server. Another machine, on its own mount,
// with its clock 15 or 60 minutes ahead, leaves the claim alone: the file
// system's clock says it is fresh. Once the file system says the claim has
// not moved for 11 minutes the other machine takes the booking over; its
// import waits on the ledger key and ends "already imported", and the first
// host, whose commit went through, says "imported". One reservation.
class HeldCommit : public ts::BackendTest {};

TEST_P(HeldCommit, AnotherMachineNeverImportsItTooAndEachHostSaysWhatHappened) {
    if (GetBackend() == ts::Backend::SQLite)
        GTEST_SKIP() << "SQLite has one writer at a time: no commit to hold beside another";
    const std::string why = Unavailable(Named("desk-b", "+15m"), true);
    if (!why.empty()) GTEST_SKIP() << why;
    ts::HotelDatabase db(GetBackend());
    ts::TempDir drop;
    const ts::FuseMirror mirror(drop.Path());
    ASSERT_TRUE(mirror.Mounted()) << mirror.Why();
    ts::WriteFile(drop.File("h.txt"), hosttest::BookingText("H1"));

    CommitHold hold(db);
    auto first = StartHost(Machine{}, drop.Path() + "?1!desk");
    ASSERT_TRUE(WaitForRows(db, hold.HeldQuery(), *first)) << first->Text();
    for (const char* ahead : {"+15m", "+60m"}) {
        SCOPED_TRACE(ahead);
        auto other = StartHost(Named("desk-b", ahead), mirror.Path() + "?1!desk");
        // Had it taken the claim, it would wait for the held commit.
        EXPECT_EQ(other->Finish(milliseconds(60000)), 0) << other->Text();
        EXPECT_EQ(CountOf(other->Text(), "h.txt"), 0) << other->Text();
        EXPECT_EQ(CountOf(other->Text(), "0 imported, 0 already imported, 0 refused, 0 busy"), 1)
            << other->Text();
    }

    const bool takeOver = ts::HotelDatabase::HasLedger();
    std::unique_ptr<HostChild> other;
    if (takeOver) {
        // The first host's claim, as if its commit had hung for 11 minutes:
        // set through the mirror, whose cached times would hide it a while,
        // and with the access time too, which bindfs needs to set either.
        const struct timespec past[2] = {{std::time(nullptr) - 660, 0},
                                         {std::time(nullptr) - 660, 0}};
        for (const auto& owner : std::filesystem::directory_iterator(mirror.Path() + "/.claims"))
            if (owner.path().filename().string().front() != '.') {
                ASSERT_EQ(utimensat(AT_FDCWD, owner.path().c_str(), past, 0), 0);
            }
        other = StartHost(Named("desk-b"), mirror.Path() + "?1!desk");
        EXPECT_TRUE(WaitForRows(db, hold.KeyWaitQuery(), *other)) << other->Text();
    }
    hold.Release();
    EXPECT_EQ(first->Finish(kBatchRun), 0) << first->Text();
    EXPECT_EQ(db.Count("Reservation"), 1);
    const std::string account = db.Scalar("select GstAcct from Reservation");
    const std::string imported = "imported " + drop.File("h.txt") + " as guest account " + account;
    EXPECT_EQ(CountOf(first->Text(), "1 imported, 0 already imported"), 1) << first->Text();
    if (!takeOver) {
        EXPECT_EQ(CountOf(first->Text(), imported + "\n"), 1) << first->Text();
        GTEST_SKIP() << "a claim taken over while its commit hangs is fenced by the import ledger "
                        "only; this database has none";
    }
    EXPECT_EQ(other->Finish(kBatchRun), 0) << other->Text();
    EXPECT_EQ(CountOf(first->Text(), imported + "; another host took its file over"), 1)
        << first->Text();
    EXPECT_EQ(CountOf(other->Text(),
                      "already imported " + mirror.Path() + "/h.txt as guest account " + account),
              1)
        << other->Text();
    EXPECT_EQ(CountOf(other->Text(), "0 imported, 1 already imported"), 1) << other->Text();
    EXPECT_EQ(db.Count("Reservation"), 1);
    EXPECT_FALSE(ts::FileExists(drop.File("h.txt")));
    EXPECT_FALSE(std::filesystem::exists(drop.File(".claims")));
}

INSTANTIATE_BACKENDS(HeldCommit);

// A host in a process id namespace of its own (a container with the
// machine's host name) beside plain hosts on one drop directory: its process
// is not theirs to see, yet none of them takes a booking it holds. The plain
// hosts start one after another while it works, and each looks at its claim
// first thing.
class PidNamespaceHosts : public ts::BackendTest {};

TEST_P(PidNamespaceHosts, NoneTakesALiveClaimItCannotSee) {
    const Machine container{"", "", true};
    const std::string why = Unavailable(container, false);
    if (!why.empty()) GTEST_SKIP() << why;
    ts::HotelDatabase db(GetBackend());
    ts::TempDir drop;
    std::set<std::string> numbers;
    for (int i = 0; i < 120; ++i) {
        const std::string number = ts::Cat("P", i);
        numbers.insert(number);
        ts::WriteFile(drop.File(number + ".txt"), hosttest::BookingText(number));
    }
    const std::string request = drop.Path() + "?1!desk";
    auto contained = StartHost(container, request);
    ASSERT_TRUE(contained->WaitFor("imported ", std::chrono::seconds(60))) << contained->Text();
    std::string traces;
    int plainHosts = 0;
    while (!contained->WaitFor(" left", milliseconds(0))) {
        auto plain = StartHost(Machine{}, request);
        EXPECT_EQ(plain->Finish(kBatchRun), 0) << plain->Text();
        traces += plain->Text();
        ++plainHosts;
    }
    EXPECT_EQ(contained->Finish(kBatchRun), 0) << contained->Text();
    traces += contained->Text();
    // Two hosts opening one file at the same instant may both find it busy
    // and leave it for a later call: one more call takes up what was so left.
    auto last = StartHost(Machine{}, request);
    EXPECT_EQ(last->Finish(kBatchRun), 0) << last->Text();
    traces += last->Text();
    ExpectExactlyOnce(db, drop.Path(), numbers, true);
    EXPECT_EQ(ImportedLines(traces), 120) << traces;
    EXPECT_EQ(CountOf(traces, "already imported "), 0) << traces;
    EXPECT_EQ(CountOf(traces, "another host"), 0) << traces;
    std::printf("%d plain hosts beside the contained one\n", plainHosts);
}

INSTANTIATE_BACKENDS(PidNamespaceHosts);

// A host died holding an amended booking (same number, guest, dates and
// price as one imported before; two rooms instead of one): it is a booking of
// its own, imported when its claim is taken up.
class DeadClaim : public importtest::ImportTest {};

TEST_P(DeadClaim, AnAmendedBookingInItIsImported) {
    importtest::Booking original;
    original.number = "A1";
    Drop("a.txt", original);
    ImportAll();
    importtest::Booking amended = original;
    amended.rooms = "2";
    const std::string path = DropClaimed("a.txt", amended.FileText());
    trace_.Clear();
    ImportAll();
    EXPECT_EQ(trace_.Count("imported " + path + " as guest account "), 1u) << trace_.Text();
    EXPECT_EQ(trace_.Count("already imported"), 0u) << trace_.Text();
    EXPECT_EQ(db_->Scalar("select count(*) from Reservation where RmNumbers = 2"), "1");
    EXPECT_EQ(db_->Count("Reservation"), 2);
}

// Refused when taken up, the booking goes back to the drop directory, where
// the same call's scan finds it; through a mount that puts back with a link
// and an unlink (and still shows the link count in between) it is still the
// one booking refused once, not a hard link.
TEST_P(DeadClaim, ARefusedBookingTakenUpThroughAMirrorIsRefusedOnce) {
    std::string why;
    if (!ts::FuseMirror::Available(&why)) GTEST_SKIP() << why;
    const ts::FuseMirror mirror(drop_.Path());
    ASSERT_TRUE(mirror.Mounted()) << mirror.Why();
    importtest::Booking refused;
    refused.guests = "40000";
    DropClaimed("r.txt", refused.FileText());
    ImportAll("Zedi", mirror.Path());
    EXPECT_EQ(trace_.Count("r.txt"), 1u) << trace_.Text();
    EXPECT_EQ(trace_.Count("can't import " + mirror.Path() + "/r.txt"), 1u) << trace_.Text();
    EXPECT_TRUE(ts::FileExists(drop_.File("r.txt")));
}

INSTANTIATE_BACKENDS(DeadClaim);

}  // namespace
}  // namespace robust
