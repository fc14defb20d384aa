#include "framework/exclusivefile.h"

#include <windows.h>

#include <utility>

#include "framework/win32/win32error.h"

namespace fw {
namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

std::int64_t EpochNanoseconds(const FILETIME& ft) {
    const std::int64_t ticks =
        (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - 116444736000000000LL) * 100;
}

}  // namespace

ExclusiveFile ExclusiveFile::Open(const Directory& directory, const std::string& name,
                                  FileError& error, const QuietRule& /*quiet*/) {
    const std::string path = directory.Path() + "\\" + name;
    // Read access shared with nobody: the open fails with a sharing violation
    // while any other process has the file open, a writer still busy with it
    // included, and nobody else can open it to read or write while we hold
    // it. FILE_SHARE_DELETE alone is granted, because the claim renames the
    // file into the claim area while we hold it (and removes it after the
    // import); a rename or removal by anyone else needs this very open
    // first. OPEN_EXISTING never creates; nothing is written.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastFileError();
        return ExclusiveFile();
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) {
        error = LastFileError();
        CloseHandle(h);
        return ExclusiveFile();
    }
    // A symbolic link or junction, a directory or a device is not a booking.
    if ((info.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0 ||
        GetFileType(h) != FILE_TYPE_DISK) {
        error = FileError::AccessDenied;
        CloseHandle(h);
        return ExclusiveFile();
    }
    ExclusiveFile file;
    file.version_.device = info.dwVolumeSerialNumber;
    file.version_.inode =
        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    file.version_.size = (static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    file.version_.modifiedNs = EpochNanoseconds(info.ftLastWriteTime);
    file.version_.changedNs = file.version_.modifiedNs;
    file.version_.links = info.nNumberOfLinks;
    if (info.nNumberOfLinks != 1) {
        error = FileError::MultipleLinks;
        CloseHandle(h);
        return file;
    }
    file.handle_ = reinterpret_cast<std::intptr_t>(h);
    file.proof_ = WriterDoneProof::ShareNone;
    error = FileError::None;
    return file;
}

ssize_t ExclusiveFile::Read(void* buffer, std::size_t size, FileError& error) {
    if (!IsOpen()) {
        error = FileError::InvalidFile;
        return -1;
    }
    DWORD got = 0;
    const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!ReadFile(AsHandle(handle_), buffer, want, &got, nullptr)) {
        error = LastFileError();
        return -1;
    }
    error = FileError::None;
    return static_cast<ssize_t>(got);
}

void ExclusiveFile::Close() {
    if (!IsOpen()) return;
    CloseHandle(AsHandle(handle_));
    handle_ = -1;
    locked_ = false;
}

}  // namespace fw
