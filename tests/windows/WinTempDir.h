// A fresh directory under the Windows temporary directory for one test,
// removed with everything in it afterwards.
#pragma once

#include <windows.h>

#include <string>

namespace wintest {

class WinTempDir {
  public:
    WinTempDir();
    ~WinTempDir();
    WinTempDir(const WinTempDir&) = delete;
    WinTempDir& operator=(const WinTempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

    // Writes content to name (created or truncated); fails the test when it
    // cannot.
    void Write(const std::string& name, const std::string& content) const;

  private:
    std::string path_;
};

// The bytes of the file at path; empty when it cannot be read.
std::string ReadAll(const std::string& path);

}  // namespace wintest
