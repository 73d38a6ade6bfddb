// A host of our own that drives the add-in the way the platform does (or, with
// DeletingHost, the way a host of C++ interface pointers does): it loads the
// library, resolves the four exports and calls components only through the
// raw tables of their interface blocks. Its memory manager counts
// every block, catches foreign and double frees and can refuse allocations;
// its connection records every error report.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "v8napi/abi.h"

namespace zev::host {

using v8abi::tVariant;
using v8abi::WCHAR_T;

class MemoryManager {
 public:
  MemoryManager();
  ~MemoryManager();
  MemoryManager(const MemoryManager&) = delete;
  MemoryManager& operator=(const MemoryManager&) = delete;

  v8abi::IMemoryManager* Interface() { return &iface_.base; }

  // Refuses the `n`th allocation from now on (1 = the next one); 0 refuses none.
  void RefuseNth(size_t n);
  // Refuses every allocation while set.
  void RefuseAll(bool refuse);

  size_t Allocations() const;  // blocks handed out
  size_t Requests() const;     // AllocMemory calls of the component, refused ones included
  size_t Refusals() const;     // requests refused
  size_t Frees() const;        // blocks given back
  size_t LiveBlocks() const;   // handed out and not given back
  size_t LiveBytes() const;
  bool Owns(const void* block) const;
  std::vector<std::string> Faults() const;  // foreign and double frees

  // The platform's own use: values it makes for the component.
  void* Alloc(size_t bytes);
  void Free(void* block);

 private:
  struct Iface {
    v8abi::IMemoryManager base;
    MemoryManager* owner;
  };
  static bool V8_CALL AllocSlot(v8abi::IMemoryManager* self, void** block, unsigned long bytes);
  static void V8_CALL FreeSlot(v8abi::IMemoryManager* self, void** block);
  bool Allocate(void** block, size_t bytes);
  void Release(void* block);

  Iface iface_;
  mutable std::mutex mutex_;
  std::map<const void*, size_t> live_;
  std::vector<const void*> freed_;
  std::vector<std::string> faults_;
  size_t allocations_ = 0, refusals_ = 0, frees_ = 0;
  size_t refuseAt_ = 0, counter_ = 0;
  bool refuseAll_ = false;
};

struct ErrorReport {
  unsigned short code;
  std::u16string source;
  std::u16string description;
  long status;
};

class Connection {
 public:
  Connection();
  v8abi::IAddInDefBase* Interface() { return &iface_.base; }
  std::vector<ErrorReport> Errors;

 private:
  struct Iface {
    v8abi::IAddInDefBase base;
    Connection* owner;
  };
  static bool V8_CALL AddErrorSlot(v8abi::IAddInDefBase* self, unsigned short code,
                                   const WCHAR_T* source, const WCHAR_T* descr, long status);
  Iface iface_;
};

// The add-in library, loaded and resolved.
class Library {
 public:
  explicit Library(const std::string& path);
  // The four entry points of an add-in linked into this program.
  Library(v8abi::GetClassNamesFn getClassNames, v8abi::GetClassObjectFn getClassObject,
          v8abi::DestroyObjectFn destroyObject, v8abi::SetPlatformCapabilitiesFn capabilities);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Loaded() const { return handle_ != nullptr || linked_; }
  const std::string& Error() const { return error_; }
  // The exports of the four that a loaded library lacks.
  const std::vector<std::string>& MissingExports() const { return missing_; }

  std::u16string ClassNames() const;
  long GetClassObject(const WCHAR_T* name, void** component) const;
  long DestroyObject(void** component) const;
  int SetPlatformCapabilities(int capabilities) const;

