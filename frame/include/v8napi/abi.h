// Binary interface between the 1C:Enterprise platform and an add-in library.
//
// Everything that crosses the boundary is declared here and nowhere else: the
// tagged value record, the platform's memory manager and connection, the three
// tables that the component offers, and the four exported entry points.
//
// The tables are plain structs of function pointers, filled by hand, so their
// layout is the platform's on every target whatever the compiler would do with
// virtual functions. Every table starts with the destructor positions of the
// platform's C++ layout: one on Windows (MSVC), two on Linux (Itanium ABI).
// The platform never calls them (it destroys objects through DestroyObject);
// a host that holds the component's interfaces as C++ pointers ends an object
// with `delete` on one of them, and the component's tables answer that with
// the calling convention a C++ caller of the target uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#if defined(_WIN32)
#define V8_ABI_WINDOWS 1
#define V8_CALL __stdcall
#define V8_EXPORT extern "C" __declspec(dllexport)
#define V8_DTOR_SLOTS 1
#if defined(_WIN64)
#define V8_THISCALL
#elif defined(_MSC_VER)
#define V8_THISCALL __thiscall
#else
#define V8_THISCALL __attribute__((thiscall))
#endif
#else
#define V8_ABI_WINDOWS 0
#define V8_CALL
#define V8_EXPORT extern "C" __attribute__((visibility("default")))
#define V8_DTOR_SLOTS 2
#endif

