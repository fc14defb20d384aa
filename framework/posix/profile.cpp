#include "framework/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <utility>

namespace fw {
namespace {

// The whole file, or nullopt when it cannot be read. Only a regular file is
// read, so a FIFO in place of the ini file cannot hang the caller. why, when
// given, receives the errno value of a failure.
std::optional<std::string> ReadWholeFile(const std::string& path, int* why = nullptr) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (why) *why = errno;
        return std::nullopt;
    }
    std::optional<std::string> content;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        if (why) *why = errno;
    } else if (!S_ISREG(st.st_mode)) {
        if (why) *why = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else {
        content.emplace();
        char chunk[8192];
        for (;;) {
            ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                if (why) *why = errno;
                content.reset();
                break;
            }
            if (n == 0) break;
            content->append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return content;
}

}  // namespace

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize) {
    std::optional<std::string> content = ReadWholeFile(path);
    if (!content) return CutProfileValue(defaultValue, bufferSize);
    return ParseProfileString(*content, section, key, defaultValue, bufferSize);
}

std::string ProfileDirectory() {
    const char* dir = std::getenv("VELMAR_INI_DIR");
    if (dir != nullptr && *dir != '\0') return dir;
    return "/etc";
}

std::string PrivateProfilePath(const std::string& fileName) {
    std::string dir = ProfileDirectory();
    if (dir.back() != '/') dir += '/';
    return dir + fileName;
}

int ProfileReadError(const std::string& path) {
    int why = 0;
    return ReadWholeFile(path, &why) ? 0 : why;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t bufferSize,
                                    const std::string& fileName) {
    return ReadProfileString(PrivateProfilePath(fileName), section, key, defaultValue, bufferSize);
}

PrivateProfile::PrivateProfile(const std::string& fileName)
    : fileName_(fileName), path_(PrivateProfilePath(fileName)) {
    std::optional<std::string> content = ReadWholeFile(path_, &readError_);
    if (content) {
        readError_ = 0;
        text_ = std::move(*content);
    }
}

std::string PrivateProfile::Get(std::string_view section, std::string_view key,
                                std::string_view defaultValue, std::size_t bufferSize) const {
    if (readError_ != 0) return CutProfileValue(defaultValue, bufferSize);
    return ParseProfileString(text_, section, key, defaultValue, bufferSize);
}

}  // namespace fw
