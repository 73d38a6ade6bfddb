// The tables against the compiler's own virtual-function layout: the built
// add-in is called through C++ interface classes declared the way the
// platform declares them, and is handed a memory manager and a connection that
// are C++ objects with virtual functions. On Windows the platform's layout has
// one destructor position, which a first placeholder function stands for
// (mingw would give a virtual destructor two); on Linux it has the Itanium
// ABI's two, which a virtual destructor gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "host.h"

// The interfaces have external linkage on purpose: within an anonymous
// namespace the compiler would know that no class implements them and would
// turn every call into a call of the pure-virtual handler.
namespace zev::abi_test {

using host::tVariant;
using host::WCHAR_T;

#if V8_ABI_WINDOWS
#define DESTRUCTOR_SLOTS(Name) virtual void V8_CALL DestructorSlot() = 0;
#define OWN_DESTRUCTOR_SLOTS(Name) \
  void V8_CALL DestructorSlot() override {}
#else
#define DESTRUCTOR_SLOTS(Name) virtual ~Name() = default;
#define OWN_DESTRUCTOR_SLOTS(Name)
#endif

struct InitDoneCpp {
  DESTRUCTOR_SLOTS(InitDoneCpp)
  virtual bool V8_CALL Init(void* connection) = 0;
  virtual bool V8_CALL setMemManager(void* memManager) = 0;
  virtual long V8_CALL GetInfo() = 0;
  virtual void V8_CALL Done() = 0;
};

struct LanguageExtenderCpp {
  DESTRUCTOR_SLOTS(LanguageExtenderCpp)
  virtual bool V8_CALL RegisterExtensionAs(WCHAR_T** name) = 0;
  virtual long V8_CALL GetNProps() = 0;
  virtual long V8_CALL FindProp(const WCHAR_T* name) = 0;
  virtual const WCHAR_T* V8_CALL GetPropName(long num, long alias) = 0;
  virtual bool V8_CALL GetPropVal(const long num, tVariant* value) = 0;
  virtual bool V8_CALL SetPropVal(const long num, tVariant* value) = 0;
  virtual bool V8_CALL IsPropReadable(const long num) = 0;
  virtual bool V8_CALL IsPropWritable(const long num) = 0;
  virtual long V8_CALL GetNMethods() = 0;
  virtual long V8_CALL FindMethod(const WCHAR_T* name) = 0;
  virtual const WCHAR_T* V8_CALL GetMethodName(const long num, const long alias) = 0;
  virtual long V8_CALL GetNParams(const long num) = 0;
  virtual bool V8_CALL GetParamDefValue(const long num, const long param, tVariant* value) = 0;
  virtual bool V8_CALL HasRetVal(const long num) = 0;
  virtual bool V8_CALL CallAsProc(const long num, tVariant* params, const long count) = 0;
  virtual bool V8_CALL CallAsFunc(const long num, tVariant* ret, tVariant* params,
                                  const long count) = 0;
};

struct LocaleCpp {
  DESTRUCTOR_SLOTS(LocaleCpp)
  virtual void V8_CALL SetLocale(const WCHAR_T* locale) = 0;
};

struct MemoryManagerCpp {
  DESTRUCTOR_SLOTS(MemoryManagerCpp)
  virtual bool V8_CALL AllocMemory(void** block, unsigned long bytes) = 0;
  virtual void V8_CALL FreeMemory(void** block) = 0;
};

struct ConnectionCpp {
  DESTRUCTOR_SLOTS(ConnectionCpp)
  virtual bool V8_CALL AddError(unsigned short code, const WCHAR_T* source, const WCHAR_T* descr,
                                long status) = 0;
};

}  // namespace zev::abi_test

