// What must hold after any sequence of crashes and failures: every booking
// whose file is gone is in the database exactly once, every booking whose
// file is still there is in it at most once (imported just before a crash;
// the next call removes the file), and no booking is partial.
#pragma once

#include <chrono>
#include <set>
#include <string>

#include "tests/support/TestSupport.h"

namespace robust {

// How long a host may take over a batch of bookings, under the sanitizers on
// a busy machine; a host that takes longer is killed and the test fails.
inline constexpr std::chrono::milliseconds kBatchRun{300000};

// Checks the invariants for the booking numbers dropped into dropDir as
// "<number>.txt"; requireAllImported also demands every file gone.
void ExpectExactlyOnce(ts::HotelDatabase& db, const std::string& dropDir,
                       const std::set<std::string>& numbers, bool requireAllImported);

}  // namespace robust
