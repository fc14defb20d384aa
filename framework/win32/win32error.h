// The Win32 side of the failure categories: GetLastError codes mapped onto
// the same FileError numbers as errno values are on POSIX. Internal to
// framework/win32.
#pragma once

#include "framework/fileerror.h"

namespace fw {

FileError FileErrorFromWin32(unsigned long code);

// The category of GetLastError() now.
FileError LastFileError();

}  // namespace fw
