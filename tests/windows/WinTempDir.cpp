#include "tests/windows/WinTempDir.h"

#include <gtest/gtest.h>

namespace wintest {
namespace {

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            const std::string full = path + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full);
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(path.c_str());
}

}  // namespace

WinTempDir::WinTempDir() {
    char base[MAX_PATH + 1] = {};
    GetTempPathA(sizeof base, base);
    // The process id and a counter keep parallel test processes apart.
    static unsigned counter = 0;
    for (;;) {
        path_ = std::string(base) + "resv-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter) + "-" + std::to_string(GetTickCount());
        if (CreateDirectoryA(path_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create " << path_ << ": " << GetLastError();
            break;
        }
    }
}

WinTempDir::~WinTempDir() { RemoveTree(path_); }

void WinTempDir::Write(const std::string& name, const std::string& content) const {
    HANDLE h = CreateFileA((*this / name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << name << ": " << GetLastError();
    DWORD written = 0;
    const BOOL ok =
        WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(h);
    ASSERT_TRUE(ok && written == content.size()) << name;
}

std::string ReadAll(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::string content;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(h, chunk, sizeof chunk, &got, nullptr) && got > 0) content.append(chunk, got);
    CloseHandle(h);
    return content;
}

}  // namespace wintest
