// The private profile on Win32: GetPrivateProfileStringA, which reads the
// file afresh on every call. A file name without a directory is looked up in
// the Windows directory.
#include "framework/profile.h"

#include <windows.h>

#include <cerrno>
#include <vector>

// <windows.h>, included after profile.h, made the name a macro again.
#undef GetPrivateProfileString

namespace fw {
namespace {

std::string ProfileRead(const std::string& file, std::string_view section, std::string_view key,
                        std::string_view defaultValue, std::size_t bufferSize) {
    if (bufferSize == 0) return {};
    const std::string s(section), k(key), d(defaultValue);
    std::vector<char> buffer(bufferSize, '\0');
    const DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), d.c_str(), buffer.data(),
                                             static_cast<DWORD>(bufferSize), file.c_str());
    return CutProfileValue(std::string_view(buffer.data(), n), bufferSize);
}

}  // namespace

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize) {
    return ProfileRead(path, section, key, defaultValue, bufferSize);
}

std::string ProfileDirectory() {
    char dir[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryA(dir, sizeof dir);
    return n > 0 && n < sizeof dir ? std::string(dir, n) : std::string("C:\\Windows");
}

std::string PrivateProfilePath(const std::string& fileName) {
    std::string dir = ProfileDirectory();
    if (dir.back() != '\\') dir += '\\';
    return dir + fileName;
}

int ProfileReadError(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : ENOENT;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EISDIR;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return EACCES;
    CloseHandle(h);
    return 0;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t bufferSize,
                                    const std::string& fileName) {
    return ProfileRead(fileName, section, key, defaultValue, bufferSize);
}

PrivateProfile::PrivateProfile(const std::string& fileName)
    : fileName_(fileName),
      path_(PrivateProfilePath(fileName)),
      readError_(ProfileReadError(path_)) {}

std::string PrivateProfile::Get(std::string_view section, std::string_view key,
                                std::string_view defaultValue, std::size_t bufferSize) const {
    return ProfileRead(fileName_, section, key, defaultValue, bufferSize);
}

}  // namespace fw
