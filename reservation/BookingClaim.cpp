#include "reservation/BookingClaim.h"

#include <map>
#include <utility>

#include "framework/clock.h"
#include "framework/direnum.h"
#include "framework/processtag.h"
#include "framework/sha256.h"
#include "framework/trace.h"
#include "reservation/ImportLedger.h"

namespace resv {
namespace {

bool IsDotName(const std::string& name) { return !name.empty() && name.front() == '.'; }

constexpr int kNameTries = 1000;

// Moves name of from into to under name, or, where a newer file took that
// name meanwhile, under the first free "name~N": no file is ever replaced.
// Returns the error of the last attempt and the name used.
fw::FileError MoveKeepingBoth(const fw::Directory& from, const std::string& name,
                              const fw::Directory& to, const std::string& toName,
                              std::string& usedName) {
    usedName = toName;
    fw::FileError error = from.Rename(name, to, usedName, true);
    for (int n = 2; error == fw::FileError::AlreadyExists && n < kNameTries; ++n) {
        usedName = toName + "~" + std::to_string(n);
        error = from.Rename(name, to, usedName, true);
    }
    return error;
}

// The name of the commit-in-doubt marker of a booking file's ledger key. A
// dot name: the take-up passes it by, and it keeps the area from being
// removed while it is there.
std::string DoubtMarkerName(const std::string& fileKey) {
    return ".doubt+" + fw::Sha256Hex(fileKey);
}

// A directory of the claim area, with the permissions of the drop directory
// (the umask must not narrow what the hosts sharing it are allowed).
fw::Directory OpenAreaDirectory(const fw::Directory& parent, const std::string& name, unsigned mode,
                                fw::FileError& error) {
    fw::Directory dir = parent.OpenChild(name, true, mode, error);
    if (dir.IsOpen()) static_cast<void>(dir.SetPermissions(mode));
    return dir;
}

std::string Described(fw::FileError error) {
    return std::string(fw::FileErrorName(error)) +
           ",error=" + std::to_string(static_cast<unsigned>(error));
}

// Clears the name ".claims" of what a writer put there instead of the claim
// area: a symbolic link goes (what it points to is never touched), anything
// else that is not a directory is renamed aside. True when the name is free
// or a directory now.
bool ClearClaimAreaName(const fw::Directory& drop, const std::string& dropPath) {
    fw::FileVersion version;
    fw::EntryKind kind = fw::EntryKind::Directory;
    if (!drop.Stat(kClaimAreaName, version, &kind) || kind == fw::EntryKind::Directory) return true;
    const std::string path = fw::EntryPath(dropPath, kClaimAreaName);
    if (kind == fw::EntryKind::SymbolicLink) {
        const fw::FileError error = drop.Remove(kClaimAreaName);
        if (error == fw::FileError::None || error == fw::FileError::NotFound) {
            fw::Trace(fw::Priority::Warning,
                      "removed the symbolic link %s: the claim area is a directory of its own\n",
                      path.c_str());
            return true;
        }
        return false;
    }
    std::string aside;
    const fw::FileError error = MoveKeepingBoth(drop, kClaimAreaName, drop,
                                                std::string(kClaimAreaName) + "-set-aside", aside);
    if (error != fw::FileError::None && error != fw::FileError::NotFound) return false;
    if (error == fw::FileError::None)
        fw::Trace(fw::Priority::Warning,
                  "moved %s aside to %s: the claim area is a directory of its own\n", path.c_str(),
                  fw::EntryPath(dropPath, aside).c_str());
    return true;
}

// The files this process put back, by identity, with their change time
// after the put-back. Bounded: forgetting one only costs it a wait.
std::map<std::pair<std::uint64_t, std::uint64_t>, std::int64_t>& Returned() {
    static std::map<std::pair<std::uint64_t, std::uint64_t>, std::int64_t> returned;
    return returned;
}
constexpr std::size_t kReturnedMax = 10000;

}  // namespace

bool ReturnedUnchanged(const fw::FileVersion& version) {
    const auto found = Returned().find({version.device, version.inode});
    return found != Returned().end() && found->second == version.changedNs;
}

ClaimArea::ClaimArea(const fw::Directory& drop, std::string dropPath, fw::Directory area,
                     fw::Directory own, fw::ClaimLock lock)
    : drop_(drop),
      dropPath_(std::move(dropPath)),
      area_(std::move(area)),
      own_(std::move(own)),
      lock_(std::move(lock)) {}

std::unique_ptr<ClaimArea> ClaimArea::Prepare(const fw::Directory& drop,
                                              const std::string& dropPath, std::string& problem) {
    const unsigned mode = drop.Permissions();
    const std::string areaPath = fw::EntryPath(dropPath, kClaimAreaName);
    const std::string unusable =
        "): it must be a directory the host can write; remove it, or give it the owner and mode "
        "of the drop directory; no booking is imported";
    fw::FileError error = fw::FileError::None;
    // Another host removes the area when it ends and finds it empty; the
    // area it removed under us is made again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!ClearClaimAreaName(drop, dropPath)) break;
        fw::FileVersion existing;
        const bool existed = drop.Stat(kClaimAreaName, existing);
        fw::Directory area = OpenAreaDirectory(drop, kClaimAreaName, mode, error);
        if (!area.IsOpen()) {
            if (error == fw::FileError::NotFound || error == fw::FileError::BadPath) continue;
            if (existed)
                problem =
                    "cannot use the claim area " + areaPath + " (" + Described(error) + unusable;
            else if (error == fw::FileError::AccessDenied)
                problem = "drop directory " + dropPath + " is not writable (" + Described(error) +
                          "): no booking is imported";
            else
                problem = "cannot create the claim area " + areaPath + " (" + Described(error) +
                          "): no booking is imported";
            return nullptr;
        }
        fw::Directory own = OpenAreaDirectory(area, fw::ThisProcessTag(), mode, error);
        if (!own.IsOpen()) {
            if (error == fw::FileError::NotFound) continue;
            problem = "cannot use the claim area " + areaPath + " (" + Described(error) + unusable;
            return nullptr;
        }
        fw::ClaimLock::State state = fw::ClaimLock::State::Unknown;
        fw::ClaimLock lock = fw::ClaimLock::Take(own, mode, state);
        return std::unique_ptr<ClaimArea>(
            new ClaimArea(drop, dropPath, std::move(area), std::move(own), std::move(lock)));
    }
    problem = "cannot create the claim area " + areaPath + " (" + Described(error) +
              "): something else keeps taking its name; no booking is imported";
    return nullptr;
}

