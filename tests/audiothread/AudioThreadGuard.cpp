#include "tests/audiothread/AudioThreadGuard.h"

#include <dirent.h>
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

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

// The executable's own thread-locals sit in static TLS: no allocation.
thread_local int tl_scopes = 0;
thread_local int tl_pauses = 0;
thread_local bool tl_recording = false;

constexpr int kKept = 256;
constexpr int kShown = 12;  // stacks written out in full
constexpr int kDepth = 28;
constexpr int kSkipped = 2;  // record() and the hook itself

struct Offence {
  const char* kind;
  long hits;
  int depth;
  std::uint64_t hash;
  void* frames[kDepth];
};

Offence g_kept[kKept];
int g_keptCount = 0;
long g_dropped = 0;  // offences with a stack not kept
std::atomic<long> g_total{0};
std::atomic_flag g_lock = ATOMIC_FLAG_INIT;
std::atomic<bool> g_hooksSeen{false};

struct Locked {
  Locked() { while (g_lock.test_and_set(std::memory_order_acquire)) {} }
  ~Locked() { g_lock.clear(std::memory_order_release); }
};

__attribute__((noinline)) void record(const char* kind) {
  g_hooksSeen.store(true, std::memory_order_relaxed);
  if (tl_scopes == 0 || tl_pauses > 0 || tl_recording) return;
  tl_recording = true;
  void* frames[kDepth + kSkipped];
  int depth = backtrace(frames, kDepth + kSkipped) - kSkipped;
  if (depth < 0) depth = 0;
  std::uint64_t hash = 1469598103934665603ull;
  for (int i = 0; i < depth; ++i)
    hash = (hash ^ reinterpret_cast<std::uintptr_t>(frames[kSkipped + i])) * 1099511628211ull;
  hash ^= reinterpret_cast<std::uintptr_t>(kind);
  g_total.fetch_add(1, std::memory_order_relaxed);
  {
    Locked locked;
    int i = 0;
    while (i < g_keptCount && g_kept[i].hash != hash) ++i;
    if (i < g_keptCount) {
      ++g_kept[i].hits;
    } else if (g_keptCount < kKept) {
      Offence& o = g_kept[g_keptCount++];
      o = {kind, 1, depth, hash, {}};
      std::memcpy(o.frames, frames + kSkipped, sizeof(void*) * static_cast<size_t>(depth));
    } else {
      ++g_dropped;
    }
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

// Where a frame's code lives, as "function at file:line" when addr2line can
// tell, else the object and offset. The stack ends at the first frame of
// this executable: the caller that was being watched.
std::vector<std::string> describe(void* const* frames, int depth) {
  Dl_info self{};
  dladdr(reinterpret_cast<void*>(&record), &self);
  for (int i = 0; i < depth; ++i) {
    Dl_info info{};
    if (dladdr(frames[i], &info) && info.dli_fbase == self.dli_fbase) {
      depth = i + 1;
      break;
    }
  }
  std::vector<std::string> lines(static_cast<size_t>(depth));
  // Grouped by object file: one addr2line run each.
  std::map<std::string, std::vector<std::pair<int, std::uintptr_t>>> byObject;
  for (int i = 0; i < depth; ++i) {
    // A return address points past its call; one byte back stays inside it.
    auto address = reinterpret_cast<std::uintptr_t>(frames[i]) - 1;
    Dl_info info{};
    char text[512];
    if (dladdr(reinterpret_cast<void*>(address), &info) && info.dli_fname) {
      std::uintptr_t offset = address - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
      std::snprintf(text, sizeof(text), "%s+0x%lx (%s)", info.dli_sname ? info.dli_sname : "?",
                    static_cast<unsigned long>(offset), info.dli_fname);
      byObject[info.dli_fname].push_back({i, offset});
    } else {
      std::snprintf(text, sizeof(text), "%p", frames[i]);
    }
    lines[static_cast<size_t>(i)] = text;
  }
  for (auto& [object, entries] : byObject) {
    std::string command = "addr2line -C -f -e '" + object + "'";
    for (auto& [index, offset] : entries) {
      char text[32];
      std::snprintf(text, sizeof(text), " 0x%lx", static_cast<unsigned long>(offset));
      command += text;
    }
    command += " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) continue;
    char function[2048], place[2048];
    for (auto& [index, offset] : entries) {
      if (!fgets(function, sizeof(function), pipe) || !fgets(place, sizeof(place), pipe)) break;
      function[strcspn(function, "\n")] = 0;
      place[strcspn(place, "\n")] = 0;
      if (std::strcmp(function, "??") == 0) continue;
      const char* base = std::strrchr(object.c_str(), '/');
      lines[static_cast<size_t>(index)] = std::string(function) + " at " + place + " [" +
                                          (base ? base + 1 : object.c_str()) + "]";
    }
    pclose(pipe);
  }
  return lines;
}

// backtrace() loads the unwinder on first use, allocating: do it before any
// counting.
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

long AudioThreadGuard::count(const char* kind) {
  long n = 0;
  Locked locked;
  for (int i = 0; i < g_keptCount; ++i)
    if (std::strcmp(g_kept[i].kind, kind) == 0) n += g_kept[i].hits;
  return n;
}

void AudioThreadGuard::reset() {
  Locked locked;
  g_keptCount = 0;
  g_dropped = 0;
  g_total = 0;
}

std::string AudioThreadGuard::report() {
  std::vector<Offence> kept;
  long dropped;
  {
    Locked locked;
    kept.assign(g_kept, g_kept + g_keptCount);
    dropped = g_dropped;
  }
  std::string out;
  int shown = 0;
  for (const Offence& o : kept) {
    std::vector<std::string> stack = describe(o.frames, o.depth);
    out += std::string(o.kind) + ", " + std::to_string(o.hits) + " time(s)";
    if (shown++ < kShown) {
      out += ", called from:\n";
      for (const std::string& line : stack) out += "    " + line + "\n";
    } else {  // the rest in one line each: the three innermost callers
      out += ":";
      for (size_t i = 0; i < stack.size() && i < 3; ++i)
        out += (i ? " < " : " ") + stack[i].substr(0, stack[i].find(" at "));
      out += "\n";
    }
  }
  if (dropped > 0) out += std::to_string(dropped) + " more offence(s) with stacks not kept\n";
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
#define GUARD_ALLOC(name, params, call) GUARD_CALL(void*, name, params, call, noexcept)
// The mode argument is there only when the flags create a file.
#define GUARD_OPEN(name, params, args)   \
  int name params {                      \
    record(#name);                       \
    mode_t mode = 0;                     \
    if (flags & (O_CREAT | O_TMPFILE)) { \
      va_list more;                      \
      va_start(more, flags);             \
      mode = va_arg(more, mode_t);       \
      va_end(more);                      \
    }                                    \
    return GUARD_NEXT(name) args;        \
  }

extern "C" {

// glibc's own allocator, exported for replacements like these.
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
int __cxa_guard_acquire(std::int64_t* guard);

GUARD_ALLOC(malloc, (size_t n), __libc_malloc(n))
GUARD_ALLOC(calloc, (size_t count, size_t n), __libc_calloc(count, n))
GUARD_ALLOC(realloc, (void* p, size_t n), __libc_realloc(p, n))
GUARD_ALLOC(memalign, (size_t alignment, size_t n), __libc_memalign(alignment, n))
GUARD_ALLOC(aligned_alloc, (size_t alignment, size_t n), __libc_memalign(alignment, n))
GUARD_ALLOC(valloc, (size_t n), __libc_memalign(static_cast<size_t>(sysconf(_SC_PAGESIZE)), n))
int posix_memalign(void** out, size_t alignment, size_t n) noexcept {
  record("posix_memalign");
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* p = __libc_memalign(alignment, n);
  if (!p && n) return ENOMEM;
  *out = p;
  return 0;
}
void free(void* p) noexcept {
  if (p) record("free");
  __libc_free(p);
}

GUARD_FORWARD(int, pthread_mutex_lock, (pthread_mutex_t* m), (m), noexcept)
GUARD_FORWARD(int, pthread_mutex_trylock, (pthread_mutex_t* m), (m), noexcept)
GUARD_FORWARD(int, pthread_mutex_timedlock, (pthread_mutex_t* m, const timespec* t), (m, t),
              noexcept)
GUARD_FORWARD(int, pthread_mutex_clocklock, (pthread_mutex_t* m, clockid_t c, const timespec* t),
              (m, c, t), noexcept)
GUARD_FORWARD(int, pthread_rwlock_rdlock, (pthread_rwlock_t* l), (l), noexcept)
GUARD_FORWARD(int, pthread_rwlock_wrlock, (pthread_rwlock_t* l), (l), noexcept)
GUARD_FORWARD(int, pthread_rwlock_tryrdlock, (pthread_rwlock_t* l), (l), noexcept)
GUARD_FORWARD(int, pthread_rwlock_trywrlock, (pthread_rwlock_t* l), (l), noexcept)
GUARD_FORWARD(int, pthread_spin_lock, (pthread_spinlock_t* l), (l), noexcept)
GUARD_FORWARD(int, pthread_cond_wait, (pthread_cond_t* c, pthread_mutex_t* m), (c, m))
GUARD_FORWARD(int, pthread_cond_timedwait,
              (pthread_cond_t* c, pthread_mutex_t* m, const timespec* t), (c, m, t))
GUARD_FORWARD(int, pthread_cond_clockwait,
              (pthread_cond_t* c, pthread_mutex_t* m, clockid_t k, const timespec* t),
              (c, m, k, t))
GUARD_FORWARD(int, sem_wait, (sem_t* s), (s))
GUARD_FORWARD(int, sem_timedwait, (sem_t* s, const timespec* t), (s, t))
GUARD_FORWARD(int, nanosleep, (const timespec* t, timespec* rest), (t, rest))
GUARD_FORWARD(int, clock_nanosleep, (clockid_t c, int flags, const timespec* t, timespec* rest),
              (c, flags, t, rest))
GUARD_FORWARD(int, usleep, (useconds_t us), (us))
GUARD_FORWARD(int, sched_yield, (), (), noexcept)
// The C++ library waits on futexes through syscall() (atomic waits,
// contended static initialisation).
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

// fopen64, fdopen and closedir are left out: they always allocate or free.
GUARD_OPEN(open, (const char* path, int flags, ...), (path, flags, mode))
GUARD_OPEN(open64, (const char* path, int flags, ...), (path, flags, mode))
GUARD_OPEN(openat, (int dir, const char* path, int flags, ...), (dir, path, flags, mode))
GUARD_OPEN(openat64, (int dir, const char* path, int flags, ...), (dir, path, flags, mode))
GUARD_FORWARD(int, creat, (const char* path, mode_t mode), (path, mode))
GUARD_FORWARD(int, close, (int fd), (fd))
GUARD_FORWARD(ssize_t, read, (int fd, void* buffer, size_t n), (fd, buffer, n))
GUARD_FORWARD(ssize_t, write, (int fd, const void* buffer, size_t n), (fd, buffer, n))
GUARD_FORWARD(ssize_t, pread, (int fd, void* buffer, size_t n, off_t at), (fd, buffer, n, at))
GUARD_FORWARD(ssize_t, pwrite, (int fd, const void* buffer, size_t n, off_t at),
              (fd, buffer, n, at))
GUARD_FORWARD(off_t, lseek, (int fd, off_t at, int whence), (fd, at, whence), noexcept)
GUARD_FORWARD(FILE*, fopen, (const char* path, const char* mode), (path, mode))
GUARD_FORWARD(FILE*, freopen, (const char* path, const char* mode, FILE* f), (path, mode, f))
GUARD_FORWARD(int, fclose, (FILE* f), (f))
GUARD_FORWARD(size_t, fread, (void* buffer, size_t size, size_t n, FILE* f), (buffer, size, n, f))
GUARD_FORWARD(size_t, fwrite, (const void* buffer, size_t size, size_t n, FILE* f),
              (buffer, size, n, f))
GUARD_FORWARD(char*, fgets, (char* text, int size, FILE* f), (text, size, f))
GUARD_FORWARD(int, fputs, (const char* text, FILE* f), (text, f))
GUARD_FORWARD(int, puts, (const char* text), (text))
GUARD_FORWARD(int, fflush, (FILE* f), (f))
GUARD_FORWARD(int, vfprintf, (FILE* f, const char* format, va_list args), (f, format, args))
GUARD_FORWARD(int, vprintf, (const char* format, va_list args), (format, args))
#define GUARD_PRINTF(name, params, call) \
  int name params {                      \
    record(#name);                       \
    va_list args;                        \
    va_start(args, format);              \
    int n = call;                        \
    va_end(args);                        \
    return n;                            \
  }
GUARD_PRINTF(fprintf, (FILE* f, const char* format, ...), GUARD_NEXT(vfprintf)(f, format, args))
GUARD_PRINTF(printf, (const char* format, ...), GUARD_NEXT(vprintf)(format, args))
GUARD_FORWARD(DIR*, opendir, (const char* path), (path))
GUARD_FORWARD(dirent*, readdir, (DIR* dir), (dir))
GUARD_FORWARD(int, stat, (const char* path, struct stat* out), (path, out), noexcept)
GUARD_FORWARD(int, lstat, (const char* path, struct stat* out), (path, out), noexcept)
GUARD_FORWARD(int, fstat, (int fd, struct stat* out), (fd, out), noexcept)
GUARD_FORWARD(int, access, (const char* path, int mode), (path, mode), noexcept)

}  // extern "C"

