#include "tests/audiothread/AudioThreadGuard.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <semaphore.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// The executable's own thread-locals sit in static TLS: no allocation.
thread_local int tl_scopes = 0;
thread_local int tl_pauses = 0;
thread_local bool tl_recording = false;

// The first offences keep their stacks; count() sees them all.
constexpr int kKept = 16;
constexpr int kDepth = 12;
constexpr int kSkipped = 2;  // record() and the hook itself

struct Offence {
  const char* kind;
  int depth;
  void* frames[kDepth];
};

Offence g_kept[kKept];
std::atomic<long> g_total{0};
std::atomic<bool> g_hooksSeen{false};

__attribute__((noinline)) void record(const char* kind) {
  g_hooksSeen.store(true, std::memory_order_relaxed);
  if (tl_scopes == 0 || tl_pauses > 0 || tl_recording) return;
  tl_recording = true;
  const long n = g_total.fetch_add(1);
  if (n < kKept) {
    g_kept[n].depth = backtrace(g_kept[n].frames, kDepth);
    g_kept[n].kind = kind;
  }
  tl_recording = false;
}

// The C library's definition of a replaced function, looked up once. The slot
// is constant initialised: no guard that would come back to the hooks.
template <auto Fn>
decltype(Fn) next(const char* name) {
  static std::atomic<void*> slot{nullptr};
  void* p = slot.load(std::memory_order_acquire);
  if (!p) {
    if (!(p = dlsym(RTLD_NEXT, name))) {
      static const char msg[] = "audio thread guard: a replaced symbol has no next definition\n";
      ::syscall(SYS_write, 2, msg, sizeof(msg) - 1);
      abort();
    }
    slot.store(p, std::memory_order_release);
  }
  return reinterpret_cast<decltype(Fn)>(p);
}

// "function at file:line" per frame, innermost first.
std::string describe(void* const* frames, int depth) {
  std::string out;
  for (int i = 0; i < depth; ++i) {
    // A return address points past its call; one byte back stays inside it.
    auto address = reinterpret_cast<std::uintptr_t>(frames[i]) - 1;
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(address), &info) || !info.dli_fname) continue;
    char command[1024], line[2048] = "?";
    std::snprintf(command, sizeof(command), "addr2line -C -f -p -e '%s' 0x%lx 2>/dev/null",
                  info.dli_fname,
                  static_cast<unsigned long>(address - reinterpret_cast<std::uintptr_t>(info.dli_fbase)));
    if (FILE* pipe = popen(command, "r")) {
      if (!fgets(line, sizeof(line), pipe)) line[0] = 0;
      pclose(pipe);
    }
    out += std::string("    ") + line;
  }
  return out;
}

// backtrace() loads the unwinder on first use, allocating: do it up front.
__attribute__((constructor)) void prepare() {
  void* frames[4];
  backtrace(frames, 4);
}

}  // namespace

AudioThreadGuard::Scope::Scope() { ++tl_scopes; }
AudioThreadGuard::Scope::~Scope() { --tl_scopes; }
AudioThreadGuard::Pause::Pause() { ++tl_pauses; }
AudioThreadGuard::Pause::~Pause() { --tl_pauses; }

long AudioThreadGuard::count() { return g_total.load(); }

void AudioThreadGuard::reset() { g_total = 0; }

std::string AudioThreadGuard::report() {
  const int kept = static_cast<int>(std::min<long>(g_total.load(), kKept));
  std::string out;
  for (int i = 0; i < kept; ++i) {
    const Offence& o = g_kept[i];
    auto same = [&](int j) {
      return g_kept[j].kind == o.kind && g_kept[j].depth == o.depth &&
             !std::memcmp(g_kept[j].frames, o.frames, sizeof(void*) * static_cast<size_t>(o.depth));
    };
    int first = 0, hits = 0;
    while (!same(first)) ++first;
    if (first < i) continue;
    for (int j = i; j < kept; ++j) hits += same(j);
    out += std::string(o.kind) + ", " + std::to_string(hits) + " time(s), called from:\n" +
           describe(o.frames + kSkipped, std::max(0, o.depth - kSkipped));
  }
  if (g_total > kKept) out += std::to_string(g_total - kKept) + " more offence(s) not kept\n";
  return out;
}

