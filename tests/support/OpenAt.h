// Opening by path what the module opens relative to an open directory: the
// drop directory, and a booking file through its directory.
#pragma once

#include <filesystem>
#include <string>

#include "framework/directory.h"
#include "framework/exclusivefile.h"

namespace ts {

// The directory at path, opened as the scan opens a drop directory.
inline fw::Directory OpenDirectory(const std::string& path) {
    fw::FileError error = fw::FileError::None;
    return fw::Directory::Open(path, error);
}

// ExclusiveFile::Open of the file at path, through its directory.
inline fw::ExclusiveFile OpenBookingFile(const std::string& path, fw::FileError& error,
                                         const fw::QuietRule& quiet = {}) {
    const std::filesystem::path p(path);
    return fw::ExclusiveFile::Open(OpenDirectory(p.parent_path().string()), p.filename().string(),
                                   error, quiet);
}

}  // namespace ts
