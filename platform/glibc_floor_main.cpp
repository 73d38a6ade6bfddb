// The program start of a console tool that runs on glibc 2.17 (see
// glibc_floor.cpp). A program linked against glibc 2.34 or later starts
// through __libc_start_main@GLIBC_2.34, which runs the program's own
// constructors itself and passes no init function. Older systems have only
// the earlier entry, which runs the constructors only through the init
// function it is given: this wrapper calls that entry with one that does
// what the newer C library does.
#include <cstddef>  // defines __GLIBC__ on glibc

#if defined(__linux__) && defined(__GLIBC__)

#if defined(__x86_64__)
#define ZEV_GLIBC_START "GLIBC_2.2.5"
#elif defined(__i386__)
#define ZEV_GLIBC_START "GLIBC_2.0"
#else
#error "the glibc floor knows the symbol versions of x86-64 and i386 only"
#endif

extern "C" {

using MainFunction = int (*)(int, char**, char**);
using InitFunction = void (*)(int, char**, char**);
using FiniFunction = void (*)();

// Laid out by the linker around the program's .init_array; _init comes from crti.o.
extern InitFunction __init_array_start[] __attribute__((visibility("hidden")));
extern InitFunction __init_array_end[] __attribute__((visibility("hidden")));
void _init();

int zevOldLibcStartMain(MainFunction, int, char**, InitFunction, FiniFunction, FiniFunction, void*);
__asm__(".symver zevOldLibcStartMain,__libc_start_main@" ZEV_GLIBC_START);

static void zevRunConstructors(int argc, char** argv, char** env) {
  _init();
  const std::size_t count = static_cast<std::size_t>(__init_array_end - __init_array_start);
  for (std::size_t i = 0; i < count; ++i) __init_array_start[i](argc, argv, env);
}

int __wrap___libc_start_main(MainFunction main, int argc, char** argv, InitFunction init,
                             FiniFunction fini, FiniFunction rtldFini, void* stackEnd) {
  return zevOldLibcStartMain(main, argc, argv, init != nullptr ? init : zevRunConstructors, fini,
                             rtldFini, stackEnd);
}

}  // extern "C"

#endif