ClaimArea::~ClaimArea() {
    // The lock first: on Win32 neither the lock file nor a directory with an
    // open handle can be removed.
    lock_ = fw::ClaimLock();
    static_cast<void>(own_.Remove(fw::kClaimLockName));
    own_ = fw::Directory();
    // Both only when empty: claims of other hosts, markers, or a file that
    // could not be put back keep them.
    if (area_.Remove(fw::ThisProcessTag(), true) == fw::FileError::None) {
        area_ = fw::Directory();
        static_cast<void>(drop_.Remove(kClaimAreaName, true));
    }
}

bool ClaimArea::FileSystemNow(std::int64_t& ns) {
    const auto now = std::chrono::steady_clock::now();
    if (!clockRead_) {
        if (!own_.FileSystemNow(clockAt_)) return false;
        clockRead_ = true;
        clockReadAt_ = now;
    }
    ns =
        clockAt_ + std::chrono::duration_cast<std::chrono::nanoseconds>(now - clockReadAt_).count();
    return true;
}

std::string ClaimArea::FreeOwnName(const std::string& name) const {
    fw::FileVersion taken;
    if (!own_.Stat(name, taken)) return name;
    for (int n = 2; n < kNameTries; ++n) {
        const std::string candidate = name + "~" + std::to_string(n);
        if (!own_.Stat(candidate, taken)) return candidate;
    }
    return name;
}

bool ClaimArea::MarkInDoubt(const std::string& fileKey) const {
    fw::FileError error = fw::FileError::None;
    return OpenAreaDirectory(area_, DoubtMarkerName(fileKey), drop_.Permissions(), error).IsOpen();
}

bool ClaimArea::InDoubt(const std::string& fileKey) const {
    fw::FileVersion marker;
    return area_.Stat(DoubtMarkerName(fileKey), marker);
}

