// The private profile (ini) reader: section and key names compared ignoring
// ASCII case, the value after "=" with surrounding blanks and one pair of
// surrounding quotes removed, the default when the file, section or key is
// missing, and at most bufferSize - 1 bytes returned. The functions read the
// file afresh on every call; a PrivateProfile reads it once for many keys.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// <windows.h> makes GetPrivateProfileString a macro for the ANSI or wide
// function; ours is a name of its own.
#undef GetPrivateProfileString

namespace fw {

// Reads from the file at path.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize);

// Parses ini text already in memory; the same rules as ReadProfileString.
std::string ParseProfileString(std::string_view text, std::string_view section,
                               std::string_view key, std::string_view defaultValue,
                               std::size_t bufferSize);

// The first bufferSize - 1 bytes of value; "" for a buffer of 0.
std::string CutProfileValue(std::string_view value, std::size_t bufferSize);

// The directory that holds the module's ini file: on POSIX $VELMAR_INI_DIR
// when set and not empty, else "/etc"; on Win32 the Windows directory.
std::string ProfileDirectory();

// fileName (no directory) inside ProfileDirectory(): the file
// GetPrivateProfileString reads.
std::string PrivateProfilePath(const std::string& fileName);

// 0 when the file at path can be read, else why not as an errno value (EISDIR
// for a directory, EINVAL for anything else but a regular file). A file that cannot be read gives
// every key its default, so a caller that must tell a missing file from missing keys asks here.
int ProfileReadError(const std::string& path);

// Reads from PrivateProfilePath(fileName); on Win32 through
// GetPrivateProfileStringA, which looks there itself.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t bufferSize,
                                    const std::string& fileName);

// One look at a private profile file, for a caller that wants several keys
// of one moment: on POSIX the file is read once, when the object is made, and
// every value comes from that text; on Win32 each value is asked of
// GetPrivateProfileStringA. Nothing outlives the object. It cannot fail: a
// file that cannot be read gives every key its default, and ReadError() says
// why (0, or an errno value as ProfileReadError gives).
class PrivateProfile {
  public:
    explicit PrivateProfile(const std::string& fileName);

    std::string Get(std::string_view section, std::string_view key, std::string_view defaultValue,
                    std::size_t bufferSize) const;
    int ReadError() const { return readError_; }
    const std::string& Path() const { return path_; }

  private:
    std::string fileName_;
    std::string path_;  // PrivateProfilePath(fileName)
    std::string text_;  // POSIX: the file's content, "" when unreadable
    int readError_ = 0;
};

}  // namespace fw
