#pragma once
// Counts what the calling thread allocates and releases while its counting
// flag is set. This program's global operator new and delete (every form:
// plain, array, nothrow, sized, aligned) count; with glibc so do malloc,
// calloc, realloc and free, which then forward to glibc's own allocator.
// Threads whose flag is clear are never counted, so the rest of the process
// (network, encoder and session threads, the test itself) may allocate as
// it likes.
#include <cstddef>
#include <cstdint>
#include <string>

namespace alloccount {

struct Counts {
    uint64_t allocations = 0;
    uint64_t releases = 0;
};

// The calling thread's flag.
void setCounting(bool on);
bool counting();

Counts counts();
void reset();
// Whether malloc and friends are counted too (glibc, no sanitizer).
bool countsCFunctions();

// The first counted calls, for the failure message: size, release or not,
// and where the call came from (module and offset, for addr2line).
constexpr int kKeptCalls = 16;
struct Call {
    size_t bytes = 0;
    bool release = false;
    void* caller = nullptr;
};
int keptCalls(Call* out, int max);
std::string describe(const Call& call);

// Counting on for the current thread while in scope.
class Scope {
public:
    Scope() { setCounting(true); }
    ~Scope() { setCounting(false); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

}  // namespace alloccount