void ClaimArea::ClearInDoubt(const std::string& fileKey) const {
    static_cast<void>(area_.Remove(DoubtMarkerName(fileKey), true));
}

bool ClaimArea::Abandoned(const std::string& owner, const fw::Directory& dir, fw::ClaimLock& lock) {
    const fw::TagState state = fw::CheckProcessTag(owner);
    if (state == fw::TagState::Running) return false;
    // Before the lock: trying it may create the lock file, which changes the
    // directory.
    const std::int64_t modified = dir.ModifiedAtNs();
    fw::ClaimLock::State lockState = fw::ClaimLock::State::Unknown;
    lock = fw::ClaimLock::Take(dir, drop_.Permissions(), lockState);
    if (lockState == fw::ClaimLock::State::HeldElsewhere) return false;
    switch (state) {
        case fw::TagState::Gone:
            // A host of ours on this machine holds its tag; a tag nobody
            // holds names a process that ended, or one that is no host.
            return true;
        case fw::TagState::NotATag:
            // Not a claim: whatever a writer put there is a booking to take.
            return true;
        case fw::TagState::Unknown:
            // Whether its process lives cannot be told from here now: only
            // its lock, taken by us, shows that nobody works on it.
            return lockState == fw::ClaimLock::State::Taken;
        case fw::TagState::OtherMachine: {
            // Its lock may not reach here: staleness decides, by the clock of
            // the file system both machines write to.
            std::int64_t now = 0;
            if (!FileSystemNow(now)) return false;
            return now - modified >= std::int64_t{kStaleClaimSeconds} * 1000000000;
        }
        case fw::TagState::Running:
            break;
    }
    return false;
}

std::vector<std::string> ClaimArea::TakeUpAbandoned(const fw::QuietRule& quiet) {
    std::vector<std::string> taken;
    // This process's own leftovers first (a file that could not be put back).
    {
        fw::DirectoryScan scan;
        std::string name;
        if (scan.Start(own_))
            while (scan.Next(name))
                if (!IsDotName(name)) taken.push_back(name);
    }

    fw::DirectoryScan owners;
    if (!owners.Start(area_)) return taken;
    std::string owner;
    while (owners.Next(owner)) {
        if (IsDotName(owner) || owner == fw::ThisProcessTag()) continue;
        fw::FileError error = fw::FileError::None;
        fw::Directory claim = area_.OpenChild(owner, false, 0, error);
        if (!claim.IsOpen()) continue;
        fw::ClaimLock lock;
        if (!Abandoned(owner, claim, lock)) continue;
        fw::DirectoryScan files;
        std::string name;
        if (files.Start(claim)) {
            while (files.Next(name)) {
                if (IsDotName(name)) continue;
                fw::FileError busy = fw::FileError::None;
                static_cast<void>(fw::ExclusiveFile::Open(claim, name, busy, quiet));
                if (busy == fw::FileError::SharingViolation) continue;
                // Another host taking up the same claim at the same moment
                // gets NotFound here and leaves the file to us.
                const std::string target = FreeOwnName(name);
                if (claim.Rename(name, own_, target, false) == fw::FileError::None)
                    taken.push_back(target);
            }
        }
        lock = fw::ClaimLock();
        static_cast<void>(claim.Remove(fw::kClaimLockName));
        claim = fw::Directory();
        static_cast<void>(area_.Remove(owner, true));
    }
    return taken;
}

fw::FileError BookingClaim::Claim(ClaimArea& area, const std::string& name, fw::ExclusiveFile file,
                                  std::unique_ptr<BookingClaim>& claim) {
    // A plain rename into this process's own directory, where nobody else
    // puts anything: atomic everywhere, and of several hosts renaming one
    // file exactly one gets it.
    const std::string target = area.FreeOwnName(name);
    fw::FileError error = area.Drop().Rename(name, area.Own(), target, false);
    if (error == fw::FileError::NotFound) return fw::FileError::SharingViolation;
    if (error != fw::FileError::None) return error;

    fw::FileVersion moved;
    if (!area.Own().Stat(target, moved) || !moved.SameFile(file.Version())) {
        // The name was given to another file between our open and the rename
        // (a writer's rename, or another host's put-back): that file is not
        // ours to claim.
        std::string used;
        if (MoveKeepingBoth(area.Own(), target, area.Drop(), name, used) != fw::FileError::None)
            fw::Trace(fw::Priority::Warning,
                      "can't return %s to the drop directory; the next call takes it up\n",
                      fw::EntryPath(area.DropPath(), name).c_str());
        return fw::FileError::SharingViolation;
    }
    claim.reset(new BookingClaim(area, name, target, std::move(file), false));
    return fw::FileError::None;
}

