// Claims: how a booking file becomes this process's own while its booking is
// imported or shown, so that no other host, on this machine or another one
// sharing the drop directory, handles it too, and so that a file a writer
// delivers later under the same name is simply a new file.
//
// The claim area is the directory ".claims" inside the drop directory; each
// process claims into a directory of its own there, named by its process tag
// (host, boot, process id, start time), and holds that directory's ClaimLock
// while it works. Claiming renames the booking file into it, which is atomic
// on a local and on a network file system: of several hosts renaming one
// file, one gets it and the others find it gone. What becomes of a claimed
// file:
//  - imported: removed from the claim area (CompleteImport); one that cannot
//    be removed stays there for the next call's take-up;
//  - anything else (busy, refused, failed, cancelled): moved back into the drop
//    directory under its own name when the BookingClaim goes away, never
//    replacing a newer file of that name (then as "NAME~2");
//  - its process gone: a claim is live while its process holds its lock or,
//    on this machine, its tag (fw::CheckProcessTag); a claim of this machine
//    with neither is taken up at once by the next call. A claim of another
//    machine whose lock cannot be seen from here is taken up once its
//    directory has not changed for kStaleClaimSeconds by the file system's
//    own clock, so that no host's clock decides it (on Win32, which cannot
//    read that clock, by this machine's).
// A claim judged abandoned while its host still works on it costs no second
// import where the database has the import ledger (ImportLedger.h): the
// ledger refuses the second transaction. Where it has not, a taken-up booking
// is checked for an earlier import before it is imported, and a booking
// whose commit failed (the server may have made it permanent all the same)
// gets a marker for its ledger key before its file goes back (an empty
// directory ".doubt+SHA256(KEY)": the same for the same name and bytes on
// every mount and machine, and after a touch), so that whichever process
// claims it next checks too; the marker goes once the booking is imported or
// found imported.
// Names starting with "." belong to writers and to the claim area: the scan
// never opens them.
//
// Everything here runs in the thread that called Search; the objects own
// directory descriptors, the claim's lock and the open booking file. File
// errors are reported, never thrown.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/claimlock.h"
#include "framework/directory.h"
#include "framework/exclusivefile.h"

namespace resv {

inline constexpr const char* kClaimAreaName = ".claims";
// Longer than any import takes; a dialog keeps its claim fresh meanwhile.
inline constexpr int kStaleClaimSeconds = 600;
inline constexpr int kClaimRefreshSeconds = 60;

class ClaimArea {
  public:
    // Makes the claim area and this process's directory in it, with the drop
    // directory's permissions, and takes that directory's lock. Whatever a
    // writer put under the name ".claims" that is not a directory is set
    // aside (a file is renamed to ".claims-set-aside-N") or removed (a
    // symbolic link, never what it points to), with a line. Null when it
    // cannot be done; problem then says why and what to fix, in one line.
    static std::unique_ptr<ClaimArea> Prepare(const fw::Directory& drop,
                                              const std::string& dropPath, std::string& problem);
    // Releases the lock and removes this process's directory when it is
    // empty, and the claim area when that is empty too.
    ~ClaimArea();
    ClaimArea(const ClaimArea&) = delete;
    ClaimArea& operator=(const ClaimArea&) = delete;

    // Moves every booking file of an abandoned claim, and any left in this
    // process's own directory, into this process's directory. Returns their
    // names there. A file of another claim that quiet does not prove done
    // (no lease, changed less than the minimum age ago) stays where it is for
    // a later call: a directory named like a claim may be a writer's, with a
    // file still being written.
    std::vector<std::string> TakeUpAbandoned(const fw::QuietRule& quiet);

    // The file system's clock now (Directory::FileSystemNow of this process's
    // directory, read once and carried on by this machine's monotonic
    // clock); false when it cannot be read.
    bool FileSystemNow(std::int64_t& ns);

    // The commit-in-doubt marker of a booking file's ledger key: set, asked,
    // cleared. Setting answers false when the marker cannot be made.
    bool MarkInDoubt(const std::string& fileKey) const;
    bool InDoubt(const std::string& fileKey) const;
    void ClearInDoubt(const std::string& fileKey) const;

    const fw::Directory& Drop() const { return drop_; }
    const fw::Directory& Own() const { return own_; }
    const std::string& DropPath() const { return dropPath_; }

