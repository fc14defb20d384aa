// The diagnostic trace channel: printf-style lines, each handed whole to the
// platform's channel so that lines of concurrent processes never interleave:
// standard error (one write(2) per line) on POSIX, the debugger's output
// (OutputDebugStringA) on Windows. Tests replace the sink to capture what the
// module writes.
//
// A line cannot be forged by what it quotes: control characters in it (a file
// named "a\nimported FAKE.txt ...", CR, ESC) are written as \n, \r, \t or
// \xNN; only the line's own final "\n" stays. When standard error is the
// journal (POSIX only: JOURNAL_STREAM names fd 2's device and inode; Windows
// has none), each line starts with its syslog priority ("<3>") and is valid
// UTF-8: every run of non-ASCII bytes that is not UTF-8 from end to end (a
// GBK file name) is written as \xNN, and booking texts go through TraceGbk
// first.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace fw {

// Syslog priorities: Error for bookings that need a person (refused,
// failed), Warning for busy files and configuration faults, Info for the
// rest.
enum class Priority { Error = 3, Warning = 4, Info = 6 };

// Formats like printf and writes the result as one line. The format carries
// its own trailing "\n" where a line wants one; nothing is appended.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same with a priority; the one above is Priority::Info.
void Trace(Priority priority, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A booking's GBK text (a name, a date) as it should appear inside a trace
// line: converted to UTF-8 when standard error is the journal, bytes that are
// not GBK as \xNN; elsewhere the bytes unchanged.
std::string TraceGbk(std::string_view gbkText);

// The text as a journal line carries it (see above), whatever standard error
// is: for other texts that must be UTF-8 and one line, such as the service
// status a host hands to systemd.
std::string JournalText(std::string_view text);

// Receives every finished trace line (escaped, with the priority prefix in
// the journal). The default sink writes to fd 2.
using TraceSink = std::function<void(std::string_view line)>;

// Installs a sink and returns the previous one; an empty sink restores the
// default. Not thread-safe: install before the code under test runs.
TraceSink SetTraceSink(TraceSink sink);

// True when standard error is the journal's stream, as the environment says
// (checked afresh on every call).
bool StandardErrorIsJournal();

}  // namespace fw
