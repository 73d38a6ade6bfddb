// Class registry and the four exported entry points.
#include <new>

#include "v8napi/v8napi.h"

namespace v8napi {

TClassRegList& ClassRegistry() {
  static TClassRegList registry;
  return registry;
}

TClassReg& TClassRegList::AddClass(TClassRef classRef, std::u16string_view componentName,
                                   std::u16string_view className) {
  items.push_back(std::make_unique<TClassReg>());
  count = static_cast<int32_t>(items.size());
  TClassReg& entry = *items.back();
  entry.ClassRef = classRef;
  entry.ComponentName = componentName;
  entry.ClassName = className;
  if (!ClassNames.empty()) ClassNames += u'|';
  ClassNames += className;
  ClassNamesWide.assign(ClassNames.begin(), ClassNames.end());
  ClassNamesWide.push_back(0);
  return entry;
}

const TClassReg* TClassRegList::Find(std::u16string_view className) const {
  for (const auto& entry : items) {
    if (entry->ClassName == className) return entry.get();
  }
  return nullptr;
}

}  // namespace v8napi

using v8napi::ClassRegistry;

V8_EXPORT const v8abi::WCHAR_T* GetClassNames() {
  return ClassRegistry().ClassNamesWide.data();
}

V8_EXPORT long GetClassObject(const v8abi::WCHAR_T* wsName, void** pIntf) {
  if (wsName == nullptr || pIntf == nullptr) return 0;
  try {
    const v8napi::TClassReg* entry = ClassRegistry().Find(v8napi::FromWide(wsName));
    if (entry == nullptr || entry->ClassRef == nullptr) return 0;
    std::unique_ptr<v8napi::TV8UserObject> object = entry->ClassRef();
    if (!object) return 0;
    v8abi::InterfaceBlock* block = v8napi::NewInterfaceBlock(object.get());
    if (block == nullptr) return 0;
    object->ClassReg = entry;
    object.release();
    *pIntf = block;
    return 1;
  } catch (...) {
    // A constructor that fails gives no component; the platform is not told.
    return 0;
  }
}

V8_EXPORT long DestroyObject(void** pIntf) {
  if (pIntf == nullptr || *pIntf == nullptr) return 0;
  v8napi::ReleaseInterfaceBlock(static_cast<v8abi::InterfaceBlock*>(*pIntf));
  *pIntf = nullptr;
  return 0;
}

V8_EXPORT int SetPlatformCapabilities(int /*capabilities*/) {
  return 1;
}
