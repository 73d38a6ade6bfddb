// Platform values: readers, setters and copies, with every buffer taken from
// and given back to the platform's memory manager.
#include <cmath>
#include <cstring>
#include <optional>

#include "v8napi/v8napi.h"
#include "zev/platform/locale.h"
#include "zev/platform/text.h"

namespace v8napi {
namespace {

using v8abi::TagOf;

// The platform's memory manager, or null when it gave none or a table
// without the slots needed.
const v8abi::IMemoryManagerVtbl* Manager(const TV8UserObject& object) {
  if (object.MemManager == nullptr) return nullptr;
  const v8abi::IMemoryManagerVtbl* table = object.MemManager->vtbl;
  if (table == nullptr || table->AllocMemory == nullptr || table->FreeMemory == nullptr) {
    return nullptr;
  }
  return table;
}

bool Alloc(TV8UserObject& object, void** block, size_t bytes) {
  *block = nullptr;
  if (Manager(object) == nullptr) return false;
  if (bytes > UINT32_MAX) return false;
  return object.MemManager->vtbl->AllocMemory(object.MemManager, block,
                                              static_cast<unsigned long>(bytes));
}

// A block of a manager without a usable table cannot be given back; it is
// left to the platform.
void Free(TV8UserObject& object, void** block) {
  if (*block != nullptr && Manager(object) != nullptr) {
    object.MemManager->vtbl->FreeMemory(object.MemManager, block);
  }
  *block = nullptr;
}

// Gives a freshly allocated copy of `bytes` bytes to `*slot`; false when refused.
bool AllocCopy(TV8UserObject& object, void** slot, const void* source, size_t bytes) {
  void* block = nullptr;
  const bool ok = Alloc(object, &block, bytes);
  if (ok && block != nullptr) {
    if (bytes != 0) std::memcpy(block, source, bytes);
    *slot = block;
    return true;
  }
  *slot = block;
  return false;
}

int32_t Truncate(double value) {
  if (!std::isfinite(value)) return 0;
  const double t = std::trunc(value);
  if (t >= 9.2233720368547758e18 || t < -9.2233720368547758e18) return 0;
  return static_cast<int32_t>(
      static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(t))));
}

// The text of a wide value: its length in code units, or up to the first NUL
// when `toNul`. Nothing past the length is read.
std::u16string WideText(const tVariant* value, bool toNul) {
  const WCHAR_T* p = value->wstr.pwstrVal;
  if (p == nullptr) return std::u16string();
  size_t n = 0;
  while (n < value->wstr.wstrLen && !(toNul && p[n] == 0)) ++n;
  return FromWide(p, n);
}

// A narrow value up to its length in bytes, or to an earlier NUL.
std::string NarrowText(const tVariant* value) {
  const char* p = value->str.pstrVal;
  if (p == nullptr) return std::string();
  size_t n = 0;
  while (n < value->str.strLen && p[n] != '\0') ++n;
  return std::string(p, n);
}

std::optional<double> ReadDecimal(const std::string& text) {
  return zev::platform::ParseDecimal(text, zev::platform::DecimalSeparator());
}

}  // namespace

size_t WideLength(const WCHAR_T* text) {
  size_t n = 0;
  if (text != nullptr) {
    while (text[n] != 0) ++n;
  }
  return n;
}

std::u16string FromWide(const WCHAR_T* text) {
  return FromWide(text, WideLength(text));
}

std::u16string FromWide(const WCHAR_T* text, size_t length) {
  std::u16string out;
  if (text == nullptr) return out;
  out.resize(length);
  for (size_t i = 0; i < length; ++i) out[i] = static_cast<char16_t>(text[i]);
  return out;
}

WCHAR_T* AllocWideCopy(TV8UserObject& object, std::u16string_view text) {
  if (Manager(object) == nullptr) return nullptr;
  void* block = nullptr;
  if (Alloc(object, &block, (text.size() + 1) * sizeof(WCHAR_T)) && block != nullptr) {
    auto* out = static_cast<WCHAR_T*>(block);
    for (size_t i = 0; i < text.size(); ++i) out[i] = static_cast<WCHAR_T>(text[i]);
    out[text.size()] = 0;
  }
  return static_cast<WCHAR_T*>(block);
}

void ClearVariant(TV8UserObject& object, tVariant* value) {
  if (value == nullptr) return;
  const uint16_t tag = TagOf(*value);
  if (tag == v8abi::VTYPE_PSTR || tag == v8abi::VTYPE_PWSTR || tag == v8abi::VTYPE_BLOB) {
    void* block = value->str.pstrVal;
    Free(object, &block);
  } else if (tag == v8abi::VTYPE_INTERFACE && value->iface.pInterfaceVal != nullptr) {
    auto* iface = static_cast<v8abi::IUnknownLike*>(value->iface.pInterfaceVal);
    value->iface.pInterfaceVal = nullptr;
    if (iface->vtbl != nullptr && iface->vtbl->Release != nullptr) iface->vtbl->Release(iface);
  }
  std::memset(static_cast<void*>(value), 0, sizeof *value);
}

bool SetVariantPChar(TV8UserObject& object, tVariant* value, const char* text) {
  if (text == nullptr) return true;
  return SetVariantStr(object, value, std::string_view(text, std::strlen(text)));
}

bool SetVariantStr(TV8UserObject& object, tVariant* value, std::string_view text) {
  if (value == nullptr || Manager(object) == nullptr) return false;
  // Only the bytes before a NUL are a narrow text.
  const size_t n = std::min(text.size(), text.find('\0'));
  ClearVariant(object, value);
  value->vt = v8abi::VTYPE_PSTR;
  void* block = nullptr;
  const bool ok = Alloc(object, &block, n + 1);
  value->str.pstrVal = static_cast<char*>(block);
  if (!ok || block == nullptr) return false;
  if (n != 0) std::memcpy(block, text.data(), n);
  static_cast<char*>(block)[n] = '\0';
  value->str.strLen = static_cast<uint32_t>(n);
  return true;
}

