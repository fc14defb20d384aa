#include "framework/fileerror.h"

#include <cerrno>

namespace fw {

FileError FileErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return FileError::None;
        case ENOENT:
            return FileError::NotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return FileError::BadPath;
        case EPERM:
            return FileError::NotPermitted;
        case EACCES:
        case EISDIR:
        case EROFS:
            return FileError::AccessDenied;
        case EMFILE:
        case ENFILE:
            return FileError::TooManyOpenFiles;
        case EIO:
            return FileError::HardIO;
        case ENOSPC:
            return FileError::DiskFull;
        case EEXIST:
        case ENOTEMPTY:
            return FileError::AlreadyExists;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EBUSY:
        // A program being executed from the file.
        case ETXTBSY:
            return FileError::SharingViolation;
        default:
            return FileError::Generic;
    }
}

const char* FileErrorName(FileError e) {
    switch (e) {
        case FileError::None:
            return "no error";
        case FileError::Generic:
            return "file error";
        case FileError::NotFound:
            return "file not found";
        case FileError::BadPath:
            return "bad path";
        case FileError::TooManyOpenFiles:
            return "too many open files";
        case FileError::AccessDenied:
            return "access denied";
        case FileError::InvalidFile:
            return "invalid file";
        case FileError::DirectoryFull:
            return "directory full";
        case FileError::BadSeek:
            return "bad seek";
        case FileError::HardIO:
            return "hardware I/O error";
        case FileError::SharingViolation:
            return "sharing violation";
        case FileError::LockViolation:
            return "lock violation";
        case FileError::DiskFull:
            return "disk full";
        case FileError::EndOfFile:
            return "end of file";
        case FileError::AlreadyExists:
            return "name already taken";
        case FileError::MultipleLinks:
            return "more than one hard link";
        case FileError::NotPermitted:
            return "operation not permitted";
    }
    return "unknown file error";
}

}  // namespace fw
