#include "host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "zev/platform/text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zev::host {

// --- MemoryManager -----------------------------------------------------------

MemoryManager::MemoryManager() {
  static const v8abi::IMemoryManagerVtbl table = {
      {}, &MemoryManager::AllocSlot, &MemoryManager::FreeSlot};
  iface_.base.vtbl = &table;
  iface_.owner = this;
}

MemoryManager::~MemoryManager() {
  for (auto& [block, size] : live_) std::free(const_cast<void*>(block));
}

bool V8_CALL MemoryManager::AllocSlot(v8abi::IMemoryManager* self, void** block,
                                      unsigned long bytes) {
  return reinterpret_cast<Iface*>(self)->owner->Allocate(block, bytes);
}

void V8_CALL MemoryManager::FreeSlot(v8abi::IMemoryManager* self, void** block) {
  if (block == nullptr) {
    std::lock_guard<std::mutex> lock(reinterpret_cast<Iface*>(self)->owner->mutex_);
    reinterpret_cast<Iface*>(self)->owner->faults_.push_back("FreeMemory with a null address");
    return;
  }
  reinterpret_cast<Iface*>(self)->owner->Release(*block);
  *block = nullptr;
}

bool MemoryManager::Allocate(void** block, size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (block == nullptr) {
    faults_.push_back("AllocMemory with a null address");
    return false;
  }
  ++counter_;
  if (refuseAll_ || (refuseAt_ != 0 && counter_ == refuseAt_)) {
    ++refusals_;
    return false;
  }
  void* p = std::malloc(bytes == 0 ? 1 : bytes);
  if (p == nullptr) return false;
  std::memset(p, 0xA5, bytes == 0 ? 1 : bytes);  // no caller may rely on zeroed blocks
  live_[p] = bytes;
  freed_.erase(std::remove(freed_.begin(), freed_.end(), p), freed_.end());
  ++allocations_;
  *block = p;
  return true;
}

void MemoryManager::Release(void* block) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (block == nullptr) return;
  const auto it = live_.find(block);
  if (it == live_.end()) {
    const bool twice = std::find(freed_.begin(), freed_.end(), block) != freed_.end();
    faults_.push_back(twice ? "double free" : "free of a block this manager never gave");
    return;
  }
  live_.erase(it);
  freed_.push_back(block);
  ++frees_;
  std::free(block);
}

void MemoryManager::RefuseNth(size_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuseAt_ = n == 0 ? 0 : counter_ + n;
}

void MemoryManager::RefuseAll(bool refuse) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuseAll_ = refuse;
}

size_t MemoryManager::Allocations() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return allocations_;
}
size_t MemoryManager::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counter_;
}
size_t MemoryManager::Refusals() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return refusals_;
}
size_t MemoryManager::Frees() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frees_;
}
size_t MemoryManager::LiveBlocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return live_.size();
}
size_t MemoryManager::LiveBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t total = 0;
  for (const auto& entry : live_) total += entry.second;
  return total;
}
bool MemoryManager::Owns(const void* block) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return live_.count(block) != 0;
}
std::vector<std::string> MemoryManager::Faults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

void* MemoryManager::Alloc(size_t bytes) {
  void* block = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    block = std::malloc(bytes == 0 ? 1 : bytes);
    live_[block] = bytes;
    ++allocations_;
  }
  return block;
}

void MemoryManager::Free(void* block) {
  Release(block);
}

// --- Connection --------------------------------------------------------------

Connection::Connection() {
  static const v8abi::IAddInDefBaseVtbl table = {{}, &Connection::AddErrorSlot};
  iface_.base.vtbl = &table;
  iface_.owner = this;
}

bool V8_CALL Connection::AddErrorSlot(v8abi::IAddInDefBase* self, unsigned short code,
                                      const WCHAR_T* source, const WCHAR_T* descr, long status) {
  reinterpret_cast<Iface*>(self)->owner->Errors.push_back(
      {code, FromWide(source), FromWide(descr), status});
  return true;
}

// --- Library -----------------------------------------------------------------

namespace {

template <class Fn>
Fn Resolve(void* handle, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name)));
#else
  return reinterpret_cast<Fn>(dlsym(handle, name));
#endif
}

}  // namespace

