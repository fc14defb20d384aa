// Failure categories of the file layer. The number of a category is what the
// trace line "can't open file %s,error=%u" prints, so the values are fixed.
#pragma once

namespace fw {

enum class FileError : unsigned {
    None = 0,
    Generic = 1,
    NotFound = 2,
    BadPath = 3,
    TooManyOpenFiles = 4,
    AccessDenied = 5,
    InvalidFile = 6,
    DirectoryFull = 7,
    BadSeek = 8,
    HardIO = 9,
    SharingViolation = 10,
    LockViolation = 11,
    DiskFull = 12,
    EndOfFile = 13,
    AlreadyExists = 14,
    MultipleLinks = 15,  // a file with more than one hard link: not plainly a booking
    NotPermitted = 16,   // EPERM: a sandbox's or the file system's own refusal
};

// Maps an errno value onto a category.
FileError FileErrorFromErrno(int err);

// A short English name of the category, for messages.
const char* FileErrorName(FileError e);

}  // namespace fw
