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

// glibc's own allocator, under the names it exports for replacements like
// this one.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

// Plain thread-locals of the executable live in its static TLS block: using
// them allocates nothing, so the hooks may.
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
  while (g_lock.test_and_set(std::memory_order_acquire)) {}
  int i = 0;
  while (i < g_keptCount && g_kept[i].hash != hash) ++i;
  if (i < g_keptCount) {
    ++g_kept[i].hits;
  } else if (g_keptCount < kKept) {
    Offence& o = g_kept[g_keptCount++];
    o.kind = kind;
    o.hits = 1;
    o.depth = depth;
    o.hash = hash;
    std::memcpy(o.frames, frames + kSkipped, sizeof(void*) * static_cast<size_t>(depth));
  } else {
    ++g_dropped;
  }
  g_lock.clear(std::memory_order_release);
  tl_recording = false;
}

// The next definition of a symbol, looked up once. No function-local static:
// its guard would come back here.
void* nextSymbol(std::atomic<void*>& slot, const char* name) {
  void* p = slot.load(std::memory_order_acquire);
  if (!p) {
    p = dlsym(RTLD_NEXT, name);
    if (!p) {
      static const char msg[] = "audio thread guard: a replaced symbol has no next definition\n";
      ::syscall(SYS_write, 2, msg, sizeof(msg) - 1);
      abort();
    }
    slot.store(p, std::memory_order_release);
  }
  return p;
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
    if (dladdr(reinterpret_cast<void*>(address), &info) && info.dli_fname) {
      std::uintptr_t offset = address - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
      char text[512];
      std::snprintf(text, sizeof(text), "%s+0x%lx (%s)", info.dli_sname ? info.dli_sname : "?",
                    static_cast<unsigned long>(offset), info.dli_fname);
      lines[static_cast<size_t>(i)] = text;
      byObject[info.dli_fname].push_back({i, offset});
    } else {
      char text[64];
      std::snprintf(text, sizeof(text), "%p", frames[i]);
      lines[static_cast<size_t>(i)] = text;
    }
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

// Resolves the commonest hooks and loads the unwinder before anything is
// counted: backtrace() loads it on first use, with allocations of its own.
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
  while (g_lock.test_and_set(std::memory_order_acquire)) {}
  for (int i = 0; i < g_keptCount; ++i)
    if (std::strcmp(g_kept[i].kind, kind) == 0) n += g_kept[i].hits;
  g_lock.clear(std::memory_order_release);
  return n;
}

void AudioThreadGuard::reset() {
  while (g_lock.test_and_set(std::memory_order_acquire)) {}
  g_keptCount = 0;
  g_dropped = 0;
  g_total = 0;
  g_lock.clear(std::memory_order_release);
}

std::string AudioThreadGuard::report() {
  std::vector<Offence> kept;
  long dropped;
  while (g_lock.test_and_set(std::memory_order_acquire)) {}
  kept.assign(g_kept, g_kept + g_keptCount);
  dropped = g_dropped;
  g_lock.clear(std::memory_order_release);
  std::string out;
  int shown = 0;
  for (const Offence& o : kept) {
    std::vector<std::string> stack = describe(o.frames, o.depth);
    if (shown++ < kShown) {
      out += std::string(o.kind) + ", " + std::to_string(o.hits) + " time(s), called from:\n";
      for (const std::string& line : stack) out += "    " + line + "\n";
    } else {
      // The rest in one line each: the three innermost callers.
      out += std::string(o.kind) + ", " + std::to_string(o.hits) + " time(s):";
      for (size_t i = 0; i < stack.size() && i < 3; ++i)
        out += (i ? " < " : " ") + stack[i].substr(0, stack[i].find(" at "));
      out += "\n";
    }
  }
  if (dropped > 0) out += std::to_string(dropped) + " more offence(s) with stacks not kept\n";
  return out;
}

bool AudioThreadGuard::active() {
  // A call from a shared library must land here: strdup allocates through
  // the C library's own call to malloc.
  g_hooksSeen = false;
  free(strdup("x"));
  return g_hooksSeen.load();
}

