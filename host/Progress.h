// ProgressLine: how far a one-shot Search over a large backlog has come, on
// standard error when that is a terminal ("120 of 500 bookings handled,
// 35.2/s, 0:11 left"), redrawn in place.
//
// Search is synchronous and runs in the main thread; a helper thread counts
// the files left in the drop directory and draws the line. So that the
// module's trace lines are never glued to the progress text, standard error
// is routed through a pipe while the line is shown: the helper clears the
// progress line, writes each complete trace line, then draws the progress
// line again. The destructor puts standard error back, lets the helper
// forward what is left, draws the final line and ends it with a newline.
// Only for an interactive run: should the process die inside Search, lines
// still in the pipe are lost with it.
//
// Owns the helper thread, the pipe and a duplicate of the terminal
// descriptor. Not copyable; create and destroy in the thread that calls
// Search.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace host {

// The number of booking files in directory (regular files whose names do
// not start with "."): what is waiting for Search, or left after it; -1 when
// it cannot be read.
long CountWaitingFiles(const std::string& directory);

// The text of the progress line. elapsed: seconds since the call began;
// done: the call has ended (the final line).
std::string FormatProgress(long handled, long waiting, double elapsed, bool done);

class ProgressLine {
  public:
    // Starts showing progress when standard error is a terminal and the
    // directory holds at least one file; otherwise returns nullptr and
    // changes nothing.
    static std::unique_ptr<ProgressLine> Start(const std::string& directory);

    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

  private:
    ProgressLine(std::string directory, long waiting, int terminal, int pipeRead);
    void Run();
    // recount: count the files left first; done: the final line.
    void Draw(bool recount, bool done);
    void WriteOut(const std::string& text) const;

    std::string directory_;
    long waiting_;
    long handled_ = 0;
    int terminal_;  // the original standard error
    int pipeRead_;
    std::chrono::steady_clock::time_point started_;
    std::thread helper_;
};

}  // namespace host
