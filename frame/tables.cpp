// The component's three function tables and its interface block.
//
// Every slot receives the address of the table pointer through which the
// platform called it; ObjectOf() finds the component four words further on.
// No slot lets an exception out: the platform's side of the call is C.
#include <cstddef>
#include <new>

#include "v8napi/v8napi.h"

namespace v8napi {

using v8abi::InterfaceBlock;

TV8UserObject* ObjectOf(void* iface) {
  if (iface == nullptr) return nullptr;
  return static_cast<TV8UserObject*>(static_cast<void**>(iface)[4]);
}

InterfaceBlock* NewInterfaceBlock(TV8UserObject* object) {
  auto* block = new (std::nothrow) InterfaceBlock{};
  if (block == nullptr) return nullptr;
  block->initDone = &InitDoneTable();
  block->languageExtender = &LanguageExtenderTable();
  block->locale = &LocaleTable();
  block->reserved = nullptr;
  block->object[0] = block->object[1] = block->object[2] = object;
  return block;
}

void FreeInterfaceBlock(InterfaceBlock* block) {
  delete block;
}

void ReleaseInterfaceBlock(InterfaceBlock* block) {
  if (block == nullptr) return;
  // An object's destructor lets nothing out (the component classes give
  // their handles back by RAII), so the block is always freed after it.
  delete static_cast<TV8UserObject*>(block->object[0]);
  FreeInterfaceBlock(block);
}

namespace {

const TClassReg* ClassOf(TV8UserObject* object) {
  return object != nullptr ? object->ClassReg : nullptr;
}

const TMethReg* MethodOf(void* self, long index) {
  const TClassReg* cls = ClassOf(ObjectOf(self));
  return cls != nullptr ? cls->Method(index) : nullptr;
}

const TPropReg* PropOf(void* self, long index) {
  const TClassReg* cls = ClassOf(ObjectOf(self));
  return cls != nullptr ? cls->Prop(index) : nullptr;
}

// Resets only the tag word of a value the platform hands in to be filled.
void ResetTag(tVariant* value) {
  if (value != nullptr) value->vt = v8abi::VTYPE_EMPTY;
}

// --- IInitDoneBase ---------------------------------------------------------

bool V8_CALL Init(void* self, void* connection) {
  TV8UserObject* object = ObjectOf(self);
  if (object == nullptr) return false;
  try {
    object->Connection = static_cast<v8abi::IAddInDefBase*>(connection);
    return object->OnInit();
  } catch (...) {
    return false;
  }
}

bool V8_CALL SetMemManager(void* self, void* memManager) {
  TV8UserObject* object = ObjectOf(self);
  if (object == nullptr) return false;
  try {
    object->MemManager = static_cast<v8abi::IMemoryManager*>(memManager);
    return object->OnSetMemManager();
  } catch (...) {
    return false;
  }
}

long V8_CALL GetInfo(void* self) {
  TV8UserObject* object = ObjectOf(self);
  if (object == nullptr) return 0;
  try {
    return object->InterfaceVersion();
  } catch (...) {
    return 0;
  }
}

void V8_CALL Done(void* self) {
  TV8UserObject* object = ObjectOf(self);
  if (object == nullptr) return;
  try {
    object->OnDone();
  } catch (...) {
  }
}

// --- ILanguageExtenderBase -------------------------------------------------

bool V8_CALL RegisterExtensionAs(void* self, WCHAR_T** extensionName) {
  TV8UserObject* object = ObjectOf(self);
  const TClassReg* cls = ClassOf(object);
  if (extensionName == nullptr || cls == nullptr) return false;
  try {
    *extensionName = AllocWideCopy(*object, cls->ComponentName);
  } catch (...) {
    *extensionName = nullptr;
  }
  return true;
}

long V8_CALL GetNProps(void* self) {
  const TClassReg* cls = ClassOf(ObjectOf(self));
  return cls != nullptr ? cls->PropCount : 0;
}

long V8_CALL FindProp(void* self, const WCHAR_T* name) {
  const TClassReg* cls = ClassOf(ObjectOf(self));
  if (cls == nullptr || name == nullptr) return -1;
  try {
    return cls->FindProp(FromWide(name));
  } catch (...) {
    return -1;
  }
}

const WCHAR_T* NameCopy(void* self, const std::u16string& eng, const std::u16string& rus,
                        long alias) {
  try {
    return AllocWideCopy(*ObjectOf(self), alias == 0 ? eng : rus);
  } catch (...) {
    return nullptr;
  }
}

const WCHAR_T* V8_CALL GetPropName(void* self, long index, long alias) {
  const TPropReg* prop = PropOf(self, index);
  return prop != nullptr ? NameCopy(self, prop->EngName, prop->RusName, alias) : nullptr;
}

bool V8_CALL GetPropVal(void* self, const long index, tVariant* value) {
  const TPropReg* prop = PropOf(self, index);
  if (prop == nullptr || value == nullptr) return false;
  ResetTag(value);
  if (prop->Accessor == nullptr) return false;
  try {
    return prop->Accessor(*ObjectOf(self), value, true);
  } catch (...) {
    return false;
  }
}

bool V8_CALL SetPropVal(void* self, const long index, tVariant* value) {
  const TPropReg* prop = PropOf(self, index);
  if (prop == nullptr || value == nullptr || prop->Accessor == nullptr) return false;
  try {
    return prop->Accessor(*ObjectOf(self), value, false);
  } catch (...) {
    return false;
  }
}

bool V8_CALL IsPropReadable(void* self, const long index) {
  const TPropReg* prop = PropOf(self, index);
  return prop != nullptr && prop->Readable;
}

bool V8_CALL IsPropWritable(void* self, const long index) {
  const TPropReg* prop = PropOf(self, index);
  return prop != nullptr && prop->Writable;
}

long V8_CALL GetNMethods(void* self) {
  const TClassReg* cls = ClassOf(ObjectOf(self));
  return cls != nullptr ? cls->MethCount : 0;
}

long V8_CALL FindMethod(void* self, const WCHAR_T* name) {
  const TClassReg* cls = ClassOf(ObjectOf(self));
  if (cls == nullptr || name == nullptr) return -1;
  try {
    return cls->FindMethod(FromWide(name));
  } catch (...) {
    return -1;
  }
}

const WCHAR_T* V8_CALL GetMethodName(void* self, const long index, const long alias) {
  const TMethReg* method = MethodOf(self, index);
  return method != nullptr ? NameCopy(self, method->EngName, method->RusName, alias) : nullptr;
}

long V8_CALL GetNParams(void* self, const long index) {
  const TMethReg* method = MethodOf(self, index);
  return method != nullptr ? method->ParamCount : 0;
}

bool V8_CALL GetParamDefValue(void* self, const long index, const long param, tVariant* value) {
  const TMethReg* method = MethodOf(self, index);
  if (method == nullptr || value == nullptr) return false;
  ResetTag(value);
  const auto& defaults = method->DefParams.Values;
  if (param >= 0 && static_cast<unsigned long>(param) < defaults.size()) {
    try {
      CopyVariant(*ObjectOf(self), &defaults[static_cast<size_t>(param)].value, value);
    } catch (...) {
      ResetTag(value);
    }
  }
  return true;
}

bool V8_CALL HasRetVal(void* self, const long index) {
  const TMethReg* method = MethodOf(self, index);
  return method != nullptr && method->HasResult;
}

// A parameter array the handler may use: null stands for an empty array.
bool ParamsUsable(const tVariant* params, long count) {
  return count >= 0 && (count == 0 || params != nullptr);
}

bool V8_CALL CallAsProc(void* self, const long index, tVariant* params, const long count) {
  const TMethReg* method = MethodOf(self, index);
  if (method == nullptr || !ParamsUsable(params, count)) return false;
  TV8UserObject& object = *ObjectOf(self);
  try {
    if (method->ProcHandler != nullptr) {
      return method->ProcHandler(object, count == 0 ? nullptr : params,
                                 static_cast<int32_t>(count));
    }
    if (method->Handler == nullptr) return false;
    // A function called as a procedure: its result goes into a slot of our
    // own, which is emptied afterwards so that no buffer is left behind.
    tVariant scratch{};
    bool result = false;
    try {
      result = method->Handler(object, &scratch, count == 0 ? nullptr : params,
                               static_cast<int32_t>(count));
    } catch (...) {
      ClearVariant(object, &scratch);
      throw;
    }
    ClearVariant(object, &scratch);
    return result;
  } catch (...) {
    return false;
  }
}

bool V8_CALL CallAsFunc(void* self, const long index, tVariant* retValue, tVariant* params,
                        const long count) {
  const TMethReg* method = MethodOf(self, index);
  if (method == nullptr || retValue == nullptr || !ParamsUsable(params, count)) return false;
  TV8UserObject& object = *ObjectOf(self);
  try {
    if (method->Handler != nullptr) {
      return method->Handler(object, retValue, count == 0 ? nullptr : params,
                             static_cast<int32_t>(count));
    }
    if (method->ProcHandler != nullptr) {
      return method->ProcHandler(object, count == 0 ? nullptr : params,
                                 static_cast<int32_t>(count));
    }
    return false;
  } catch (...) {
    return false;
  }
}

// --- Destructor positions ----------------------------------------------------
//
// The platform never calls them: it ends an object with Done and then
// DestroyObject. A host that holds the interfaces as C++ interface pointers
// ends it with Done and a C++ `delete` on one of the three pointers, which
// calls the deleting destructor of that pointer's table: it releases the
// object and its block exactly as DestroyObject does. Each table has its own
// functions, which know where their table pointer stands in the block.
//
// The destructor that frees nothing (Itanium: the complete-object destructor;
// Microsoft: the deleting destructor without bit 0 of its flags, which an
// explicit destructor call passes) ends the object's use as Done does and
// leaves the object and its block in place: the memory is the library's and
// nobody else can free it, so only DestroyObject or a deleting destructor may
// follow. A class's OnDone may therefore run twice.
//
// An object is released once, by DestroyObject or by a deleting destructor:
// both free the block that the host's pointer designates, so a second release
// through the same pointer is the host's double free. It is not detected:
// that would take a process-wide list of live blocks, and even such a list
// would take a block that a later GetClassObject got at the same address for
// the freed one.

template <size_t Offset>
InterfaceBlock* BlockAt(void* self) {
  return reinterpret_cast<InterfaceBlock*>(static_cast<char*>(self) - Offset);
}

#if V8_ABI_WINDOWS
// The scalar deleting destructor: bit 0 of `flags` frees (bit 1, an array
// deletion, has no meaning for an interface and is not looked at); returns
// the pointer it was given, as the Microsoft ABI's deleting destructors do.
template <size_t Offset>
void* V8_THISCALL DeletingDestructor(void* self, unsigned int flags) {
  if ((flags & 1U) != 0) {
    ReleaseInterfaceBlock(BlockAt<Offset>(self));
  } else {
    Done(self);
  }
  return self;
}
#define V8_DESTRUCTORS(member) \
  { DeletingDestructor<offsetof(InterfaceBlock, member)> }
#else
// The complete-object destructor, then the deleting destructor.
void CompleteObjectDestructor(void* self) {
  Done(self);
}
template <size_t Offset>
void DeletingDestructor(void* self) {
  ReleaseInterfaceBlock(BlockAt<Offset>(self));
}
#define V8_DESTRUCTORS(member) \
  { CompleteObjectDestructor, DeletingDestructor<offsetof(InterfaceBlock, member)> }
#endif

// --- LocaleBase ------------------------------------------------------------

void V8_CALL SetLocale(void* self, const WCHAR_T* locale) {
  TV8UserObject* object = ObjectOf(self);
  if (object == nullptr) return;
  try {
    object->Locale = FromWide(locale);
    object->OnSetLocale();
  } catch (...) {
  }
}

constexpr v8abi::IInitDoneBaseVtbl kInitDone = {V8_DESTRUCTORS(initDone), Init, SetMemManager,
                                                GetInfo, Done};

constexpr v8abi::ILanguageExtenderBaseVtbl kLanguageExtender = {V8_DESTRUCTORS(languageExtender),
                                                                RegisterExtensionAs,
                                                                GetNProps,
                                                                FindProp,
                                                                GetPropName,
                                                                GetPropVal,
                                                                SetPropVal,
                                                                IsPropReadable,
                                                                IsPropWritable,
                                                                GetNMethods,
                                                                FindMethod,
                                                                GetMethodName,
                                                                GetNParams,
                                                                GetParamDefValue,
                                                                HasRetVal,
                                                                CallAsProc,
                                                                CallAsFunc};

constexpr v8abi::LocaleBaseVtbl kLocale = {V8_DESTRUCTORS(locale), SetLocale};

}  // namespace

const v8abi::IInitDoneBaseVtbl& InitDoneTable() {
  return kInitDone;
}
const v8abi::ILanguageExtenderBaseVtbl& LanguageExtenderTable() {
  return kLanguageExtender;
}
const v8abi::LocaleBaseVtbl& LocaleTable() {
  return kLocale;
}

}  // namespace v8napi
