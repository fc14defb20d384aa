#include "reservation/BookingClaim.h"

#include <utility>

#include "framework/clock.h"
#include "framework/direnum.h"
#include "framework/processtag.h"
#include "framework/trace.h"

namespace resv {
namespace {

bool IsDotName(const std::string& name) { return !name.empty() && name.front() == '.'; }

// Moves name of from into to under name, or, where a newer file took that
// name meanwhile, under the first free "name~N": no file is ever replaced.
// Returns the error of the last attempt and the name used.
fw::FileError MoveKeepingBoth(const fw::Directory& from, const std::string& name,
                              const fw::Directory& to, std::string& usedName) {
    usedName = name;
    fw::FileError error = from.Rename(name, to, usedName, true);
    for (int n = 2; error == fw::FileError::AlreadyExists && n < 1000; ++n) {
        usedName = name + "~" + std::to_string(n);
        error = from.Rename(name, to, usedName, true);
    }
    return error;
}

// The permission bits (with setgid) of the drop directory, so that the hosts
// that share it can take up each other's claims.
unsigned DropMode(const fw::Directory& drop) { return drop.Permissions(); }

// The name of the commit-in-doubt marker of one version of a booking file.
// A dot name: the take-up passes it by, and it keeps the area from being
// removed while it is there.
std::string DoubtMarkerName(const fw::FileVersion& v) {
    return ".doubt+" + std::to_string(v.device) + "+" + std::to_string(v.inode) + "+" +
           std::to_string(v.size) + "+" + std::to_string(v.modifiedNs);
}

fw::Directory OpenAreaDirectory(const fw::Directory& parent, const std::string& name, unsigned mode,
                                fw::FileError& error) {
    fw::Directory dir = parent.OpenChild(name, true, mode, error);
    // The umask must not narrow what the drop directory allows.
    dir.SetPermissions(mode);
    return dir;
}

}  // namespace

ClaimArea::ClaimArea(const fw::Directory& drop, std::string dropPath, fw::Directory area,
                     fw::Directory own)
    : drop_(drop), dropPath_(std::move(dropPath)), area_(std::move(area)), own_(std::move(own)) {}

std::unique_ptr<ClaimArea> ClaimArea::Prepare(const fw::Directory& drop,
                                              const std::string& dropPath, fw::FileError& error) {
    const unsigned mode = DropMode(drop);
    // Another host removes the area when it ends and finds it empty; the
    // area it removed under us is made again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        fw::Directory area = OpenAreaDirectory(drop, kClaimAreaName, mode, error);
        if (!area.IsOpen()) {
            if (error == fw::FileError::NotFound) continue;
            return nullptr;
        }
        fw::Directory own = OpenAreaDirectory(area, fw::ThisProcessTag(), mode, error);
        if (own.IsOpen())
            return std::unique_ptr<ClaimArea>(
                new ClaimArea(drop, dropPath, std::move(area), std::move(own)));
        if (error != fw::FileError::NotFound) return nullptr;
    }
    return nullptr;
}

ClaimArea::~ClaimArea() {
    // Both only when empty: claims of other hosts, or a file that could not
    // be put back, keep them. Win32 removes a directory still open only when
    // its last handle closes, and the area is not empty until then.
    own_ = fw::Directory();
    if (area_.Remove(fw::ThisProcessTag(), true) == fw::FileError::None)
        drop_.Remove(kClaimAreaName, true);
}

bool ClaimArea::MarkInDoubt(const fw::FileVersion& version) const {
    fw::FileError error = fw::FileError::None;
    return OpenAreaDirectory(area_, DoubtMarkerName(version), DropMode(drop_), error).IsOpen();
}

bool ClaimArea::InDoubt(const fw::FileVersion& version) const {
    fw::FileVersion marker;
    return area_.Stat(DoubtMarkerName(version), marker);
}

void ClaimArea::ClearInDoubt(const fw::FileVersion& version) const {
    area_.Remove(DoubtMarkerName(version), true);
}

