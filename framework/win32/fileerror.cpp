#include <windows.h>

#include "framework/win32/win32error.h"

namespace fw {

FileError FileErrorFromWin32(unsigned long code) {
    switch (code) {
        case ERROR_SUCCESS:
            return FileError::None;
        case ERROR_FILE_NOT_FOUND:
            return FileError::NotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return FileError::BadPath;
        case ERROR_TOO_MANY_OPEN_FILES:
            return FileError::TooManyOpenFiles;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_CURRENT_DIRECTORY:
            return FileError::AccessDenied;
        case ERROR_INVALID_HANDLE:
            return FileError::InvalidFile;
        case ERROR_SEEK:
        case ERROR_NEGATIVE_SEEK:
            return FileError::BadSeek;
        case ERROR_CRC:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_IO_DEVICE:
            return FileError::HardIO;
        case ERROR_SHARING_VIOLATION:
            return FileError::SharingViolation;
        case ERROR_LOCK_VIOLATION:
            return FileError::LockViolation;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FileError::DiskFull;
        case ERROR_HANDLE_EOF:
            return FileError::EndOfFile;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
        case ERROR_DIR_NOT_EMPTY:
            return FileError::AlreadyExists;
        default:
            return FileError::Generic;
    }
}

FileError LastFileError() { return FileErrorFromWin32(GetLastError()); }

}  // namespace fw
