#include "tests/support/Command.h"

#include <sys/wait.h>

#include <cstdio>

namespace ts {

std::pair<std::string, int> RunCommand(const std::string& command) {
    std::string out;
    FILE* p = popen(("{ " + command + "; } 2>&1").c_str(), "r");
    if (p == nullptr) return {"", -1};
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    const int status = pclose(p);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace ts
