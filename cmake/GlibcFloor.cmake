# The Linux binaries that ship (the add-in and zevscale) run on glibc 2.17 and
# later: see platform/glibc_floor.cpp. zev_glibc_floor(target [PROGRAM]) builds
# a target so; tools/check-floors.sh checks the result.
include(CheckCXXSourceCompiles)
check_cxx_source_compiles("#include <features.h>
#ifndef __GLIBC__
#error not glibc
#endif
int main() { return 0; }" ZEV_HAVE_GLIBC)

option(ZEV_GLIBC_FLOOR "Build the add-in and zevscale to run on glibc 2.17" ON)
set(ZEV_GLIBC_FLOOR_ACTIVE OFF)
if(ZEV_GLIBC_FLOOR AND ZEV_HAVE_GLIBC AND ZEV_STATIC_RUNTIME AND NOT ZEV_SANITIZE AND NOT ZEV_TSAN)
  set(ZEV_GLIBC_FLOOR_ACTIVE ON)
endif()

# Functions that newer glibc exports under a newer version than the floor.
set(ZEV_GLIBC_FLOOR_WRAPS
  stat lstat fstat fstatat stat64 lstat64 fstat64 fstatat64 fcntl fcntl64
  pthread_create pthread_join pthread_once pthread_key_create __pthread_key_create
  pthread_key_delete pthread_getspecific pthread_setspecific
  pthread_rwlock_rdlock pthread_rwlock_wrlock pthread_rwlock_unlock pthread_sigmask
  dlopen dlsym dlclose dlerror)

function(zev_glibc_floor target)
  if(NOT ZEV_GLIBC_FLOOR_ACTIVE)
    return()
  endif()
  set(wraps ${ZEV_GLIBC_FLOOR_WRAPS})
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/glibc_floor.cpp)
  if("PROGRAM" IN_LIST ARGN)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/glibc_floor_main.cpp)
    list(APPEND wraps __libc_start_main)
  endif()
  list(TRANSFORM wraps PREPEND "-Wl,--wrap=")
  target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
  # The C++ runtime inside; the unwinder from the system's libgcc_s (the static
  # one looks frames up with _dl_find_object, glibc 2.35); unused runtime
  # pieces (random_device with arc4random, memory_resource) dropped; the
  # libraries that held the thread and loader functions before 2.34 named, so
  # an older system finds them.
  target_link_options(${target} PRIVATE
    -static-libstdc++ -shared-libgcc -Wl,--gc-sections ${wraps}
    -Wl,--push-state,--no-as-needed -l:libpthread.so.0 -l:libdl.so.2 -Wl,--pop-state)
endfunction()