    // A name under which a file can be moved into this process's directory:
    // name, or the first free "name~N".
    std::string FreeOwnName(const std::string& name) const;

  private:
    ClaimArea(const fw::Directory& drop, std::string dropPath, fw::Directory area,
              fw::Directory own, fw::ClaimLock lock);
    // Whether the claim directory of owner is abandoned; lock then holds its
    // lock, where one could be taken.
    bool Abandoned(const std::string& owner, const fw::Directory& dir, fw::ClaimLock& lock);

    const fw::Directory& drop_;
    std::string dropPath_;
    fw::Directory area_;
    fw::Directory own_;
    fw::ClaimLock lock_;
    bool clockRead_ = false;
    std::int64_t clockAt_ = 0;
    std::chrono::steady_clock::time_point clockReadAt_;
};

// Whether version is a booking file this process put back into its drop
// directory and nobody has changed since: its writer was proven done before
// it was claimed, so it need not wait again.
bool ReturnedUnchanged(const fw::FileVersion& version);

class BookingClaim {
  public:
    // Claims the booking file name of the drop directory, which file holds
    // open: renames it into the claim area and checks that the file renamed
    // is the file opened. SharingViolation when another host got it first (or
    // a writer replaced it meanwhile, which is then put back); other
    // categories when the rename failed.
    static fw::FileError Claim(ClaimArea& area, const std::string& name, fw::ExclusiveFile file,
                               std::unique_ptr<BookingClaim>& claim);

    // A file already in this process's directory (taken up): opens it.
    static fw::FileError Adopt(ClaimArea& area, const std::string& name,
                               std::unique_ptr<BookingClaim>& claim);

    // Puts the file back under its own name unless it was removed, or its
    // removal or marker failed (see Remove and MarkInDoubt).
    ~BookingClaim();
    BookingClaim(const BookingClaim&) = delete;
    BookingClaim& operator=(const BookingClaim&) = delete;

    fw::ExclusiveFile& File() { return file_; }
    const std::string& Name() const { return name_; }
    // The booking file's path in the drop directory, as the trace lines name it.
    std::string Path() const;
    // Found claimed after a crash: its booking may have been committed.
    bool TakenUp() const { return takenUp_; }

    // The booking file's identity in the import ledger (BookingFileKey of its
    // name and the digest of the bytes read); empty until the file is read.
    void SetContentDigest(const std::string& digest);
    const std::string& FileKey() const { return fileKey_; }

    // May an earlier transaction of this booking have been committed? True
    // when taken up, or when the file carries a commit-in-doubt marker (one
    // look in the claim area).
    bool MayBeImported() const;
    // Marks the file's commit in doubt (its transaction failed), or clears
    // the mark (its booking is in the database and the file removed). A file
    // whose marker cannot be made stays in the claim, with a line, for the
    // take-up checks first.
    void MarkInDoubt();
    void ClearInDoubt();

    // True while the file is still in this process's directory; then marks
    // the claim fresh for other machines.
    bool Refresh();

    // Removes the claimed file (its booking is in the database). NotFound
    // when another host has taken the file over meanwhile. A file that cannot
    // be removed stays in the claim rather than going back: taken up by the
    // next call, it is checked for its import first, where back in the drop
    // directory it would look like a new booking to a database without the
    // import ledger.
    [[nodiscard]] fw::FileError Remove();

  private:
    BookingClaim(ClaimArea& area, std::string name, std::string claimedAs, fw::ExclusiveFile file,
                 bool takenUp)
        : area_(area),
          name_(std::move(name)),
          claimedAs_(std::move(claimedAs)),
          file_(std::move(file)),
          takenUp_(takenUp) {}
    void PutBack();

    ClaimArea& area_;
    std::string name_;       // in the drop directory
    std::string claimedAs_;  // in this process's directory
    fw::ExclusiveFile file_;
    bool takenUp_;
    bool inDoubt_ = false;             // this process marked it
    mutable bool markerSeen_ = false;  // MayBeImported found a marker of another's
    bool removed_ = false;
    bool staysClaimed_ = false;  // no removal or no marker: left for the next call's take-up
    std::string fileKey_;
};

}  // namespace resv
