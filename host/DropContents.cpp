#include "host/DropContents.h"

#include "framework/direnum.h"
#include "framework/processtag.h"

namespace host {
namespace {

// The booking files of one open directory into files.
void ListBookings(const fw::Directory& directory, std::map<std::string, fw::FileVersion>& files) {
    fw::DirectoryScan scan;
    if (!scan.Start(directory)) return;
    std::string name;
    while (scan.Next(name)) {
        if (name.empty() || name.front() == '.') continue;
        fw::FileVersion version;
        fw::EntryKind kind = fw::EntryKind::Other;
        if (directory.Stat(name, version, &kind) && kind == fw::EntryKind::Regular)
            files.emplace(name, version);
    }
}

}  // namespace

DropContents ListDrop(const std::string& path) {
    DropContents contents;
    fw::FileError error = fw::FileError::None;
    const fw::Directory drop = fw::Directory::Open(path, error);
    if (!drop.IsOpen()) return contents;
    fw::DirectoryScan probe;
    contents.readable = probe.Start(drop);
    probe.End();
    ListBookings(drop, contents.waiting);

    const fw::Directory area = drop.OpenChild(".claims", false, 0, error);
    if (!area.IsOpen()) return contents;
    fw::DirectoryScan claims;
    if (!claims.Start(area)) return contents;
    std::string tag;
    while (claims.Next(tag)) {
        if (tag.empty() || tag.front() == '.') continue;
        const fw::Directory claim = area.OpenChild(tag, false, 0, error);
        if (claim.IsOpen())
            ListBookings(claim, tag == fw::ThisProcessTag() ? contents.mine : contents.held);
    }
    return contents;
}

}  // namespace host
