// Wine's <windows.h> for clang in the Microsoft mode. Wine's winnt.h defines
// some interlocked helpers as functions under the names of the compiler's
// built-ins when the compiler is clang; the names are moved aside here.
#pragma once

#define _InterlockedCompareExchange128 wine_InterlockedCompareExchange128
#define _InterlockedAnd64 wine_InterlockedAnd64
#define _InterlockedCompareExchangePointer wine_InterlockedCompareExchangePointer
#define _InterlockedExchangeAdd64 wine_InterlockedExchangeAdd64
#define _InterlockedExchangePointer wine_InterlockedExchangePointer
#define _InterlockedIncrement64 wine_InterlockedIncrement64
#define _InterlockedDecrement64 wine_InterlockedDecrement64
#define _InterlockedOr64 wine_InterlockedOr64
#define _InterlockedXor64 wine_InterlockedXor64
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
