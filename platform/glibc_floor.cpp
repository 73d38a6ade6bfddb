// The oldest C library that the shipped Linux binaries run on: glibc 2.17.
//
// The build machine's glibc gives a few functions new symbol versions (fcntl
// on i386 in 2.28, pthread_sigmask in 2.32, the stat family in 2.33, dlopen,
// the thread functions and the program's start in 2.34) and adds a variable
// that the C++ runtime reads (__libc_single_threaded, 2.32). A binary that refers to those
// versions does not load on an older system. The linker sends each such
// reference here (--wrap, see cmake/GlibcFloor.cmake), and each wrapper calls
// the same function under the version that glibc has exported since before
// 2.17: the new versions are only new names for the same entry points.
//
// Built into the add-in and the console tool only; tests and sanitizer
// builds use the C library as it is.
// The wrappers name the C library's entry points by their exact ABI: no
// large-file renaming of stat and fcntl in this file.
#undef _FILE_OFFSET_BITS
#include <cstddef>  // defines __GLIBC__ on glibc

#if defined(__linux__) && defined(__GLIBC__)

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <sys/stat.h>

#if defined(__x86_64__)
#define ZEV_GLIBC_OLD "GLIBC_2.2.5"
#define ZEV_GLIBC_OLD_LFS "GLIBC_2.2.5"
#define ZEV_GLIBC_RWLOCK "GLIBC_2.2.5"
constexpr int statVersion = 1;  // _STAT_VER_LINUX on x86-64
#elif defined(__i386__)
#define ZEV_GLIBC_OLD "GLIBC_2.0"
#define ZEV_GLIBC_OLD_LFS "GLIBC_2.2"
#define ZEV_GLIBC_RWLOCK "GLIBC_2.1"
constexpr int statVersion = 3;  // _STAT_VER_LINUX on i386
#else
#error "the glibc floor knows the symbol versions of x86-64 and i386 only"
#endif

// A function of glibc under an older version: `local` is how this file calls
// it, `name@version` what the linker records.
#define ZEV_OLD_SYMBOL(local, name, version) __asm__(".symver " #local "," #name "@" version)

