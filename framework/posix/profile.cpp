#include "framework/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace fw {
namespace {

// The whole file, or nullopt when it cannot be read. Only a regular file is
// read, so a FIFO in place of the ini file cannot hang the caller.
std::optional<std::string> ReadWholeFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> content;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        content.emplace();
        char chunk[8192];
        for (;;) {
            ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
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

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t bufferSize,
                                    const std::string& fileName) {
    std::string dir = ProfileDirectory();
    if (dir.back() != '/') dir += '/';
    return ReadProfileString(dir + fileName, section, key, defaultValue, bufferSize);
}

}  // namespace fw
