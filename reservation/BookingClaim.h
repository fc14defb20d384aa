// Claims: how a booking file becomes this process's own while its booking is
// imported or shown, so that no other host, on this machine or another one
// sharing the drop directory, handles it too, and so that a file a writer
// delivers later under the same name is simply a new file.
//
// The claim area is the directory ".claims" inside the drop directory; each
// process claims into a directory of its own there, named by its process tag
// (host, boot, process id, start time). Claiming renames the booking file
// into it, which is atomic on a local and on a network file system. What
// becomes of a claimed file:
//  - imported: removed from the claim area (CompleteImport);
//  - anything else (busy, refused, failed, cancelled): moved back into the drop
//    directory under its own name when the BookingClaim goes away;
//  - its process died: the next call on the same machine takes the claim up
//    at once; a claim of another machine is taken up once its directory has
//    not been refreshed for kStaleClaimSeconds. A taken-up booking is checked
//    for an earlier import before it is imported.
// A booking whose transaction failed may have failed at its commit after the
// server had made it permanent. Where the database has the import ledger
// (ImportLedger.h) that settles it. Where it has not, before the file goes
// back the claim area gets a marker for the file's ledger key (an empty
// directory ".doubt+SHA256(KEY)": the same for the same name and bytes on
// every mount and machine, and after a touch), so that whichever process
// claims it next checks for an earlier import too. The marker goes when the
// booking is imported or found imported.
// Names starting with "." belong to writers and to the claim area: the scan
// never opens them.
//
// Everything here runs in the thread that called Search; the objects own
// directory descriptors and the open booking file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "framework/directory.h"
#include "framework/exclusivefile.h"

namespace resv {

inline constexpr const char* kClaimAreaName = ".claims";
// Longer than any import takes; a dialog keeps its claim fresh meanwhile.
inline constexpr int kStaleClaimSeconds = 600;
inline constexpr int kClaimRefreshSeconds = 60;

class ClaimArea {
  public:
    // Creates the claim area and this process's directory in it, with the
    // drop directory's own permissions. Null and error when the drop
    // directory cannot be written.
    static std::unique_ptr<ClaimArea> Prepare(const fw::Directory& drop,
                                              const std::string& dropPath, fw::FileError& error);
    // Removes this process's directory when it is empty.
    ~ClaimArea();
    ClaimArea(const ClaimArea&) = delete;
    ClaimArea& operator=(const ClaimArea&) = delete;

    // Moves every booking file of an abandoned claim (its process gone, or
    // another machine's claim gone stale), and any left in this process's
    // own directory, into this process's directory. Returns their names.
    std::vector<std::string> TakeUpAbandoned();

    // The commit-in-doubt marker of a booking file's ledger key: set, asked,
    // cleared. Setting answers false when the marker cannot be made.
    bool MarkInDoubt(const std::string& fileKey) const;
    bool InDoubt(const std::string& fileKey) const;
    void ClearInDoubt(const std::string& fileKey) const;

    const fw::Directory& Drop() const { return drop_; }
    const fw::Directory& Own() const { return own_; }
    const std::string& DropPath() const { return dropPath_; }

  private:
    ClaimArea(const fw::Directory& drop, std::string dropPath, fw::Directory area,
              fw::Directory own);

    const fw::Directory& drop_;
    std::string dropPath_;
    fw::Directory area_;
    fw::Directory own_;
};

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

    // Puts the file back under its own name unless it was removed.
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
    // Marks the file's commit in doubt (its transaction failed; a marker that
    // cannot be made is traced), or clears the mark (its booking is in the
    // database and the file removed).
    void MarkInDoubt();
    void ClearInDoubt();

    // True while the file is still in this process's directory; then marks
    // the claim fresh for other machines.
    bool Refresh();

    // Removes the claimed file (its booking is in the database).
    fw::FileError Remove();

  private:
    BookingClaim(ClaimArea& area, std::string name, fw::ExclusiveFile file, bool takenUp)
        : area_(area), name_(std::move(name)), file_(std::move(file)), takenUp_(takenUp) {}
    void PutBack();

    ClaimArea& area_;
    std::string name_;
    fw::ExclusiveFile file_;
    bool takenUp_;
    bool inDoubt_ = false;  // this process marked it
    bool removed_ = false;
    std::string fileKey_;
};

}  // namespace resv
