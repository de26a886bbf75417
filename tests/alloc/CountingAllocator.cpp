#include "tests/alloc/CountingAllocator.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define TRV_COUNT_C_FUNCTIONS 1
// glibc's allocator under its own names: what the replacements below
// forward to.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);
}
#else
#define TRV_COUNT_C_FUNCTIONS 0
#endif

namespace alloccount {
namespace {

// Plain bool in static TLS: reading it allocates nothing and needs no
// constructor, so the allocation functions may test it at any time.
thread_local bool tCounting = false;

std::atomic<uint64_t> gAllocations{0};
std::atomic<uint64_t> gReleases{0};

struct KeptCall {
    std::atomic<size_t> bytes{0};
    std::atomic<bool> release{false};
    std::atomic<void*> caller{nullptr};
};
KeptCall gKept[kKeptCalls];
std::atomic<uint32_t> gKeptCount{0};

inline void note(size_t bytes, bool release, void* caller) {
    if (!tCounting) return;
    (release ? gReleases : gAllocations).fetch_add(1, std::memory_order_relaxed);
    const uint32_t slot = gKeptCount.load(std::memory_order_relaxed);
    if (slot >= static_cast<uint32_t>(kKeptCalls)) return;
    if (gKeptCount.fetch_add(1, std::memory_order_relaxed) >= static_cast<uint32_t>(kKeptCalls)) return;
    gKept[slot].bytes.store(bytes, std::memory_order_relaxed);
    gKept[slot].release.store(release, std::memory_order_relaxed);
    gKept[slot].caller.store(caller, std::memory_order_relaxed);
}

inline void* rawAllocate(size_t bytes) {
#if TRV_COUNT_C_FUNCTIONS
    return __libc_malloc(bytes ? bytes : 1);
#else
    return std::malloc(bytes ? bytes : 1);
#endif
}

inline void* rawAllocateAligned(size_t bytes, size_t alignment) {
    if (alignment < sizeof(void*)) alignment = sizeof(void*);
#if TRV_COUNT_C_FUNCTIONS
    return __libc_memalign(alignment, bytes ? bytes : 1);
#else
    void* p = nullptr;
    return posix_memalign(&p, alignment, bytes ? bytes : 1) == 0 ? p : nullptr;
#endif
}

inline void rawRelease(void* p) {
#if TRV_COUNT_C_FUNCTIONS
    __libc_free(p);
#else
    std::free(p);
#endif
}

void* allocateOrThrow(size_t bytes, void* caller) {
    note(bytes, false, caller);
    void* p = rawAllocate(bytes);
    if (!p) throw std::bad_alloc();
    return p;
}

void* allocateAlignedOrThrow(size_t bytes, std::align_val_t alignment, void* caller) {
    note(bytes, false, caller);
    void* p = rawAllocateAligned(bytes, static_cast<size_t>(alignment));
    if (!p) throw std::bad_alloc();
    return p;
}

void release(void* p, void* caller) {
    if (!p) return;
    note(0, true, caller);
    rawRelease(p);
}

}  // namespace

void setCounting(bool on) { tCounting = on; }
bool counting() { return tCounting; }

Counts counts() {
    Counts c;
    c.allocations = gAllocations.load();
    c.releases = gReleases.load();
    return c;
}

void reset() {
    gAllocations.store(0);
    gReleases.store(0);
    gKeptCount.store(0);
}

bool countsCFunctions() { return TRV_COUNT_C_FUNCTIONS != 0; }

int keptCalls(Call* out, int max) {
    int n = static_cast<int>(gKeptCount.load());
    if (n > kKeptCalls) n = kKeptCalls;
    if (n > max) n = max;
    for (int i = 0; i < n; ++i) {
        out[i].bytes = gKept[i].bytes.load();
        out[i].release = gKept[i].release.load();
        out[i].caller = gKept[i].caller.load();
    }
    return n;
}

std::string describe(const Call& call) {
    char text[512];
    Dl_info info{};
    const bool known = call.caller && dladdr(call.caller, &info) != 0 && info.dli_fname;
    const auto offset = known ? static_cast<const char*>(call.caller) - static_cast<const char*>(info.dli_fbase) : 0;
    if (call.release)
        std::snprintf(text, sizeof text, "release, called from %s+0x%lx", known ? info.dli_fname : "?",
                      static_cast<unsigned long>(offset));
    else
        std::snprintf(text, sizeof text, "%zu bytes, called from %s+0x%lx", call.bytes,
                      known ? info.dli_fname : "?", static_cast<unsigned long>(offset));
    std::string line = text;
    if (known && info.dli_sname) line += std::string(" (in ") + info.dli_sname + ")";
    return line;
}

}  // namespace alloccount

// ---- The replaced global allocation functions ---------------------------------

#define TRV_CALLER __builtin_return_address(0)

void* operator new(std::size_t n) { return alloccount::allocateOrThrow(n, TRV_CALLER); }
void* operator new[](std::size_t n) { return alloccount::allocateOrThrow(n, TRV_CALLER); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    alloccount::note(n, false, TRV_CALLER);
    return alloccount::rawAllocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
    alloccount::note(n, false, TRV_CALLER);
    return alloccount::rawAllocate(n);
}
void* operator new(std::size_t n, std::align_val_t a) { return alloccount::allocateAlignedOrThrow(n, a, TRV_CALLER); }
void* operator new[](std::size_t n, std::align_val_t a) {
    return alloccount::allocateAlignedOrThrow(n, a, TRV_CALLER);
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    alloccount::note(n, false, TRV_CALLER);
    return alloccount::rawAllocateAligned(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    alloccount::note(n, false, TRV_CALLER);
    return alloccount::rawAllocateAligned(n, static_cast<std::size_t>(a));
}

void operator delete(void* p) noexcept { alloccount::release(p, TRV_CALLER); }
void operator delete[](void* p) noexcept { alloccount::release(p, TRV_CALLER); }
void operator delete(void* p, const std::nothrow_t&) noexcept { alloccount::release(p, TRV_CALLER); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { alloccount::release(p, TRV_CALLER); }
void operator delete(void* p, std::size_t) noexcept { alloccount::release(p, TRV_CALLER); }
void operator delete[](void* p, std::size_t) noexcept { alloccount::release(p, TRV_CALLER); }
void operator delete(void* p, std::align_val_t) noexcept { alloccount::release(p, TRV_CALLER); }
void operator delete[](void* p, std::align_val_t) noexcept { alloccount::release(p, TRV_CALLER); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { alloccount::release(p, TRV_CALLER); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { alloccount::release(p, TRV_CALLER); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    alloccount::release(p, TRV_CALLER);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    alloccount::release(p, TRV_CALLER);
}

#if TRV_COUNT_C_FUNCTIONS
// The C allocator, for what LAME or the C library might allocate on the
// audio thread. glibc lets a program interpose these four; the others
// (memalign, posix_memalign, ...) stay glibc's, and free takes their blocks
// back because it forwards to glibc's own.
extern "C" {
void* malloc(std::size_t n) noexcept {
    alloccount::note(n, false, TRV_CALLER);
    return __libc_malloc(n);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
    alloccount::note(count * size, false, TRV_CALLER);
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t n) noexcept {
    alloccount::note(n, false, TRV_CALLER);
    return __libc_realloc(p, n);
}
void free(void* p) noexcept {
    if (p) alloccount::note(0, true, TRV_CALLER);
    __libc_free(p);
}
}
#endif
