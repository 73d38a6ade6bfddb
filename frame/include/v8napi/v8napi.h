// The add-in frame: class registry, member registry, component object and the
// platform values with the platform's memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "v8napi/abi.h"

namespace v8napi {

using v8abi::tVariant;
using v8abi::WCHAR_T;

class TV8UserObject;
struct TClassReg;

// ---------------------------------------------------------------------------
// Component object.

// Base of every add-in class. The platform reaches an object only through the
// tables of its interface block; descendants add their fields and handlers.
class TV8UserObject {
 public:
  TV8UserObject() = default;
  virtual ~TV8UserObject() = default;
  TV8UserObject(const TV8UserObject&) = delete;
  TV8UserObject& operator=(const TV8UserObject&) = delete;

  virtual bool OnInit() { return true; }
  virtual int32_t InterfaceVersion() { return 2000; }
  virtual void OnSetLocale() {}
  // The host is done with the object (Done, or a destructor position that
  // frees nothing): devices are given back here. May run more than once.
  virtual void OnDone() {}
  virtual bool OnSetMemManager() { return true; }

  const TClassReg* ClassReg = nullptr;
  v8abi::IMemoryManager* MemManager = nullptr;
  v8abi::IAddInDefBase* Connection = nullptr;
  std::u16string Locale;
};

// The class of a component: makes a new object (the virtual constructor).
using TClassRef = std::unique_ptr<TV8UserObject> (*)();

// Method handler, function form: object, return slot, parameters, count.
using TFuncHandler = bool (*)(TV8UserObject& object, tVariant* retValue, tVariant* params,
                              int32_t count);
// Method handler, procedure form: object, parameters, count.
using TProcHandler = bool (*)(TV8UserObject& object, tVariant* params, int32_t count);
// Property accessor: object, value, and whether the platform reads the property.
using TPropAccessor = bool (*)(TV8UserObject& object, tVariant* value, bool reading);

// Turns a member function of a component class into a handler of the frame.
template <class T, bool (T::*Method)(tVariant*, tVariant*, int32_t)>
bool FuncHandler(TV8UserObject& object, tVariant* retValue, tVariant* params, int32_t count) {
  return (static_cast<T&>(object).*Method)(retValue, params, count);
}

// ---------------------------------------------------------------------------
// Member registry.

struct TDefParamValue {
  uint32_t reserved = 0;
  tVariant value{};
};

struct TDefParamList {
  std::vector<TDefParamValue> Values;
};

struct TMethReg {
  std::u16string EngName;
  std::u16string RusName;
  bool HasResult = false;
  int32_t ParamCount = 0;
  TDefParamList DefParams;
  TFuncHandler Handler = nullptr;
  TProcHandler ProcHandler = nullptr;
  // Further names that find the method (as other editions of a caller name
  // it); GetMethodName gives only the two above.
  std::vector<std::u16string> OtherNames;
};

struct TPropReg {
  std::u16string EngName;
  std::u16string RusName;
  bool Readable = false;
  bool Writable = false;
  TPropAccessor Accessor = nullptr;
};

// ---------------------------------------------------------------------------
// Class registry.

struct TClassReg {
  TClassRef ClassRef = nullptr;
  std::u16string ComponentName;
  std::u16string ClassName;
  int32_t PropCount = 0;
  int32_t MethCount = 0;
  std::vector<std::unique_ptr<TPropReg>> Props;
  std::vector<std::unique_ptr<TMethReg>> Meths;

  TMethReg& AddMethod(std::u16string_view engName, std::u16string_view rusName, int32_t paramCount,
                      TFuncHandler func, TProcHandler proc, bool hasResult);
  TMethReg& AddFunction(std::u16string_view engName, std::u16string_view rusName,
                        int32_t paramCount, TFuncHandler handler);
  TMethReg& AddProcedure(std::u16string_view engName, std::u16string_view rusName,
                         int32_t paramCount, TProcHandler handler);

  // Index of the first member whose Russian or English name is the same name, or -1.
  int32_t FindMethod(std::u16string_view name) const;
  int32_t FindProp(std::u16string_view name) const;

  const TMethReg* Method(long index) const;
  const TPropReg* Prop(long index) const;
};

struct TClassRegList {
  int32_t count = 0;
  std::vector<std::unique_ptr<TClassReg>> items;
  std::u16string ClassNames;               // every ClassName in registration order, joined by "|"
  std::vector<WCHAR_T> ClassNamesWide{0};  // the same, NUL-terminated, as handed out

  TClassReg& AddClass(TClassRef classRef, std::u16string_view componentName,
                      std::u16string_view className);
  const TClassReg* Find(std::u16string_view className) const;
};

// The process-wide registry, created on first use, so that it exists before any
// registration whatever the order of static initialisation.
TClassRegList& ClassRegistry();

// ---------------------------------------------------------------------------
// Interface tables and the interface block.

// The object behind an interface pointer: four words after the table pointer.
TV8UserObject* ObjectOf(void* iface);

// A new block for `object`, from the library's own heap; null when out of memory.
v8abi::InterfaceBlock* NewInterfaceBlock(TV8UserObject* object);
void FreeInterfaceBlock(v8abi::InterfaceBlock* block);
// Destroys the block's object and frees the block: what DestroyObject and the
// deleting destructors of the tables do.
void ReleaseInterfaceBlock(v8abi::InterfaceBlock* block);

const v8abi::IInitDoneBaseVtbl& InitDoneTable();
const v8abi::ILanguageExtenderBaseVtbl& LanguageExtenderTable();
const v8abi::LocaleBaseVtbl& LocaleTable();

// ---------------------------------------------------------------------------
// Platform values and platform memory.

// Length of a NUL-terminated UTF-16 text from the platform (0 for null).
size_t WideLength(const WCHAR_T* text);
std::u16string FromWide(const WCHAR_T* text);
std::u16string FromWide(const WCHAR_T* text, size_t length);

// Copy of a text in platform memory, NUL-terminated; null without a memory
// manager or when it refuses the block.
WCHAR_T* AllocWideCopy(TV8UserObject& object, std::u16string_view text);

void ClearVariant(TV8UserObject& object, tVariant* value);
bool SetVariantPChar(TV8UserObject& object, tVariant* value, const char* text);
bool SetVariantStr(TV8UserObject& object, tVariant* value, std::string_view text);
// A wide (UTF-16) text; the previous buffer of the value is given back first.
bool SetVariantWStr(TV8UserObject& object, tVariant* value, std::u16string_view text);
bool SetVariantBlob(TV8UserObject& object, tVariant* value, const void* bytes, uint32_t count);
bool SetVariantDouble(TV8UserObject& object, tVariant* value, double number);
bool SetVariantInt(TV8UserObject& object, tVariant* value, int32_t number);
bool SetVariantBool(TV8UserObject& object, tVariant* value, bool flag);
void CopyVariant(TV8UserObject& object, const tVariant* source, tVariant* destination);

// The readers never read a text past its length: the number readers and a
// narrow text stop at an earlier NUL, a wide text is taken whole.
int32_t GetVariantInt(const tVariant* value);
double GetVariantDouble(const tVariant* value);
std::string GetVariantStr(const tVariant* value);
// The text of a wide value (whole) or of a narrow one (Windows-1251, up to a
// NUL) as UTF-16; empty for every other value.
std::u16string GetVariantText(const tVariant* value);
// A narrow or wide text that does not read as a decimal number with the
// regional separator (the number readers take such a text as 0).
bool IsTextButNoNumber(const tVariant* value);

}  // namespace v8napi
