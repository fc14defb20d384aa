// What a benchmark counts besides time: the heap allocations (malloc, calloc,
// realloc and what operator new makes of them, in every library of the
// process) and the ODBC handles allocated through SQLAllocHandle by the code
// linked into the benchmark (the record layer and the floors; not what the
// driver manager allocates inside itself). Counted by functions of the same
// names in the benchmark executable, which the dynamic linker puts before
// the C library's and the driver manager's. Only the benchmark executables
// link this; a sanitized build counts nothing (Available() false).
#pragma once

#include <cstdint>

namespace bench {

struct CallCounts {
    std::uint64_t allocations = 0;
    std::uint64_t connectionHandles = 0;
    std::uint64_t statementHandles = 0;
};

// The counts since the process started.
CallCounts CountedCalls();
bool CallCountsAvailable();

}  // namespace bench