Library::Library(const std::string& path) {
#if defined(_WIN32)
  handle_ = LoadLibraryW(platform::Utf8ToWide(path).c_str());
  if (handle_ == nullptr) {
    error_ =
        "LoadLibrary failed for " + path + " (system error " + std::to_string(GetLastError()) + ")";
  }
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) error_ = dlerror();
#endif
  if (handle_ == nullptr) return;
  getClassNames_ = Resolve<v8abi::GetClassNamesFn>(handle_, "GetClassNames");
  getClassObject_ = Resolve<v8abi::GetClassObjectFn>(handle_, "GetClassObject");
  destroyObject_ = Resolve<v8abi::DestroyObjectFn>(handle_, "DestroyObject");
  setPlatformCapabilities_ =
      Resolve<v8abi::SetPlatformCapabilitiesFn>(handle_, "SetPlatformCapabilities");
  const std::pair<bool, const char*> exports[] = {
      {getClassNames_ != nullptr, "GetClassNames"},
      {getClassObject_ != nullptr, "GetClassObject"},
      {destroyObject_ != nullptr, "DestroyObject"},
      {setPlatformCapabilities_ != nullptr, "SetPlatformCapabilities"}};
  for (const auto& [found, name] : exports) {
    if (!found) missing_.push_back(name);
  }
  for (const auto& name : missing_) {
    error_ += (error_.empty() ? "it lacks the exports " : ", ") + name;
  }
}

Library::Library(v8abi::GetClassNamesFn getClassNames, v8abi::GetClassObjectFn getClassObject,
                 v8abi::DestroyObjectFn destroyObject,
                 v8abi::SetPlatformCapabilitiesFn capabilities)
    : linked_(true),
      getClassNames_(getClassNames),
      getClassObject_(getClassObject),
      destroyObject_(destroyObject),
      setPlatformCapabilities_(capabilities) {}

