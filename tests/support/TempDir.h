// Files and directories for tests: a private temporary directory that is
// removed with everything in it, and small file helpers.
#pragma once

#include <string>
#include <string_view>

namespace ts {

// A fresh directory under $TMPDIR (or /tmp), unique to this object; the
// destructor removes it recursively. Not copyable.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + name.
    std::string File(std::string_view name) const;
    // Writes bytes to File(name), replacing it, and returns its path.
    std::string Write(std::string_view name, std::string_view bytes) const;

  private:
    std::string path_;
};

// Writes bytes to path, replacing the file; throws std::runtime_error on failure.
void WriteFile(const std::string& path, std::string_view bytes);

// The whole content of path; throws std::runtime_error when it cannot be read.
std::string ReadFile(const std::string& path);

bool FileExists(const std::string& path);

}  // namespace ts
