// Hosts and writers of other accounts than the test's own (root): a host as
// the packaged service runs it, without CAP_LEASE, and a writer that is
// neither the host nor root, each with a drop directory both can write.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/host/HostChild.h"
#include "tests/support/TestSupport.h"

namespace robust {

inline constexpr uid_t kDaemonUser = 1;
inline constexpr uid_t kNobodyUser = 65534;

// Why these tests cannot run here (not root, no setpriv); empty when they can.
std::string OtherUsersMissing();

// Opens the test database's files to every account, so that a host of
// another account reaches its data source, database and ini file.
void ShareWithEveryone(const ts::HotelDatabase& db);

// Makes path a directory of owner's with mode; returns path.
std::string MakeDirectoryOf(const std::string& path, uid_t owner, mode_t mode);

// Starts command (HostPath() and its arguments, or another program found on
// PATH that execs it) as uid, without supplementary groups or capabilities,
// with env ("NAME=value") added to the environment.
std::unique_ptr<hosttest::HostChild> StartAs(uid_t uid, const std::vector<std::string>& command,
                                             const std::vector<std::string>& env = {});

// A test of hosts and writers of other accounts: skipped where
// OtherUsersMissing() says why; a private SQLite hotel database and a
// temporary directory every account can reach.
class OtherUsersTest : public ::testing::Test {
  protected:
    void SetUp() override;

    struct Run {
        int status;
        std::string out;  // its standard output and error
    };
    // A one-shot reservation-host as uid on drop. Without a lease a file is
    // taken once unchanged for minAge seconds.
    Run RunHost(uid_t uid, const std::string& drop, const std::string& minAge = "0");

    std::unique_ptr<ts::HotelDatabase> db_;
    ts::TempDir root_;
};

}  // namespace robust