bool SetVariantBlob(TV8UserObject& object, tVariant* value, const void* bytes, uint32_t count) {
  if (bytes == nullptr) return true;
  if (value == nullptr || Manager(object) == nullptr) return false;
  ClearVariant(object, value);
  value->vt = v8abi::VTYPE_BLOB;
  void* block = nullptr;
  const bool ok = AllocCopy(object, &block, bytes, count);
  value->str.pstrVal = static_cast<char*>(block);
  if (!ok) return false;
  value->str.strLen = count;
  return true;
}

bool SetVariantDouble(TV8UserObject& object, tVariant* value, double number) {
  if (value == nullptr || Manager(object) == nullptr) return false;
  ClearVariant(object, value);
  value->vt = v8abi::VTYPE_R8;
  value->dblVal = number;
  return true;
}

bool SetVariantInt(TV8UserObject& object, tVariant* value, int32_t number) {
  if (value == nullptr || Manager(object) == nullptr) return false;
  ClearVariant(object, value);
  value->vt = v8abi::VTYPE_I4;
  value->lVal = number;
  return true;
}

bool SetVariantBool(TV8UserObject& object, tVariant* value, bool flag) {
  if (value == nullptr || Manager(object) == nullptr) return false;
  ClearVariant(object, value);
  value->vt = v8abi::VTYPE_BOOL;
  value->bVal = flag;
  return true;
}

void CopyVariant(TV8UserObject& object, const tVariant* source, tVariant* destination) {
  if (source == nullptr || destination == nullptr || source == destination) return;
  std::memcpy(static_cast<void*>(destination), source, sizeof *destination);
  const uint16_t tag = TagOf(*source);
  size_t bytes = 0;
  if (tag == v8abi::VTYPE_PSTR) {
    bytes = size_t{source->str.strLen} + 1;
  } else if (tag == v8abi::VTYPE_PWSTR) {
    bytes = (size_t{source->wstr.wstrLen} + 1) * sizeof(WCHAR_T);
  } else if (tag == v8abi::VTYPE_BLOB) {
    bytes = source->str.strLen;
  } else {
    return;
  }
  if (source->str.pstrVal == nullptr) return;
  // A text's terminator is written, not copied: the source need not have one.
  const size_t terminator = tag == v8abi::VTYPE_PSTR    ? 1
                            : tag == v8abi::VTYPE_PWSTR ? sizeof(WCHAR_T)
                                                        : 0;
  void* block = nullptr;
  if (!Alloc(object, &block, bytes) || block == nullptr) {
    // Never share the source's buffer: it would be given back twice.
    std::memset(static_cast<void*>(destination), 0, sizeof *destination);
    return;
  }
  if (bytes > terminator) std::memcpy(block, source->str.pstrVal, bytes - terminator);
  std::memset(static_cast<char*>(block) + bytes - terminator, 0, terminator);
  destination->str.pstrVal = static_cast<char*>(block);
}

int32_t GetVariantInt(const tVariant* value) {
  if (value == nullptr) return 0;
  switch (TagOf(*value)) {
    case v8abi::VTYPE_I2:
      return value->shortVal;
    case v8abi::VTYPE_I4:
      return value->lVal;
    case v8abi::VTYPE_R4:
      return Truncate(value->fltVal);
    case v8abi::VTYPE_R8:
      return Truncate(value->dblVal);
    case v8abi::VTYPE_DATE:
      return Truncate(value->date);
    case v8abi::VTYPE_ERROR:
      return value->errCode;
    case v8abi::VTYPE_UI1:
      return value->ui8Val;
    case v8abi::VTYPE_PWSTR:
      return zev::platform::ParseInteger(zev::platform::Utf16ToCp1251(WideText(value, true)))
          .value_or(0);
    default:
      return 0;
  }
}

double GetVariantDouble(const tVariant* value) {
  if (value == nullptr) return 0;
  switch (TagOf(*value)) {
    case v8abi::VTYPE_I2:
      return value->shortVal;
    case v8abi::VTYPE_I4:
      return value->lVal;
    case v8abi::VTYPE_R4:
      return value->fltVal;
    case v8abi::VTYPE_R8:
      return value->dblVal;
    case v8abi::VTYPE_DATE:
      return value->date;
    case v8abi::VTYPE_ERROR:
      return value->errCode;
    case v8abi::VTYPE_UI1:
      return value->ui8Val;
    case v8abi::VTYPE_PWSTR:
      return ReadDecimal(zev::platform::Utf16ToCp1251(WideText(value, true))).value_or(0.0);
    default:
      return 0;
  }
}

std::string GetVariantStr(const tVariant* value) {
  if (value == nullptr) return std::string();
  switch (TagOf(*value)) {
    case v8abi::VTYPE_PSTR:
      return NarrowText(value);
    case v8abi::VTYPE_PWSTR:
      return zev::platform::Utf16ToCp1251(WideText(value, false));
    default:
      return std::string();
  }
}

bool IsTextButNoNumber(const tVariant* value) {
  if (value == nullptr) return false;
  switch (TagOf(*value)) {
    case v8abi::VTYPE_PSTR:
      return !ReadDecimal(NarrowText(value)).has_value();
    case v8abi::VTYPE_PWSTR:
      return !ReadDecimal(zev::platform::Utf16ToCp1251(WideText(value, true))).has_value();
    default:
      return false;
  }
}

}  // namespace v8napi