Library::~Library() {
  if (handle_ == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

std::u16string Library::ClassNames() const {
  return FromWide(getClassNames_());
}
long Library::GetClassObject(const WCHAR_T* name, void** component) const {
  return getClassObject_(name, component);
}
long Library::DestroyObject(void** component) const {
  return destroyObject_(component);
}
int Library::SetPlatformCapabilities(int capabilities) const {
  return setPlatformCapabilities_(capabilities);
}

// --- Values ------------------------------------------------------------------

std::vector<WCHAR_T> Wide(std::u16string_view text) {
  std::vector<WCHAR_T> out(text.begin(), text.end());
  out.push_back(0);
  return out;
}

std::u16string FromWide(const WCHAR_T* text) {
  std::u16string out;
  if (text == nullptr) return out;
  for (; *text != 0; ++text) out += static_cast<char16_t>(*text);
  return out;
}

tVariant Empty() {
  tVariant v;
  std::memset(static_cast<void*>(&v), 0, sizeof v);
  return v;
}

tVariant Int(int32_t value) {
  tVariant v = Empty();
  v.vt = v8abi::VTYPE_I4;
  v.lVal = value;
  return v;
}

tVariant Double(double value) {
  tVariant v = Empty();
  v.vt = v8abi::VTYPE_R8;
  v.dblVal = value;
  return v;
}

tVariant Bool(bool value) {
  tVariant v = Empty();
  v.vt = v8abi::VTYPE_BOOL;
  v.bVal = value;
  return v;
}

tVariant WStr(MemoryManager& mm, std::u16string_view text) {
  tVariant v = Empty();
  v.vt = v8abi::VTYPE_PWSTR;
  auto* buffer = static_cast<WCHAR_T*>(mm.Alloc((text.size() + 1) * sizeof(WCHAR_T)));
  for (size_t i = 0; i < text.size(); ++i) buffer[i] = static_cast<WCHAR_T>(text[i]);
  buffer[text.size()] = 0;
  v.wstr.pwstrVal = buffer;
  v.wstr.wstrLen = static_cast<uint32_t>(text.size());
  return v;
}

tVariant WStrUtf8(MemoryManager& mm, std::string_view utf8) {
  return WStr(mm, platform::Utf8ToUtf16(utf8));
}

tVariant PStr(MemoryManager& mm, std::string_view bytes) {
  tVariant v = Empty();
  v.vt = v8abi::VTYPE_PSTR;
  auto* buffer = static_cast<char*>(mm.Alloc(bytes.size() + 1));
  std::memcpy(buffer, bytes.data(), bytes.size());
  buffer[bytes.size()] = '\0';
  v.str.pstrVal = buffer;
  v.str.strLen = static_cast<uint32_t>(bytes.size());
  return v;
}

void Clear(MemoryManager& mm, tVariant& value) {
  const uint16_t tag = v8abi::TagOf(value);
  if ((tag == v8abi::VTYPE_PSTR || tag == v8abi::VTYPE_PWSTR || tag == v8abi::VTYPE_BLOB) &&
      value.str.pstrVal != nullptr) {
    mm.Free(value.str.pstrVal);
  }
  value = Empty();
}

std::string Narrow(const tVariant& value) {
  if (v8abi::TagOf(value) != v8abi::VTYPE_PSTR || value.str.pstrVal == nullptr) return {};
  return std::string(value.str.pstrVal, value.str.strLen);
}

std::string NarrowUtf8(const tVariant& value) {
  return platform::Cp1251ToUtf8(Narrow(value));
}

std::string WideUtf8(const tVariant& value) {
  if (v8abi::TagOf(value) != v8abi::VTYPE_PWSTR || value.wstr.pwstrVal == nullptr) return {};
  std::u16string text(value.wstr.wstrLen, u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(value.wstr.pwstrVal[i]);
  return platform::Utf16ToUtf8(text);
}

// --- Component ---------------------------------------------------------------

Component::Component(const Library& library, MemoryManager& mm, Connection* connection,
                     std::u16string_view className, bool setUp)
    : library_(library), mm_(mm) {
  const auto name = Wide(className);
  if (library_.GetClassObject(name.data(), &block_) != 1) {
    block_ = nullptr;
    return;
  }
  if (setUp) {
    InitDone().setMemManager(InitDoneSelf(), mm_.Interface());
    InitDone().Init(InitDoneSelf(), connection != nullptr ? connection->Interface() : nullptr);
  }
}

Component::Component(const Library& library, MemoryManager& mm, Connection* connection,
                     std::u16string_view className, DeletingHost host)
    : library_(library), mm_(mm), deleting_(true), via_(host.via) {
  const auto name = Wide(className);
  if (library_.GetClassObject(name.data(), &block_) != 1) {
    block_ = nullptr;
    return;
  }
  InitDone().Init(InitDoneSelf(), connection != nullptr ? connection->Interface() : nullptr);
  InitDone().setMemManager(InitDoneSelf(), mm_.Interface());
}

Component::~Component() {
  if (block_ == nullptr) return;
  InitDone().Done(InitDoneSelf());
  if (deleting_) {
    DeleteThrough(Self(via_));
  } else {
    library_.DestroyObject(&block_);
  }
}

void* Component::InitDoneSelf() const {
  return &Block()->initDone;
}
void* Component::LanguageSelf() const {
  return &Block()->languageExtender;
}
void* Component::LocaleSelf() const {
  return &Block()->locale;
}
void* Component::Self(Via via) const {
  switch (via) {
    case Via::LanguageExtender:
      return LanguageSelf();
    case Via::Locale:
      return LocaleSelf();
    case Via::InitDone:
      break;
  }
  return InitDoneSelf();
}

namespace {

// Every table starts with its destructor positions, whichever table it is.
const v8abi::DestructorSlot* DestructorsOf(void* self) {
  const void* table = nullptr;
  std::memcpy(&table, self, sizeof table);
  return static_cast<const v8abi::DestructorSlot*>(table);
}

}  // namespace

void DeleteThrough(void* self) {
#if V8_ABI_WINDOWS
  DestructorsOf(self)[0](self, 1);
#else
  DestructorsOf(self)[1](self);
#endif
}

void DestructThrough(void* self) {
#if V8_ABI_WINDOWS
  DestructorsOf(self)[0](self, 0);
#else
  DestructorsOf(self)[0](self);
#endif
}

long Component::FindMethod(std::u16string_view name) const {
  const auto wide = Wide(name);
  return Language().FindMethod(LanguageSelf(), wide.data());
}

std::u16string Component::TakeName(const WCHAR_T* name) const {
  std::u16string out = FromWide(name);
  if (name != nullptr) mm_.Free(const_cast<WCHAR_T*>(name));
  return out;
}

std::u16string Component::MethodName(long index, long alias) const {
  return TakeName(Language().GetMethodName(LanguageSelf(), index, alias));
}

std::u16string Component::ExtensionName() const {
  WCHAR_T* name = nullptr;
  Language().RegisterExtensionAs(LanguageSelf(), &name);
  return TakeName(name);
}

bool Component::Call(std::u16string_view method, std::vector<tVariant>& params,
                     tVariant& ret) const {
  const long index = FindMethod(method);
  if (index < 0) return false;
  return CallIndex(index, params, ret);
}

bool Component::CallIndex(long index, std::vector<tVariant>& params, tVariant& ret) const {
  return Language().CallAsFunc(LanguageSelf(), index, &ret,
                               params.empty() ? nullptr : params.data(),
                               static_cast<long>(params.size()));
}

// --- Call --------------------------------------------------------------------

Call::Call(const Component& c, MemoryManager& mm, std::u16string_view method,
           std::vector<tVariant> parameters)
    : ret(Empty()), params(std::move(parameters)), mm_(mm) {
  ok = c.Call(method, params, ret);
}

Call::~Call() {
  Clear(mm_, ret);
  for (auto& p : params) Clear(mm_, p);
}

}  // namespace zev::host
