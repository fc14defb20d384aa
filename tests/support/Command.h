// Shell commands run from tests (nm, cmake --install, pg_ctl, ...).
#pragma once

#include <string>
#include <utility>

namespace ts {

// Runs command with /bin/sh, its standard error folded into its output;
// returns the output and the exit status (-1 when it did not exit).
std::pair<std::string, int> RunCommand(const std::string& command);

// Quotes text for a POSIX shell.
std::string ShellQuote(const std::string& text);

}  // namespace ts