extern "C" {

// Never single-threaded: the C++ runtime then always uses atomic reference
// counts, which is what a library loaded into a threaded process needs anyway.
__attribute__((visibility("hidden"))) char __libc_single_threaded = 0;

// The stat family: before 2.33 these were inline calls of the __*xstat
// functions with a layout version.
int zevOldXstat(int, const char*, struct stat*);
int zevOldLxstat(int, const char*, struct stat*);
int zevOldFxstat(int, int, struct stat*);
int zevOldFxstatat(int, int, const char*, struct stat*, int);
int zevOldXstat64(int, const char*, struct stat64*);
int zevOldLxstat64(int, const char*, struct stat64*);
int zevOldFxstat64(int, int, struct stat64*);
int zevOldFxstatat64(int, int, const char*, struct stat64*, int);
ZEV_OLD_SYMBOL(zevOldXstat, __xstat, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldLxstat, __lxstat, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldFxstat, __fxstat, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldFxstatat, __fxstatat, "GLIBC_2.4");
ZEV_OLD_SYMBOL(zevOldXstat64, __xstat64, ZEV_GLIBC_OLD_LFS);
ZEV_OLD_SYMBOL(zevOldLxstat64, __lxstat64, ZEV_GLIBC_OLD_LFS);
ZEV_OLD_SYMBOL(zevOldFxstat64, __fxstat64, ZEV_GLIBC_OLD_LFS);
ZEV_OLD_SYMBOL(zevOldFxstatat64, __fxstatat64, "GLIBC_2.4");

int __wrap_stat(const char* path, struct stat* st) {
  return zevOldXstat(statVersion, path, st);
}
int __wrap_lstat(const char* path, struct stat* st) {
  return zevOldLxstat(statVersion, path, st);
}
int __wrap_fstat(int fd, struct stat* st) {
  return zevOldFxstat(statVersion, fd, st);
}
int __wrap_fstatat(int dir, const char* path, struct stat* st, int flags) {
  return zevOldFxstatat(statVersion, dir, path, st, flags);
}
int __wrap_stat64(const char* path, struct stat64* st) {
  return zevOldXstat64(statVersion, path, st);
}
int __wrap_lstat64(const char* path, struct stat64* st) {
  return zevOldLxstat64(statVersion, path, st);
}
int __wrap_fstat64(int fd, struct stat64* st) {
  return zevOldFxstat64(statVersion, fd, st);
}
int __wrap_fstatat64(int dir, const char* path, struct stat64* st, int flags) {
  return zevOldFxstatat64(statVersion, dir, path, st, flags);
}

// fcntl: i386 has a new version since 2.28 (x86-64 keeps its first one).
// Every command's third argument, where it has one, is an int or a pointer,
// passed the same way as a long.
int zevOldFcntl(int, int, ...);
ZEV_OLD_SYMBOL(zevOldFcntl, fcntl, ZEV_GLIBC_OLD);

int __wrap_fcntl(int fd, int command, ...) {
  va_list args;
  va_start(args, command);
  const long argument = va_arg(args, long);
  va_end(args);
  return zevOldFcntl(fd, command, argument);
}
// With 64-bit file offsets, i386 code calls fcntl64 (2.28); before 2.28 such
// code called fcntl itself, which took the 64-bit lock commands.
int __wrap_fcntl64(int fd, int command, ...) {
  va_list args;
  va_start(args, command);
  const long argument = va_arg(args, long);
  va_end(args);
  return zevOldFcntl(fd, command, argument);
}

// Threads and signals (libpthread before 2.34).
int zevOldPthreadCreate(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
int zevOldPthreadJoin(pthread_t, void**);
int zevOldPthreadOnce(pthread_once_t*, void (*)());
int zevOldPthreadKeyCreate(pthread_key_t*, void (*)(void*));
int zevOldPthreadKeyDelete(pthread_key_t);
void* zevOldPthreadGetspecific(pthread_key_t);
int zevOldPthreadSetspecific(pthread_key_t, const void*);
int zevOldPthreadRwlockRdlock(pthread_rwlock_t*);
int zevOldPthreadRwlockWrlock(pthread_rwlock_t*);
int zevOldPthreadRwlockUnlock(pthread_rwlock_t*);
int zevOldPthreadSigmask(int, const sigset_t*, sigset_t*);
#if defined(__i386__)
// pthread_create@GLIBC_2.0 is the LinuxThreads-era entry; 2.1 is the one to call.
ZEV_OLD_SYMBOL(zevOldPthreadCreate, pthread_create, "GLIBC_2.1");
#else
ZEV_OLD_SYMBOL(zevOldPthreadCreate, pthread_create, ZEV_GLIBC_OLD);
#endif
ZEV_OLD_SYMBOL(zevOldPthreadJoin, pthread_join, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldPthreadOnce, pthread_once, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldPthreadKeyCreate, pthread_key_create, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldPthreadKeyDelete, pthread_key_delete, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldPthreadGetspecific, pthread_getspecific, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldPthreadSetspecific, pthread_setspecific, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldPthreadRwlockRdlock, pthread_rwlock_rdlock, ZEV_GLIBC_RWLOCK);
ZEV_OLD_SYMBOL(zevOldPthreadRwlockWrlock, pthread_rwlock_wrlock, ZEV_GLIBC_RWLOCK);
ZEV_OLD_SYMBOL(zevOldPthreadRwlockUnlock, pthread_rwlock_unlock, ZEV_GLIBC_RWLOCK);
ZEV_OLD_SYMBOL(zevOldPthreadSigmask, pthread_sigmask, ZEV_GLIBC_OLD);

int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                          void* arg) {
  return zevOldPthreadCreate(thread, attr, start, arg);
}
int __wrap_pthread_join(pthread_t thread, void** result) {
  return zevOldPthreadJoin(thread, result);
}
int __wrap_pthread_once(pthread_once_t* once, void (*init)()) {
  return zevOldPthreadOnce(once, init);
}
int __wrap_pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  return zevOldPthreadKeyCreate(key, destructor);
}
int __wrap___pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  return zevOldPthreadKeyCreate(key, destructor);
}
int __wrap_pthread_key_delete(pthread_key_t key) {
  return zevOldPthreadKeyDelete(key);
}
void* __wrap_pthread_getspecific(pthread_key_t key) {
  return zevOldPthreadGetspecific(key);
}
int __wrap_pthread_setspecific(pthread_key_t key, const void* value) {
  return zevOldPthreadSetspecific(key, value);
}
int __wrap_pthread_rwlock_rdlock(pthread_rwlock_t* lock) {
  return zevOldPthreadRwlockRdlock(lock);
}
int __wrap_pthread_rwlock_wrlock(pthread_rwlock_t* lock) {
  return zevOldPthreadRwlockWrlock(lock);
}
int __wrap_pthread_rwlock_unlock(pthread_rwlock_t* lock) {
  return zevOldPthreadRwlockUnlock(lock);
}
int __wrap_pthread_sigmask(int how, const sigset_t* set, sigset_t* old) {
  return zevOldPthreadSigmask(how, set, old);
}

// Loading libraries (libdl before 2.34).
void* zevOldDlopen(const char*, int);
void* zevOldDlsym(void*, const char*);
int zevOldDlclose(void*);
char* zevOldDlerror();
#if defined(__i386__)
ZEV_OLD_SYMBOL(zevOldDlopen, dlopen, "GLIBC_2.1");
#else
ZEV_OLD_SYMBOL(zevOldDlopen, dlopen, ZEV_GLIBC_OLD);
#endif
ZEV_OLD_SYMBOL(zevOldDlsym, dlsym, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldDlclose, dlclose, ZEV_GLIBC_OLD);
ZEV_OLD_SYMBOL(zevOldDlerror, dlerror, ZEV_GLIBC_OLD);

void* __wrap_dlopen(const char* file, int mode) {
  return zevOldDlopen(file, mode);
}
void* __wrap_dlsym(void* handle, const char* name) {
  return zevOldDlsym(handle, name);
}
int __wrap_dlclose(void* handle) {
  return zevOldDlclose(handle);
}
char* __wrap_dlerror() {
  return zevOldDlerror();
}

}  // extern "C"

#endif
