// The add-in interfaces as the platform sees them: C++ interface classes with
// virtual functions, a virtual destructor first and __stdcall methods, so that
// the compiler of the Microsoft C++ ABI lays their tables out. This program is
// compiled by clang for *-pc-windows-msvc and calls the add-in only through
// these classes, never through the add-in's own declarations.
#pragma once

#include <stddef.h>

#define ADDIN_API __stdcall

typedef wchar_t WCHAR_T;
static_assert(sizeof(WCHAR_T) == 2, "UTF-16 code unit");

// The platform's tagged value record: a payload as large as struct tm (nine
// ints), an element count and the 16-bit tag at byte 44.
enum : unsigned short {
  VTYPE_EMPTY = 0,
  VTYPE_I4 = 3,
  VTYPE_R8 = 5,
  VTYPE_PSTR = 8,
  VTYPE_BOOL = 11,
  VTYPE_PWSTR = 22,
  VTYPE_BLOB = 23,
  VTYPE_TYPEMASK = 0xfff,
};

struct tVariant {
  union {
    int lVal;
    double dblVal;
    bool bVal;
    int tmVal[9];
    struct {
      char* pstrVal;
      unsigned int strLen;
    } str;
    struct {
      WCHAR_T* pwstrVal;
      unsigned int wstrLen;
    } wstr;
  };
  unsigned int cbElements;
  unsigned short vt;
};
static_assert(sizeof(tVariant) == 48, "tVariant is 48 bytes on Windows");
static_assert(offsetof(tVariant, vt) == 44, "the tag stands at byte 44");
static_assert(offsetof(tVariant, str.strLen) == sizeof(void*), "the length follows the pointer");
static_assert(sizeof(long) == 4, "long is 32 bits on Windows");

// The platform's objects that it hands to the component.
class IMemoryManager {
 public:
  virtual ~IMemoryManager() {}
  virtual bool ADDIN_API AllocMemory(void** pMemory, unsigned long ulCountByte) = 0;
  virtual void ADDIN_API FreeMemory(void** pMemory) = 0;
};

class IAddInDefBase {
 public:
  virtual ~IAddInDefBase() {}
  virtual bool ADDIN_API AddError(unsigned short wcode, const WCHAR_T* source, const WCHAR_T* descr,
                                  long scode) = 0;
};

// The component's three interfaces, at words 0, 1 and 2 of its interface block.
class IInitDoneBase {
 public:
  virtual ~IInitDoneBase() {}
  virtual bool ADDIN_API Init(void* disp) = 0;
  virtual bool ADDIN_API setMemManager(void* mem) = 0;
  virtual long ADDIN_API GetInfo() = 0;
  virtual void ADDIN_API Done() = 0;
};

class ILanguageExtenderBase {
 public:
  virtual ~ILanguageExtenderBase() {}
  virtual bool ADDIN_API RegisterExtensionAs(WCHAR_T** wsExtensionName) = 0;
  virtual long ADDIN_API GetNProps() = 0;
  virtual long ADDIN_API FindProp(const WCHAR_T* wsPropName) = 0;
  virtual const WCHAR_T* ADDIN_API GetPropName(long lPropNum, long lPropAlias) = 0;
  virtual bool ADDIN_API GetPropVal(const long lPropNum, tVariant* pvarPropVal) = 0;
  virtual bool ADDIN_API SetPropVal(const long lPropNum, tVariant* varPropVal) = 0;
  virtual bool ADDIN_API IsPropReadable(const long lPropNum) = 0;
  virtual bool ADDIN_API IsPropWritable(const long lPropNum) = 0;
  virtual long ADDIN_API GetNMethods() = 0;
  virtual long ADDIN_API FindMethod(const WCHAR_T* wsMethodName) = 0;
  virtual const WCHAR_T* ADDIN_API GetMethodName(const long lMethodNum,
                                                 const long lMethodAlias) = 0;
  virtual long ADDIN_API GetNParams(const long lMethodNum) = 0;
  virtual bool ADDIN_API GetParamDefValue(const long lMethodNum, const long lParamNum,
                                          tVariant* pvarParamDefValue) = 0;
  virtual bool ADDIN_API HasRetVal(const long lMethodNum) = 0;
  virtual bool ADDIN_API CallAsProc(const long lMethodNum, tVariant* paParams,
                                    const long lSizeArray) = 0;
  virtual bool ADDIN_API CallAsFunc(const long lMethodNum, tVariant* pvarRetValue,
                                    tVariant* paParams, const long lSizeArray) = 0;
};

class LocaleBase {
 public:
  virtual ~LocaleBase() {}
  virtual void ADDIN_API SetLocale(const WCHAR_T* loc) = 0;
};

// The four exports: plain C functions.
typedef const WCHAR_T*(__cdecl* GetClassNamesFn)();
typedef long(__cdecl* GetClassObjectFn)(const WCHAR_T* wsName, void** pIntf);
typedef long(__cdecl* DestroyObjectFn)(void** pIntf);
typedef int(__cdecl* SetPlatformCapabilitiesFn)(int capabilities);
