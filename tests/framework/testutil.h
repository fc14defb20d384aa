// Small helpers of the framework tests: a private temporary directory per
// test and GBK bytes made from UTF-8 literals by iconv, so that no test
// relies on the GBK literals it is checking.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "framework/directory.h"
#include "framework/exclusivefile.h"

namespace fwtest {

// A fresh directory under TMPDIR (or /tmp), removed with everything in it.
class TempDir {
  public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/fwtest.XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(std::string_view name) const { return path_ + "/" + std::string(name); }

    std::string Write(std::string_view name, std::string_view content) const {
        std::string file = *this / name;
        std::ofstream out(file, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        return file;
    }

  private:
    std::string path_;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Converts text between encodings with iconv; throws when it cannot.
inline std::string Convert(std::string_view text, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
    std::string out(text.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
    out.resize(out.size() - outLeft);
    return out;
}

inline std::string Gbk(std::string_view utf8) { return Convert(utf8, "GBK", "UTF-8"); }

// The directory at path, opened as the scan opens a drop directory.
inline fw::Directory Dir(const std::string& path) {
    fw::FileError error = fw::FileError::None;
    return fw::Directory::Open(path, error);
}

// ExclusiveFile::Open of the file at path, through its directory.
inline fw::ExclusiveFile OpenFile(const std::string& path, fw::FileError& error) {
    const std::filesystem::path p(path);
    return fw::ExclusiveFile::Open(Dir(p.parent_path().string()), p.filename().string(), error);
}

}  // namespace fwtest