 private:
  void* handle_ = nullptr;
  bool linked_ = false;
  std::string error_;
  std::vector<std::string> missing_;
  v8abi::GetClassNamesFn getClassNames_ = nullptr;
  v8abi::GetClassObjectFn getClassObject_ = nullptr;
  v8abi::DestroyObjectFn destroyObject_ = nullptr;
  v8abi::SetPlatformCapabilitiesFn setPlatformCapabilities_ = nullptr;
};

// NUL-terminated platform text.
std::vector<WCHAR_T> Wide(std::u16string_view text);
std::u16string FromWide(const WCHAR_T* text);

// Values as the platform makes them: strings in the memory manager's blocks.
tVariant Empty();
tVariant Int(int32_t value);
tVariant Double(double value);
tVariant Bool(bool value);
tVariant WStr(MemoryManager& mm, std::u16string_view text);
tVariant WStrUtf8(MemoryManager& mm, std::string_view utf8);
tVariant PStr(MemoryManager& mm, std::string_view bytes);
void Clear(MemoryManager& mm, tVariant& value);

// The narrow bytes of a tag 8 value (empty for any other tag).
std::string Narrow(const tVariant& value);
// The same, read as Windows-1251 and given as UTF-8.
std::string NarrowUtf8(const tVariant& value);
// The UTF-8 text of a tag 22 (wide) value (empty for any other tag).
std::string WideUtf8(const tVariant& value);

// The three interface pointers of an object: words 0, 1 and 2 of its block.
enum class Via { InitDone, LanguageExtender, Locale };

// A C++ `delete` on an interface pointer: the deleting destructor of its
// table, with the target's convention (Windows: the one position, flags 1;
// elsewhere the second of the two positions).
void DeleteThrough(void* self);
// An explicit destructor call on an interface pointer, which frees nothing
// (Windows: the one position, flags 0; elsewhere the first position).
void DestructThrough(void* self);

// A host that holds the add-in's interfaces as C++ interface pointers, as the
// open-source interpreter of the platform's language does through its own
// add-in proxy: it calls Init and setMemManager and nothing else of the set-up
// (no SetPlatformCapabilities, GetInfo, RegisterExtensionAs or SetLocale),
// passes its texts as wide strings, and ends an object with Done followed by
// `delete` on the interface pointer `via`, never with DestroyObject.
struct DeletingHost {
  Via via = Via::InitDone;
};

// A component made through the exports and driven through its tables.
class Component {
 public:
  // Makes an object of `className`; with `setUp` hands it the memory manager
  // and the connection, as the platform does first. Ended as the platform
  // ends it: Done, then DestroyObject.
  Component(const Library& library, MemoryManager& mm, Connection* connection,
            std::u16string_view className = u"TZEV_SCALE_Class", bool setUp = true);
  // Makes an object of `className` as `host` does: Init, then setMemManager;
  // ended with Done and a `delete` through the interface pointer `host.via`.
  Component(const Library& library, MemoryManager& mm, Connection* connection,
            std::u16string_view className, DeletingHost host);
  ~Component();
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  bool Valid() const { return block_ != nullptr; }
  v8abi::InterfaceBlock* Block() const { return static_cast<v8abi::InterfaceBlock*>(block_); }
  void* InitDoneSelf() const;
  void* LanguageSelf() const;
  void* LocaleSelf() const;
  void* Self(Via via) const;
  const v8abi::IInitDoneBaseVtbl& InitDone() const { return *Block()->initDone; }
  const v8abi::ILanguageExtenderBaseVtbl& Language() const { return *Block()->languageExtender; }
  const v8abi::LocaleBaseVtbl& Locale() const { return *Block()->locale; }

  long FindMethod(std::u16string_view name) const;
  // A name the component returned, read and given back to the memory manager.
  std::u16string TakeName(const WCHAR_T* name) const;
  std::u16string MethodName(long index, long alias) const;
  std::u16string ExtensionName() const;

  // Calls a method by name (looked up with FindMethod) with `params`; the
  // return value lands in `ret`, which the caller clears.
  bool Call(std::u16string_view method, std::vector<tVariant>& params, tVariant& ret) const;
  bool CallIndex(long index, std::vector<tVariant>& params, tVariant& ret) const;

 private:
  const Library& library_;
  MemoryManager& mm_;
  void* block_ = nullptr;
  bool deleting_ = false;
  Via via_ = Via::InitDone;
};

// One method call through CallAsFunc: the parameters and return slot as the
// platform prepared them, and what the call left there. Everything is given
// back to the memory manager on destruction, as the platform does.
class Call {
 public:
  Call(const Component& c, MemoryManager& mm, std::u16string_view method,
       std::vector<tVariant> params);
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  // The return value is the boolean true.
  bool Flag() const { return ret.vt == v8abi::VTYPE_BOOL && ret.bVal; }
  // The call was carried out and reported success.
  bool Succeeded() const { return ok && Flag(); }
  bool ReturnWritten() const { return ret.vt != v8abi::VTYPE_EMPTY; }
  std::string Text(size_t i) const { return NarrowUtf8(params[i]); }
  std::string Bytes(size_t i) const { return Narrow(params[i]); }
  std::string WText(size_t i) const { return WideUtf8(params[i]); }

  bool ok = false;  // the call result
  tVariant ret;
  std::vector<tVariant> params;

 private:
  MemoryManager& mm_;
};

}  // namespace zev::host
