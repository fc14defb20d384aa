// Crash points for the crash tests: named places where the process can be
// made to die with SIGKILL, as if the power went, so that a test can check
// that nothing is lost or written twice whatever the moment of death.
//
// Only a build that defines RESERVATION_CRASH_POINTS has them (the test
// module reservation_crashtest.so, linked with framework_crashpoints). In
// the shipped module a point compiles to nothing: its host is somebody
// else's program, and no variable of that program's environment may kill it.
//
// In the test build a point does nothing unless the environment variable
// RESERVATION_CRASH_AT is "NAME" or "NAME:N" when the process first passes a
// point; then the N-th pass (default 1) through the point named NAME kills
// the process. The variable is read once per process.
#pragma once

namespace fw {

#ifdef RESERVATION_CRASH_POINTS
void CrashPoint(const char* name);
#else
inline void CrashPoint(const char*) {}
#endif

// In the test build, true when the environment variable
// RESERVATION_TEST_NO_LOCKS is set: booking files are then opened without
// lease or flock, as on a file system shared between machines where neither
// reaches the other machine, so that a test proves that the claims alone keep
// the hosts apart. The shipped module has only the weak definition in
// posix/exclusivefile.cpp, which answers false.
bool LocksDisabledForTest();

}  // namespace fw