namespace v8abi {

// One UTF-16 code unit as the platform declares it.
#if V8_ABI_WINDOWS
using WCHAR_T = wchar_t;
#else
using WCHAR_T = uint16_t;
#endif
static_assert(sizeof(WCHAR_T) == 2, "UTF-16 code unit must be 16 bits");

// Value tags (low 12 bits of the tag word).
enum TYPEVAR : uint16_t {
  VTYPE_EMPTY = 0,
  VTYPE_NULL = 1,
  VTYPE_I2 = 2,
  VTYPE_I4 = 3,
  VTYPE_R4 = 4,
  VTYPE_R8 = 5,
  VTYPE_DATE = 6,
  VTYPE_TM = 7,
  VTYPE_PSTR = 8,
  VTYPE_INTERFACE = 9,
  VTYPE_ERROR = 10,
  VTYPE_BOOL = 11,
  VTYPE_VARIANT = 12,
  VTYPE_I1 = 13,
  VTYPE_UI1 = 14,
  VTYPE_UI2 = 15,
  VTYPE_UI4 = 16,
  VTYPE_I8 = 17,
  VTYPE_UI8 = 18,
  VTYPE_INT = 19,
  VTYPE_UINT = 20,
  VTYPE_HRESULT = 21,
  VTYPE_PWSTR = 22,
  VTYPE_BLOB = 23,
};
constexpr uint16_t VTYPE_TYPEMASK = 0xfff;

// The platform's tagged value record. The payload union is as large as the
// target's struct tm (the platform's largest member) and is followed by an
// element count and the 16-bit tag.
struct tVariant {
  union {
    int8_t i8Val;
    int16_t shortVal;
    int32_t lVal;
    int intVal;
    unsigned int uintVal;
    int64_t llVal;
    uint8_t ui8Val;
    uint16_t ushortVal;
    uint32_t ulVal;
    uint64_t ullVal;
    int32_t errCode;
    int32_t hRes;
    float fltVal;
    double dblVal;
    bool bVal;
    char chVal;
    wchar_t wchVal;
    double date;
    struct tm tmVal;
    struct {
      void* pInterfaceVal;
      uint8_t InterfaceID[16];
    } iface;
    struct {
      char* pstrVal;
      uint32_t strLen;
    } str;
    struct {
      WCHAR_T* pwstrVal;
      uint32_t wstrLen;
    } wstr;
  };
  uint32_t cbElements;
  uint16_t vt;
};

constexpr uint16_t TagOf(const tVariant& v) {
  return v.vt & VTYPE_TYPEMASK;
}

// Layout facts of the platform's published declarations, per target.
#if defined(_WIN32) && defined(_WIN64)
static_assert(sizeof(tVariant) == 48 && offsetof(tVariant, vt) == 44, "Windows x64 tVariant");
static_assert(offsetof(tVariant, str.strLen) == 8, "Windows x64 string length");
static_assert(sizeof(long) == 4, "Windows long");
#elif defined(_WIN32)
static_assert(sizeof(tVariant) == 48 && offsetof(tVariant, vt) == 44, "Windows x86 tVariant");
static_assert(offsetof(tVariant, str.strLen) == 4, "Windows x86 string length");
static_assert(sizeof(long) == 4, "Windows long");
#elif defined(__x86_64__)
static_assert(sizeof(tVariant) == 64 && offsetof(tVariant, vt) == 60, "Linux x86-64 tVariant");
static_assert(offsetof(tVariant, str.strLen) == 8, "Linux x86-64 string length");
static_assert(sizeof(long) == 8, "Linux x86-64 long");
#elif defined(__i386__)
static_assert(sizeof(tVariant) == 52 && offsetof(tVariant, vt) == 48, "Linux x86 tVariant");
static_assert(offsetof(tVariant, str.strLen) == 4, "Linux x86 string length");
static_assert(sizeof(long) == 4, "Linux x86 long");
#endif
static_assert(offsetof(tVariant, str.pstrVal) == 0 && offsetof(tVariant, wstr.pwstrVal) == 0,
              "payload pointer at byte 0");
static_assert(offsetof(tVariant, wstr.wstrLen) == offsetof(tVariant, str.strLen),
              "string lengths share their place");

// ---------------------------------------------------------------------------
// The platform's objects handed to the component.

struct IMemoryManager;
struct IMemoryManagerVtbl {
  void* destructor[V8_DTOR_SLOTS];
  bool(V8_CALL* AllocMemory)(IMemoryManager* self, void** pMemory, unsigned long ulCountByte);
  void(V8_CALL* FreeMemory)(IMemoryManager* self, void** pMemory);
};
struct IMemoryManager {
  const IMemoryManagerVtbl* vtbl;
};

struct IAddInDefBase;
struct IAddInDefBaseVtbl {
  void* destructor[V8_DTOR_SLOTS];
  bool(V8_CALL* AddError)(IAddInDefBase* self, unsigned short wcode, const WCHAR_T* source,
                          const WCHAR_T* descr, long scode);
};
struct IAddInDefBase {
  const IAddInDefBaseVtbl* vtbl;
};

constexpr long kE_FAIL = static_cast<long>(0x80004005UL);

// Reference counting of an interface held by a value (tag 9): the common
// interface layout puts Release in slot 2, after QueryInterface and AddRef.
struct IUnknownLike;
struct IUnknownLikeVtbl {
  void* QueryInterface;
  void* AddRef;
  unsigned long(V8_CALL* Release)(IUnknownLike* self);
};
struct IUnknownLike {
  const IUnknownLikeVtbl* vtbl;
};

// ---------------------------------------------------------------------------
// The component's tables. `self` is the address of the table pointer inside
// the interface block through which the platform made the call.

// A destructor position of the component's tables. Windows (the Microsoft
// ABI, whichever compiler builds the component, since the platform's is
// MSVC): the scalar deleting destructor, the interface pointer and a flags
// word (bit 0: free), returning the pointer; on x86 __thiscall, the pointer in
// ECX and the callee removing the flags word. Linux (Itanium ABI): the
// complete-object destructor (frees nothing), then the deleting destructor,
// each taking the interface pointer. `delete` on an interface pointer calls
// the deleting one: with flags 1 on Windows, the second position on Linux.
#if V8_ABI_WINDOWS
using DestructorSlot = void*(V8_THISCALL*)(void* self, unsigned int flags);
#else
using DestructorSlot = void (*)(void* self);
#endif

struct IInitDoneBaseVtbl {
  DestructorSlot destructor[V8_DTOR_SLOTS];
  bool(V8_CALL* Init)(void* self, void* connection);
  bool(V8_CALL* setMemManager)(void* self, void* memManager);
  long(V8_CALL* GetInfo)(void* self);
  void(V8_CALL* Done)(void* self);
};

struct ILanguageExtenderBaseVtbl {
  DestructorSlot destructor[V8_DTOR_SLOTS];
  bool(V8_CALL* RegisterExtensionAs)(void* self, WCHAR_T** extensionName);
  long(V8_CALL* GetNProps)(void* self);
  long(V8_CALL* FindProp)(void* self, const WCHAR_T* propName);
  const WCHAR_T*(V8_CALL* GetPropName)(void* self, long propNum, long propAlias);
  bool(V8_CALL* GetPropVal)(void* self, const long propNum, tVariant* varPropVal);
  bool(V8_CALL* SetPropVal)(void* self, const long propNum, tVariant* varPropVal);
  bool(V8_CALL* IsPropReadable)(void* self, const long propNum);
  bool(V8_CALL* IsPropWritable)(void* self, const long propNum);
  long(V8_CALL* GetNMethods)(void* self);
  long(V8_CALL* FindMethod)(void* self, const WCHAR_T* methodName);
  const WCHAR_T*(V8_CALL* GetMethodName)(void* self, const long methodNum, const long methodAlias);
  long(V8_CALL* GetNParams)(void* self, const long methodNum);
  bool(V8_CALL* GetParamDefValue)(void* self, const long methodNum, const long paramNum,
                                  tVariant* varParamDefValue);
  bool(V8_CALL* HasRetVal)(void* self, const long methodNum);
  bool(V8_CALL* CallAsProc)(void* self, const long methodNum, tVariant* paParams,
                            const long sizeArray);
  bool(V8_CALL* CallAsFunc)(void* self, const long methodNum, tVariant* retValue,
                            tVariant* paParams, const long sizeArray);
};

struct LocaleBaseVtbl {
  DestructorSlot destructor[V8_DTOR_SLOTS];
  void(V8_CALL* SetLocale)(void* self, const WCHAR_T* locale);
};

// The interface block handed to the platform: three table pointers, a zero
// word and the component object three times, so that the object stands four
// words after each table pointer.
struct InterfaceBlock {
  const IInitDoneBaseVtbl* initDone;
  const ILanguageExtenderBaseVtbl* languageExtender;
  const LocaleBaseVtbl* locale;
  void* reserved;
  void* object[3];
};
static_assert(sizeof(InterfaceBlock) == 7 * sizeof(void*), "seven words");
static_assert(offsetof(InterfaceBlock, object) == 4 * sizeof(void*), "object four words on");

// The four exports, as the platform calls them.
using GetClassNamesFn = const WCHAR_T* (*)();
using GetClassObjectFn = long (*)(const WCHAR_T* name, void** component);
using DestroyObjectFn = long (*)(void** component);
using SetPlatformCapabilitiesFn = int (*)(int capabilities);

}  // namespace v8abi

V8_EXPORT const v8abi::WCHAR_T* GetClassNames();
V8_EXPORT long GetClassObject(const v8abi::WCHAR_T* wsName, void** pIntf);
V8_EXPORT long DestroyObject(void** pIntf);
V8_EXPORT int SetPlatformCapabilities(int capabilities);