bool AudioThreadGuard::active() {
  // strdup allocates from inside the C library: that call must land here.
  g_hooksSeen = false;
  free(strdup("x"));
  return g_hooksSeen.load();
}

#define GUARD_NEXT(name) next<&::name>(#name)
// Trailing argument: the exception specification glibc declares.
#define GUARD_CALL(ret, name, params, call, ...) \
  ret name params __VA_ARGS__ {                  \
    record(#name);                               \
    return call;                                 \
  }
#define GUARD_FORWARD(ret, name, params, args, ...) \
  GUARD_CALL(ret, name, params, GUARD_NEXT(name) args, __VA_ARGS__)
// The mode argument is there only when the flags create a file.
#define GUARD_OPEN(name, params, args)                                       \
  int name params {                                                          \
    record(#name);                                                           \
    va_list more;                                                            \
    va_start(more, flags);                                                   \
    mode_t mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(more, mode_t) : 0; \
    va_end(more);                                                            \
    return GUARD_NEXT(name) args;                                            \
  }

extern "C" {

// glibc's own allocator, exported for replacements like these.
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

GUARD_CALL(void*, malloc, (size_t n), __libc_malloc(n), noexcept)
GUARD_CALL(void*, calloc, (size_t count, size_t n), __libc_calloc(count, n), noexcept)
GUARD_CALL(void*, realloc, (void* p, size_t n), __libc_realloc(p, n), noexcept)
GUARD_CALL(void*, aligned_alloc, (size_t alignment, size_t n), __libc_memalign(alignment, n), noexcept)
int posix_memalign(void** out, size_t alignment, size_t n) noexcept {
  record("posix_memalign");
  if (alignment % sizeof(void*) || (alignment & (alignment - 1))) return EINVAL;
  return (*out = __libc_memalign(alignment, n)) || !n ? 0 : ENOMEM;
}
void free(void* p) noexcept {
  if (p) record("free");
  __libc_free(p);
}

GUARD_FORWARD(int, pthread_mutex_lock, (pthread_mutex_t* m), (m), noexcept)
GUARD_FORWARD(int, pthread_mutex_trylock, (pthread_mutex_t* m), (m), noexcept)
GUARD_FORWARD(int, pthread_cond_wait, (pthread_cond_t* c, pthread_mutex_t* m), (c, m))
GUARD_FORWARD(int, pthread_cond_timedwait,
              (pthread_cond_t* c, pthread_mutex_t* m, const timespec* t), (c, m, t))
GUARD_FORWARD(int, sem_wait, (sem_t* s), (s))
GUARD_FORWARD(int, nanosleep, (const timespec* t, timespec* rest), (t, rest))
GUARD_FORWARD(int, usleep, (useconds_t us), (us))
GUARD_FORWARD(int, sched_yield, (), (), noexcept)
// The C++ library waits on futexes through syscall(): atomic waits, statics.
long syscall(long number, ...) noexcept {
  va_list more;
  va_start(more, number);
  long a[6];
  for (long& x : a) x = va_arg(more, long);
  va_end(more);
  if (number == SYS_futex) record("futex");
  return GUARD_NEXT(syscall)(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
// A function-local static met first: its initialiser runs under a lock.
int __cxa_guard_acquire(std::int64_t* guard) {
  record("static initialisation");
  return GUARD_NEXT(__cxa_guard_acquire)(guard);
}

GUARD_OPEN(open, (const char* path, int flags, ...), (path, flags, mode))
GUARD_OPEN(openat, (int dir, const char* path, int flags, ...), (dir, path, flags, mode))
GUARD_FORWARD(ssize_t, read, (int fd, void* buffer, size_t n), (fd, buffer, n))
GUARD_FORWARD(ssize_t, write, (int fd, const void* buffer, size_t n), (fd, buffer, n))
GUARD_FORWARD(FILE*, fopen, (const char* path, const char* mode), (path, mode))
GUARD_FORWARD(size_t, fread, (void* buffer, size_t size, size_t n, FILE* f), (buffer, size, n, f))
GUARD_FORWARD(size_t, fwrite, (const void* buffer, size_t size, size_t n, FILE* f),
              (buffer, size, n, f))
GUARD_FORWARD(int, stat, (const char* path, struct stat* out), (path, out), noexcept)

}  // extern "C"

