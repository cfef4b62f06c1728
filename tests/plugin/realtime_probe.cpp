#include "tests/plugin/realtime_probe.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
}

namespace {

std::atomic<bool> windowOpen{false};
pthread_t windowThread;
voltina::test::ProbeCounts counts;
const char* firstCall = nullptr;

bool counting() {
    return windowOpen.load(std::memory_order_relaxed) && pthread_equal(pthread_self(), windowThread);
}

void count(long voltina::test::ProbeCounts::*what, const char* name) {
    if (!counting()) return;
    ++(counts.*what);
    if (firstCall == nullptr) firstCall = name;
}

template <typename F>
F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using Lock = int (*)(pthread_mutex_t*);
using CondWait = int (*)(pthread_cond_t*, pthread_mutex_t*);
using CondTimedWait = int (*)(pthread_cond_t*, pthread_mutex_t*, const struct timespec*);
using SemWait = int (*)(sem_t*);
using NanoSleep = int (*)(const struct timespec*, struct timespec*);
using ClockNanoSleep = int (*)(clockid_t, int, const struct timespec*, struct timespec*);
using Open = int (*)(const char*, int, ...);
using OpenAt = int (*)(int, const char*, int, ...);
using FOpen = FILE* (*)(const char*, const char*);
using Write = ssize_t (*)(int, const void*, size_t);
using VFPrintf = int (*)(FILE*, const char*, va_list);
using FWrite = size_t (*)(const void*, size_t, size_t, FILE*);
using FPuts = int (*)(const char*, FILE*);

// Looked up before any window opens: dlsym itself may allocate.
struct RealCalls {
    Lock lock = real<Lock>("pthread_mutex_lock");
    Lock tryLock = real<Lock>("pthread_mutex_trylock");
    CondWait condWait = real<CondWait>("pthread_cond_wait");
    CondTimedWait condTimedWait = real<CondTimedWait>("pthread_cond_timedwait");
    SemWait semWait = real<SemWait>("sem_wait");
    NanoSleep nanoSleep = real<NanoSleep>("nanosleep");
    ClockNanoSleep clockNanoSleep = real<ClockNanoSleep>("clock_nanosleep");
    Open open = real<Open>("open");
    OpenAt openAt = real<OpenAt>("openat");
    FOpen fopen = real<FOpen>("fopen");
    Write write = real<Write>("write");
    VFPrintf vfprintf = real<VFPrintf>("vfprintf");
    FWrite fwrite = real<FWrite>("fwrite");
    FPuts fputs = real<FPuts>("fputs");
};

RealCalls& calls() {
    static RealCalls r;
    return r;
}
const bool resolved = (calls(), true);

using voltina::test::ProbeCounts;

}  // namespace

namespace voltina::test {

void openProbeWindow() {
    (void)resolved;
    counts = {};
    firstCall = nullptr;
    windowThread = pthread_self();
    windowOpen.store(true);
}

ProbeCounts closeProbeWindow() {
    windowOpen.store(false);
    ProbeCounts result = counts;
    if (firstCall) result.first = firstCall;
    return result;
}

}  // namespace voltina::test

extern "C" {

void* malloc(size_t size) {
    count(&ProbeCounts::allocations, "malloc");
    return __libc_malloc(size);
}
void* calloc(size_t n, size_t size) {
    count(&ProbeCounts::allocations, "calloc");
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t size) {
    count(&ProbeCounts::allocations, "realloc");
    return __libc_realloc(p, size);
}
// Freeing takes the allocator's locks as allocating does: what run() drops must be freed elsewhere.
void free(void* p) {
    if (p != nullptr) count(&ProbeCounts::allocations, "free");
    __libc_free(p);
}
void* memalign(size_t alignment, size_t size) {
    count(&ProbeCounts::allocations, "memalign");
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
    count(&ProbeCounts::allocations, "aligned_alloc");
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) {
    count(&ProbeCounts::allocations, "posix_memalign");
    *out = __libc_memalign(alignment, size);
    return *out ? 0 : ENOMEM;
}

int pthread_mutex_lock(pthread_mutex_t* m) {
    count(&ProbeCounts::locks, "pthread_mutex_lock");
    return calls().lock(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) {
    count(&ProbeCounts::locks, "pthread_mutex_trylock");
    return calls().tryLock(m);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
    count(&ProbeCounts::waits, "pthread_cond_wait");
    return calls().condWait(c, m);
}
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t) {
    count(&ProbeCounts::waits, "pthread_cond_timedwait");
    return calls().condTimedWait(c, m, t);
}
int sem_wait(sem_t* s) {
    count(&ProbeCounts::waits, "sem_wait");
    return calls().semWait(s);
}
int nanosleep(const struct timespec* t, struct timespec* left) {
    count(&ProbeCounts::waits, "nanosleep");
    return calls().nanoSleep(t, left);
}
int clock_nanosleep(clockid_t clock, int flags, const struct timespec* t, struct timespec* left) {
    count(&ProbeCounts::waits, "clock_nanosleep");
    return calls().clockNanoSleep(clock, flags, t, left);
}

int open(const char* path, int flags, ...) {
    count(&ProbeCounts::files, "open");
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
    va_end(args);
    return calls().open(path, flags, mode);
}
int openat(int dir, const char* path, int flags, ...) {
    count(&ProbeCounts::files, "openat");
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
    va_end(args);
    return calls().openAt(dir, path, flags, mode);
}
FILE* fopen(const char* path, const char* mode) {
    count(&ProbeCounts::files, "fopen");
    return calls().fopen(path, mode);
}
ssize_t write(int fd, const void* data, size_t size) {
    count(&ProbeCounts::files, "write");
    return calls().write(fd, data, size);
}

int vfprintf(FILE* f, const char* format, va_list args) {
    count(&ProbeCounts::prints, "vfprintf");
    return calls().vfprintf(f, format, args);
}
int fprintf(FILE* f, const char* format, ...) {
    count(&ProbeCounts::prints, "fprintf");
    va_list args;
    va_start(args, format);
    const int n = calls().vfprintf(f, format, args);
    va_end(args);
    return n;
}
int printf(const char* format, ...) {
    count(&ProbeCounts::prints, "printf");
    va_list args;
    va_start(args, format);
    const int n = calls().vfprintf(stdout, format, args);
    va_end(args);
    return n;
}
size_t fwrite(const void* data, size_t size, size_t n, FILE* f) {
    count(&ProbeCounts::prints, "fwrite");
    return calls().fwrite(data, size, n, f);
}
int fputs(const char* text, FILE* f) {
    count(&ProbeCounts::prints, "fputs");
    return calls().fputs(text, f);
}

}  // extern "C"