std::vector<std::string> ClaimArea::TakeUpAbandoned() {
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
    const std::int64_t now = fw::SystemClockNow();
    std::string owner;
    while (owners.Next(owner)) {
        if (IsDotName(owner) || owner == fw::ThisProcessTag()) continue;
        fw::FileError error = fw::FileError::None;
        fw::Directory abandoned = area_.OpenChild(owner, false, 0, error);
        if (!abandoned.IsOpen()) continue;
        switch (fw::CheckProcessTag(owner)) {
            case fw::TagState::Running:
            case fw::TagState::NotATag:
                continue;
            case fw::TagState::OtherMachine:
                if (now - abandoned.ModifiedAt() < kStaleClaimSeconds) continue;
                break;
            case fw::TagState::Gone:
                break;
        }
        fw::DirectoryScan files;
        std::string name, used;
        if (files.Start(abandoned)) {
            while (files.Next(name)) {
                if (IsDotName(name)) continue;
                // Another host taking up the same claim at the same moment
                // gets NotFound here and leaves the file to us.
                if (MoveKeepingBoth(abandoned, name, own_, used) == fw::FileError::None)
                    taken.push_back(used);
            }
        }
        area_.Remove(owner, true);
    }
    return taken;
}

fw::FileError BookingClaim::Claim(ClaimArea& area, const std::string& name, fw::ExclusiveFile file,
                                  std::unique_ptr<BookingClaim>& claim) {
    fw::FileError error = area.Drop().Rename(name, area.Own(), name, true);
    if (error == fw::FileError::NotFound) return fw::FileError::SharingViolation;
    if (error != fw::FileError::None) return error;

    fw::FileVersion moved;
    if (!area.Own().Stat(name, moved) || !moved.SameFile(file.Version())) {
        // The name was given to another file between our open and the rename
        // (a writer's rename, or another host's put-back): that file is not
        // ours to claim.
        std::string used;
        MoveKeepingBoth(area.Own(), name, area.Drop(), used);
        return fw::FileError::SharingViolation;
    }
    claim.reset(new BookingClaim(area, name, std::move(file), false));
    return fw::FileError::None;
}

fw::FileError BookingClaim::Adopt(ClaimArea& area, const std::string& name,
                                  std::unique_ptr<BookingClaim>& claim) {
    fw::FileError error = fw::FileError::None;
    fw::ExclusiveFile file = fw::ExclusiveFile::Open(area.Own(), name, error);
    claim.reset(new BookingClaim(area, name, std::move(file), true));
    return error;
}

BookingClaim::~BookingClaim() {
    file_.Close();
    if (!removed_) PutBack();
}

std::string BookingClaim::Path() const { return fw::EntryPath(area_.DropPath(), name_); }

void BookingClaim::PutBack() {
    std::string used;
    const fw::FileError error = MoveKeepingBoth(area_.Own(), name_, area_.Drop(), used);
    if (error != fw::FileError::None) {
        fw::Trace(fw::Priority::Warning,
                  "can't return %s to the drop directory,error=%u; the next call takes it up\n",
                  Path().c_str(), static_cast<unsigned>(error));
    } else if (used != name_) {
        fw::Trace(fw::Priority::Warning, "returned %s as %s: a newer file has its name\n",
                  Path().c_str(), used.c_str());
    }
}

bool BookingClaim::Refresh() {
    fw::FileVersion now;
    if (!area_.Own().Stat(name_, now) || !now.SameFile(file_.Version())) return false;
    area_.Own().Touch();
    return true;
}

void BookingClaim::MarkInDoubt() {
    inDoubt_ = area_.MarkInDoubt(file_.Version());
    if (!inDoubt_)
        fw::Trace(fw::Priority::Warning,
                  "can't mark %s for a check of its failed commit; imported again, it may be "
                  "imported twice\n",
                  Path().c_str());
}

void BookingClaim::ClearInDoubt() {
    if (inDoubt_) area_.ClearInDoubt(file_.Version());
    inDoubt_ = false;
}

fw::FileError BookingClaim::Remove() {
    const fw::FileError error = area_.Own().Remove(name_);
    if (error == fw::FileError::None) removed_ = true;
    return error;
}

}  // namespace resv
