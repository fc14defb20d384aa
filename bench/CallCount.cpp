#include "bench/CallCount.h"

#include <dlfcn.h>
#include <sql.h>

#include <atomic>
#include <cstddef>

namespace {

std::atomic<std::uint64_t> allocations{0};
std::atomic<std::uint64_t> connectionHandles{0};
std::atomic<std::uint64_t> statementHandles{0};

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer owns malloc; nothing is counted.
namespace bench {
bool CallCountsAvailable() { return false; }
CallCounts CountedCalls() { return {}; }
}  // namespace bench
#else

extern "C" {

void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);

void* malloc(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* block, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}
void free(void* block) { __libc_free(block); }

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
    using Function = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
    static const auto next = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "SQLAllocHandle"));
    if (type == SQL_HANDLE_DBC) connectionHandles.fetch_add(1, std::memory_order_relaxed);
    if (type == SQL_HANDLE_STMT) statementHandles.fetch_add(1, std::memory_order_relaxed);
    return next(type, input, output);
}

}  // extern "C"

namespace bench {
bool CallCountsAvailable() { return true; }
CallCounts CountedCalls() {
    return {allocations.load(std::memory_order_relaxed),
            connectionHandles.load(std::memory_order_relaxed),
            statementHandles.load(std::memory_order_relaxed)};
}
}  // namespace bench
#endif
