// StopSignals: SIGTERM and SIGINT turned into a readable descriptor, so that
// the watch loop notices them in its poll and ends between two calls of
// Search, never inside one.
//
// The constructor blocks both signals in the calling thread (create it in
// main before any other thread starts, so every thread inherits the mask)
// and opens a signalfd for them; the destructor closes it and restores the
// previous mask. Not copyable.
#pragma once

#include <signal.h>

namespace host {

class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // -1 when the signalfd could not be created.
    int Fd() const { return fd_; }

    // Reads one pending signal; its number, or 0 when none is pending.
    int Take();

  private:
    int fd_ = -1;
    sigset_t previous_{};
};

}  // namespace host
