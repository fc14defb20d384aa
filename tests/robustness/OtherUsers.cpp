#include "tests/robustness/OtherUsers.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>

namespace robust {

std::string OtherUsersMissing() {
    if (geteuid() != 0) return "needs root to act as other users";
    if (access("/usr/bin/setpriv", X_OK) != 0) return "needs /usr/bin/setpriv";
    return {};
}

void ShareWithEveryone(const ts::HotelDatabase& db) {
    namespace fs = std::filesystem;
    const fs::perms readWrite = fs::perms::owner_read | fs::perms::owner_write |
                                fs::perms::group_read | fs::perms::group_write |
                                fs::perms::others_read | fs::perms::others_write;
    for (const fs::path& dir : {fs::path(db.Dir()), fs::path(db.OdbcIniPath()).parent_path()}) {
        fs::permissions(dir, fs::perms::all);
        for (const auto& f : fs::directory_iterator(dir)) fs::permissions(f.path(), readWrite);
    }
}

std::string MakeDirectoryOf(const std::string& path, uid_t owner, mode_t mode) {
    if ((mkdir(path.c_str(), mode) != 0 && errno != EEXIST) ||
        chown(path.c_str(), owner, owner) != 0 || chmod(path.c_str(), mode) != 0)
        throw std::runtime_error("cannot make the directory " + path);
    return path;
}

std::unique_ptr<hosttest::HostChild> StartAs(uid_t uid, const std::vector<std::string>& command,
                                             const std::vector<std::string>& env) {
    // Through env(1), which replaces the ASAN_OPTIONS HostChild sets: a
    // preloaded library (libfaketime) comes before the sanitizer's runtime.
    std::vector<std::string> args = {"ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"};
    args.insert(args.end(), env.begin(), env.end());
    const std::string id = std::to_string(uid);
    args.insert(args.end(), {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups",
                             "--inh-caps=-all"});
    args.insert(args.end(), command.begin(), command.end());
    return std::make_unique<hosttest::HostChild>(args, hosttest::HostChild::Output::Pipe,
                                                 "/usr/bin/env");
}

void OtherUsersTest::SetUp() {
    if (const std::string why = OtherUsersMissing(); !why.empty()) GTEST_SKIP() << why;
    db_ = std::make_unique<ts::HotelDatabase>(ts::Backend::SQLite);
    ASSERT_EQ(chmod(root_.Path().c_str(), 0755), 0);
}

OtherUsersTest::Run OtherUsersTest::RunHost(uid_t uid, const std::string& drop,
                                            const std::string& minAge) {
    ShareWithEveryone(*db_);
    auto host =
        StartAs(uid, {hosttest::HostPath(), drop + "?1!desk"}, {"RESERVATION_MIN_AGE=" + minAge});
    const int status = host->Finish();
    return {status, host->Text()};
}

}  // namespace robust