// Replacements ---------------------------------------------------------------

#define GUARD_SLOT(name) std::atomic<void*> g_next_##name{nullptr}
#define GUARD_NEXT(name) \
  reinterpret_cast<decltype(&::name)>(nextSymbol(g_next_##name, #name))

namespace {
GUARD_SLOT(pthread_mutex_lock);
GUARD_SLOT(pthread_mutex_trylock);
GUARD_SLOT(pthread_mutex_timedlock);
GUARD_SLOT(pthread_mutex_clocklock);
GUARD_SLOT(pthread_rwlock_rdlock);
GUARD_SLOT(pthread_rwlock_wrlock);
GUARD_SLOT(pthread_rwlock_tryrdlock);
GUARD_SLOT(pthread_rwlock_trywrlock);
GUARD_SLOT(pthread_spin_lock);
GUARD_SLOT(pthread_cond_wait);
GUARD_SLOT(pthread_cond_timedwait);
GUARD_SLOT(pthread_cond_clockwait);
GUARD_SLOT(sem_wait);
GUARD_SLOT(sem_timedwait);
GUARD_SLOT(syscall);
GUARD_SLOT(nanosleep);
GUARD_SLOT(clock_nanosleep);
GUARD_SLOT(usleep);
GUARD_SLOT(sched_yield);
GUARD_SLOT(open);
GUARD_SLOT(open64);
GUARD_SLOT(openat);
GUARD_SLOT(openat64);
GUARD_SLOT(creat);
GUARD_SLOT(close);
GUARD_SLOT(read);
GUARD_SLOT(write);
GUARD_SLOT(pread);
GUARD_SLOT(pwrite);
GUARD_SLOT(lseek);
GUARD_SLOT(fopen);
GUARD_SLOT(fopen64);
GUARD_SLOT(fdopen);
GUARD_SLOT(freopen);
GUARD_SLOT(fclose);
GUARD_SLOT(fread);
GUARD_SLOT(fwrite);
GUARD_SLOT(fgets);
GUARD_SLOT(fputs);
GUARD_SLOT(puts);
GUARD_SLOT(fflush);
GUARD_SLOT(vfprintf);
GUARD_SLOT(vprintf);
GUARD_SLOT(opendir);
GUARD_SLOT(readdir);
GUARD_SLOT(closedir);
GUARD_SLOT(stat);
GUARD_SLOT(lstat);
GUARD_SLOT(fstat);
GUARD_SLOT(access);
}  // namespace

// The third argument of the C++ ABI's static-initialisation guard.
namespace {
std::atomic<void*> g_next_cxa_guard_acquire{nullptr};
using GuardAcquire = int (*)(std::int64_t*);
}  // namespace

extern "C" {

// Memory.
void* malloc(size_t size) noexcept {
  record("malloc");
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
  record("calloc");
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) noexcept {
  record("realloc");
  return __libc_realloc(p, size);
}
void free(void* p) noexcept {
  if (p) record("free");
  __libc_free(p);
}
void* memalign(size_t alignment, size_t size) noexcept {
  record("memalign");
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) noexcept {
  record("aligned_alloc");
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  record("posix_memalign");
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* p = __libc_memalign(alignment, size);
  if (!p && size) return ENOMEM;
  *out = p;
  return 0;
}
void* valloc(size_t size) noexcept {
  record("valloc");
  return __libc_memalign(static_cast<size_t>(sysconf(_SC_PAGESIZE)), size);
}

// Locks and waits.
int pthread_mutex_lock(pthread_mutex_t* m) noexcept {
  record("pthread_mutex_lock");
  return GUARD_NEXT(pthread_mutex_lock)(m);
}
int pthread_mutex_trylock(pthread_mutex_t* m) noexcept {
  record("pthread_mutex_trylock");
  return GUARD_NEXT(pthread_mutex_trylock)(m);
}
int pthread_mutex_timedlock(pthread_mutex_t* m, const struct timespec* t) noexcept {
  record("pthread_mutex_timedlock");
  return GUARD_NEXT(pthread_mutex_timedlock)(m, t);
}
int pthread_mutex_clocklock(pthread_mutex_t* m, clockid_t c, const struct timespec* t) noexcept {
  record("pthread_mutex_clocklock");
  return GUARD_NEXT(pthread_mutex_clocklock)(m, c, t);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) noexcept {
  record("pthread_rwlock_rdlock");
  return GUARD_NEXT(pthread_rwlock_rdlock)(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) noexcept {
  record("pthread_rwlock_wrlock");
  return GUARD_NEXT(pthread_rwlock_wrlock)(l);
}
int pthread_rwlock_tryrdlock(pthread_rwlock_t* l) noexcept {
  record("pthread_rwlock_tryrdlock");
  return GUARD_NEXT(pthread_rwlock_tryrdlock)(l);
}
int pthread_rwlock_trywrlock(pthread_rwlock_t* l) noexcept {
  record("pthread_rwlock_trywrlock");
  return GUARD_NEXT(pthread_rwlock_trywrlock)(l);
}
int pthread_spin_lock(pthread_spinlock_t* l) noexcept {
  record("pthread_spin_lock");
  return GUARD_NEXT(pthread_spin_lock)(l);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
  record("pthread_cond_wait");
  return GUARD_NEXT(pthread_cond_wait)(c, m);
}
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t) {
  record("pthread_cond_timedwait");
  return GUARD_NEXT(pthread_cond_timedwait)(c, m, t);
}
int pthread_cond_clockwait(pthread_cond_t* c, pthread_mutex_t* m, clockid_t k,
                           const struct timespec* t) {
  record("pthread_cond_clockwait");
  return GUARD_NEXT(pthread_cond_clockwait)(c, m, k, t);
}
int sem_wait(sem_t* s) {
  record("sem_wait");
  return GUARD_NEXT(sem_wait)(s);
}
int sem_timedwait(sem_t* s, const struct timespec* t) {
  record("sem_timedwait");
  return GUARD_NEXT(sem_timedwait)(s, t);
}
// The C++ library waits on futexes through syscall() (atomic waits, a
// contended static initialisation).
long syscall(long number, ...) noexcept {
  va_list args;
  va_start(args, number);
  long a[6];
  for (long& x : a) x = va_arg(args, long);
  va_end(args);
  if (number == SYS_futex) record("futex");
  return GUARD_NEXT(syscall)(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
// A function-local static met for the first time: its initialiser runs
// here, under the guard's lock.
int __cxa_guard_acquire(std::int64_t* guard) {
  record("static initialisation");
  return reinterpret_cast<GuardAcquire>(
      nextSymbol(g_next_cxa_guard_acquire, "__cxa_guard_acquire"))(guard);
}
int nanosleep(const struct timespec* t, struct timespec* rest) {
  record("nanosleep");
  return GUARD_NEXT(nanosleep)(t, rest);
}
int clock_nanosleep(clockid_t c, int flags, const struct timespec* t, struct timespec* rest) {
  record("clock_nanosleep");
  return GUARD_NEXT(clock_nanosleep)(c, flags, t, rest);
}
int usleep(useconds_t us) {
  record("usleep");
  return GUARD_NEXT(usleep)(us);
}
int sched_yield() noexcept {
  record("sched_yield");
  return GUARD_NEXT(sched_yield)();
}

// Files.
int open(const char* path, int flags, ...) {
  record("open");
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  return GUARD_NEXT(open)(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
  record("open64");
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  return GUARD_NEXT(open64)(path, flags, mode);
}
int openat(int dir, const char* path, int flags, ...) {
  record("openat");
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  return GUARD_NEXT(openat)(dir, path, flags, mode);
}
int openat64(int dir, const char* path, int flags, ...) {
  record("openat64");
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, mode_t);
    va_end(args);
  }
  return GUARD_NEXT(openat64)(dir, path, flags, mode);
}
int creat(const char* path, mode_t mode) {
  record("creat");
  return GUARD_NEXT(creat)(path, mode);
}
int close(int fd) {
  record("close");
  return GUARD_NEXT(close)(fd);
}
ssize_t read(int fd, void* buffer, size_t size) {
  record("read");
  return GUARD_NEXT(read)(fd, buffer, size);
}
ssize_t write(int fd, const void* buffer, size_t size) {
  record("write");
  return GUARD_NEXT(write)(fd, buffer, size);
}
ssize_t pread(int fd, void* buffer, size_t size, off_t at) {
  record("pread");
  return GUARD_NEXT(pread)(fd, buffer, size, at);
}
ssize_t pwrite(int fd, const void* buffer, size_t size, off_t at) {
  record("pwrite");
  return GUARD_NEXT(pwrite)(fd, buffer, size, at);
}
off_t lseek(int fd, off_t at, int whence) noexcept {
  record("lseek");
  return GUARD_NEXT(lseek)(fd, at, whence);
}
FILE* fopen(const char* path, const char* mode) {
  record("fopen");
  return GUARD_NEXT(fopen)(path, mode);
}
FILE* fopen64(const char* path, const char* mode) {
  record("fopen64");
  return GUARD_NEXT(fopen64)(path, mode);
}
FILE* fdopen(int fd, const char* mode) noexcept {
  record("fdopen");
  return GUARD_NEXT(fdopen)(fd, mode);
}
FILE* freopen(const char* path, const char* mode, FILE* f) {
  record("freopen");
  return GUARD_NEXT(freopen)(path, mode, f);
}
int fclose(FILE* f) {
  record("fclose");
  return GUARD_NEXT(fclose)(f);
}
size_t fread(void* buffer, size_t size, size_t count, FILE* f) {
  record("fread");
  return GUARD_NEXT(fread)(buffer, size, count, f);
}
size_t fwrite(const void* buffer, size_t size, size_t count, FILE* f) {
  record("fwrite");
  return GUARD_NEXT(fwrite)(buffer, size, count, f);
}
char* fgets(char* text, int size, FILE* f) {
  record("fgets");
  return GUARD_NEXT(fgets)(text, size, f);
}
int fputs(const char* text, FILE* f) {
  record("fputs");
  return GUARD_NEXT(fputs)(text, f);
}
int puts(const char* text) {
  record("puts");
  return GUARD_NEXT(puts)(text);
}
int fflush(FILE* f) {
  record("fflush");
  return GUARD_NEXT(fflush)(f);
}
int vfprintf(FILE* f, const char* format, va_list args) {
  record("vfprintf");
  return GUARD_NEXT(vfprintf)(f, format, args);
}
int vprintf(const char* format, va_list args) {
  record("vprintf");
  return GUARD_NEXT(vprintf)(format, args);
}
int fprintf(FILE* f, const char* format, ...) {
  record("fprintf");
  va_list args;
  va_start(args, format);
  int n = GUARD_NEXT(vfprintf)(f, format, args);
  va_end(args);
  return n;
}
int printf(const char* format, ...) {
  record("printf");
  va_list args;
  va_start(args, format);
  int n = GUARD_NEXT(vprintf)(format, args);
  va_end(args);
  return n;
}
DIR* opendir(const char* path) {
  record("opendir");
  return GUARD_NEXT(opendir)(path);
}
struct dirent* readdir(DIR* dir) {
  record("readdir");
  return GUARD_NEXT(readdir)(dir);
}
int closedir(DIR* dir) {
  record("closedir");
  return GUARD_NEXT(closedir)(dir);
}
int stat(const char* path, struct stat* out) noexcept {
  record("stat");
  return GUARD_NEXT(stat)(path, out);
}
int lstat(const char* path, struct stat* out) noexcept {
  record("lstat");
  return GUARD_NEXT(lstat)(path, out);
}
int fstat(int fd, struct stat* out) noexcept {
  record("fstat");
  return GUARD_NEXT(fstat)(fd, out);
}
int access(const char* path, int mode) noexcept {
  record("access");
  return GUARD_NEXT(access)(path, mode);
}

}  // extern "C"