namespace zev::host {
namespace {

using namespace zev::abi_test;

struct CountingMemory : MemoryManagerCpp {
  OWN_DESTRUCTOR_SLOTS(CountingMemory)
  bool V8_CALL AllocMemory(void** block, unsigned long bytes) override {
    *block = std::malloc(bytes);
    live[*block] = bytes;
    return true;
  }
  void V8_CALL FreeMemory(void** block) override {
    live.erase(*block);
    std::free(*block);
    *block = nullptr;
  }
  std::map<void*, unsigned long> live;
};

struct RecordingConnection : ConnectionCpp {
  OWN_DESTRUCTOR_SLOTS(RecordingConnection)
  bool V8_CALL AddError(unsigned short, const WCHAR_T*, const WCHAR_T*, long) override {
    ++errors;
    return true;
  }
  int errors = 0;
};

TEST(Abi, TheTablesAnswerCallsThroughTheCompilersVirtualFunctions) {
  Library library(ZEV_ADDIN_PATH);
  ASSERT_TRUE(library.Loaded()) << library.Error();
  void* component = nullptr;
  ASSERT_EQ(library.GetClassObject(Wide(u"TZEV_SCALE_Class").data(), &component), 1);
  auto** block = static_cast<void**>(component);
  auto* initDone = reinterpret_cast<InitDoneCpp*>(&block[0]);
  auto* language = reinterpret_cast<LanguageExtenderCpp*>(&block[1]);
  auto* locale = reinterpret_cast<LocaleCpp*>(&block[2]);

  CountingMemory memory;
  RecordingConnection connection;
  EXPECT_TRUE(initDone->setMemManager(static_cast<MemoryManagerCpp*>(&memory)));
  EXPECT_TRUE(initDone->Init(static_cast<ConnectionCpp*>(&connection)));
  EXPECT_EQ(initDone->GetInfo(), 2000);
  locale->SetLocale(Wide(u"ru_RU").data());

  EXPECT_EQ(language->GetNMethods(), 13);
  EXPECT_EQ(language->FindMethod(Wide(u"ПолучитьВес").data()), 11);
  EXPECT_EQ(language->FindMethod(Wide(u"nothing").data()), -1);
  EXPECT_EQ(language->GetNParams(1), 7);
  EXPECT_TRUE(language->HasRetVal(12));
  EXPECT_EQ(language->GetNProps(), 0);

  const WCHAR_T* name = language->GetMethodName(11, 1);
  EXPECT_EQ(FromWide(name), u"ПолучитьВес");
  void* nameBlock = const_cast<WCHAR_T*>(name);
  memory.FreeMemory(&nameBlock);

  WCHAR_T* extension = nullptr;
  EXPECT_TRUE(language->RegisterExtensionAs(&extension));
  EXPECT_EQ(FromWide(extension), u"ZEVScale");
  void* extensionBlock = extension;
  memory.FreeMemory(&extensionBlock);

  // GetVersion, with its text in a block of the C++ memory manager.
  tVariant ret = Empty();
  EXPECT_TRUE(language->CallAsFunc(0, &ret, nullptr, 0));
  ASSERT_EQ(ret.vt, v8abi::VTYPE_PSTR);
  EXPECT_EQ(std::string(ret.str.pstrVal, ret.str.strLen), ZEV_PRODUCT_VERSION);
  EXPECT_EQ(memory.live.count(ret.str.pstrVal), 1u);
  void* text = ret.str.pstrVal;
  memory.FreeMemory(&text);

  // GetLastError as a procedure: the frame's own return slot is emptied again.
  tVariant params[1] = {Empty()};
  EXPECT_TRUE(language->CallAsProc(2, params, 1));
  ASSERT_EQ(params[0].vt, v8abi::VTYPE_PSTR);
  text = params[0].str.pstrVal;
  memory.FreeMemory(&text);
  EXPECT_TRUE(memory.live.empty());

  initDone->Done();
  EXPECT_EQ(library.DestroyObject(&component), 0);
}

#if !V8_ABI_WINDOWS
// `delete` on each of the three interface pointers, as the compiler makes it
// (the Itanium ABI's deleting destructor, the second position), after Done:
// the object and its block are released, which memcheck (tools/valgrind.sh)
// and the sanitizers hold to no leak and no wrong free.
TEST(Abi, DeleteOnAnInterfacePointerReleasesTheObject) {
  Library library(ZEV_ADDIN_PATH);
  ASSERT_TRUE(library.Loaded()) << library.Error();
  CountingMemory memory;
  RecordingConnection connection;
  for (const char16_t* cls : {u"TZEV_SCALE_Class", u"TZEV_SCALE_4001_Class"}) {
    for (int which = 0; which < 3; ++which) {
      void* component = nullptr;
      ASSERT_EQ(library.GetClassObject(Wide(cls).data(), &component), 1);
      auto** block = static_cast<void**>(component);
      auto* initDone = reinterpret_cast<InitDoneCpp*>(&block[0]);
      auto* language = reinterpret_cast<LanguageExtenderCpp*>(&block[1]);
      auto* locale = reinterpret_cast<LocaleCpp*>(&block[2]);
      EXPECT_TRUE(initDone->Init(static_cast<ConnectionCpp*>(&connection)));
      EXPECT_TRUE(initDone->setMemManager(static_cast<MemoryManagerCpp*>(&memory)));
      EXPECT_GT(language->GetNMethods(), 0);
      initDone->Done();
      if (which == 0) delete initDone;
      if (which == 1) delete language;
      if (which == 2) delete locale;
    }
  }
  EXPECT_TRUE(memory.live.empty());
  EXPECT_EQ(connection.errors, 0);
}
#endif

}  // namespace
}  // namespace zev::host
