// Crash points for the crash tests: named places where the process can be
// made to die with SIGKILL, as if the power went, so that a test can check
// that nothing is lost or written twice whatever the moment of death.
//
// A point does nothing unless the environment variable RESERVATION_CRASH_AT
// is "NAME" or "NAME:N" when the process first passes a point; then the N-th
// pass (default 1) through the point named NAME kills the process. The
// variable is read once per process.
#pragma once

namespace fw {

void CrashPoint(const char* name);

// True when the environment variable RESERVATION_TEST_NO_LOCKS is set: the
// booking files are then opened without lease or flock, as on a file system
// shared between machines where neither reaches the other machine, so that a
// test can prove that the claims alone keep the hosts apart.
bool LocksDisabledForTest();

}  // namespace fw