fw::FileError BookingClaim::Adopt(ClaimArea& area, const std::string& name,
                                  std::unique_ptr<BookingClaim>& claim) {
    // Its writer was proven done when it was first claimed; taking it over
    // just changed it, and no wait is due.
    fw::QuietRule alreadyProven;
    alreadyProven.minimumAgeNs = 0;
    fw::FileError error = fw::FileError::None;
    fw::ExclusiveFile file = fw::ExclusiveFile::Open(area.Own(), name, error, alreadyProven);
    claim.reset(new BookingClaim(area, name, name, std::move(file), true));
    return error;
}

BookingClaim::~BookingClaim() {
    file_.Close();
    if (removed_ || staysClaimed_) return;
    try {
        PutBack();
    } catch (...) {
        // Out of memory for a trace line: the file stays in the claim, where
        // the next call takes it up.
    }
}

void BookingClaim::SetContentDigest(const std::string& digest) {
    fileKey_ = BookingFileKey(name_, digest);
}

std::string BookingClaim::Path() const { return fw::EntryPath(area_.DropPath(), name_); }

void BookingClaim::PutBack() {
    std::string used;
    const fw::FileError error = MoveKeepingBoth(area_.Own(), claimedAs_, area_.Drop(), name_, used);
    if (error == fw::FileError::NotFound) {
        // Judged abandoned by a host that could not see this one at work:
        // that host has the file now and handles it.
        fw::Trace(fw::Priority::Warning, "%s was taken over by another host meanwhile\n",
                  Path().c_str());
        return;
    } else if (error != fw::FileError::None) {
        fw::Trace(fw::Priority::Warning,
                  "can't return %s to the drop directory,error=%u; the next call takes it up\n",
                  Path().c_str(), static_cast<unsigned>(error));
        return;
    } else if (used != name_) {
        fw::Trace(fw::Priority::Warning, "returned %s as %s: a newer file has its name\n",
                  Path().c_str(), used.c_str());
    }
    fw::FileVersion back;
    if (area_.Drop().Stat(used, back) && back.SameFile(file_.Version())) {
        if (Returned().size() >= kReturnedMax) Returned().clear();
        Returned()[{back.device, back.inode}] = back.changedNs;
    }
}

bool BookingClaim::Refresh() {
    fw::FileVersion now;
    if (!area_.Own().Stat(claimedAs_, now) || !now.SameFile(file_.Version())) return false;
    static_cast<void>(area_.Own().Touch());
    return true;
}

bool BookingClaim::MayBeImported() const {
    markerSeen_ = !inDoubt_ && !fileKey_.empty() && area_.InDoubt(fileKey_);
    return takenUp_ || inDoubt_ || markerSeen_;
}

void BookingClaim::MarkInDoubt() {
    inDoubt_ = area_.MarkInDoubt(fileKey_);
    if (inDoubt_) return;
    // Back in the drop directory without its marker it would be imported as
    // a new booking; taken up from the claim it is looked for first.
    staysClaimed_ = true;
    fw::Trace(fw::Priority::Warning,
              "can't mark %s for a check of its failed commit; it stays in the claim, and the "
              "next call looks for its import first\n",
              Path().c_str());
}

void BookingClaim::ClearInDoubt() {
    // Only a marker this process made or saw: the common path costs nothing.
    if ((inDoubt_ || markerSeen_) && !fileKey_.empty()) area_.ClearInDoubt(fileKey_);
    inDoubt_ = markerSeen_ = false;
}

fw::FileError BookingClaim::Remove() {
    const fw::FileError error = area_.Own().Remove(claimedAs_);
    // Gone either way: nothing to put back.
    if (error == fw::FileError::None || error == fw::FileError::NotFound)
        removed_ = true;
    else
        staysClaimed_ = true;
    return error;
}

}  // namespace resv
