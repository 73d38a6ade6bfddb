// The built add-in, driven through its exports and tables as the platform does.
#include <gtest/gtest.h>

#include "host.h"

namespace zev::host {
namespace {

class AddinTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library.Loaded()) << library.Error(); }
  void TearDown() override {
    EXPECT_TRUE(mm.Faults().empty()) << mm.Faults().front();
    EXPECT_EQ(mm.LiveBlocks(), 0u);
  }
  Library library{ZEV_ADDIN_PATH};
  MemoryManager mm;
  Connection connection;
};

TEST_F(AddinTest, ListsTheDriverClassAndAnswersCapabilities) {
  EXPECT_EQ(library.ClassNames(), u"TZEV_SCALE_Class|TZEV_SCALE_4001_Class");
  for (int capability : {0, 1, 2, -1, 1 << 30}) {
    EXPECT_EQ(library.SetPlatformCapabilities(capability), 1);
  }
}

TEST_F(AddinTest, OnlyTheExactClassNameMakesAComponent) {
  for (const char16_t* name : {u"tzev_scale_class", u"ZEVScale", u"", u"TZEV_SCALE_Class "}) {
    void* component = reinterpret_cast<void*>(0x42);
    EXPECT_EQ(library.GetClassObject(Wide(name).data(), &component), 0);
    EXPECT_EQ(component, reinterpret_cast<void*>(0x42));
  }
  EXPECT_EQ(library.GetClassObject(nullptr, nullptr), 0);
}

TEST_F(AddinTest, InterfaceBlockLayout) {
  void* first = nullptr;
  void* second = nullptr;
  ASSERT_EQ(library.GetClassObject(Wide(u"TZEV_SCALE_Class").data(), &first), 1);
  ASSERT_EQ(library.GetClassObject(Wide(u"TZEV_SCALE_Class").data(), &second), 1);
  EXPECT_NE(first, second);
  auto* words = static_cast<void**>(first);
  EXPECT_EQ(words[3], nullptr);
  EXPECT_NE(words[4], nullptr);
  EXPECT_EQ(words[4], words[5]);
  EXPECT_EQ(words[4], words[6]);
  EXPECT_NE(words[4], static_cast<void**>(second)[4]);
  EXPECT_EQ(library.DestroyObject(&first), 0);
  EXPECT_EQ(first, nullptr);
  EXPECT_EQ(library.DestroyObject(&first), 0);  // null: nothing happens
  EXPECT_EQ(library.DestroyObject(&second), 0);
  EXPECT_EQ(library.DestroyObject(nullptr), 0);
}

// A host of C++ interface pointers: Init and setMemManager only, wide texts,
// Done and `delete` through any of the three interfaces, for both classes.
TEST_F(AddinTest, AnObjectEndsWithDeleteThroughAnyOfItsInterfaces) {
  for (const char16_t* cls : {u"TZEV_SCALE_Class", u"TZEV_SCALE_4001_Class"}) {
    for (Via via : {Via::InitDone, Via::LanguageExtender, Via::Locale}) {
      Component c(library, mm, &connection, cls, DeletingHost{via});
      ASSERT_TRUE(c.Valid());
      zev::host::Call set(c, mm, u"SetParameter", {WStr(mm, u"Model"), WStr(mm, u"ZEV-AW")});
      EXPECT_TRUE(set.Succeeded());
      zev::host::Call version(c, mm, u"GetVersion", {});
      EXPECT_TRUE(version.ok);
    }
  }
  EXPECT_TRUE(connection.Errors.empty());
}

// The destructor that frees nothing (an explicit destructor call) leaves the
// object answering; DestroyObject releases it afterwards.
TEST_F(AddinTest, TheDestructorThatFreesNothingLeavesTheObject) {
  Component c(library, mm, &connection);
  ASSERT_TRUE(c.Valid());
  for (Via via : {Via::InitDone, Via::LanguageExtender, Via::Locale}) {
    DestructThrough(c.Self(via));
    EXPECT_EQ(c.InitDone().GetInfo(c.InitDoneSelf()), 2000);
    zev::host::Call version(c, mm, u"GetVersion", {});
    EXPECT_TRUE(version.ok);
    EXPECT_EQ(zev::host::Narrow(version.ret), ZEV_PRODUCT_VERSION);
  }
}

TEST_F(AddinTest, InitialisationSlots) {
  Component c(library, mm, &connection, u"TZEV_SCALE_Class", false);
  ASSERT_TRUE(c.Valid());
  EXPECT_TRUE(c.InitDone().setMemManager(c.InitDoneSelf(), mm.Interface()));
  EXPECT_TRUE(c.InitDone().Init(c.InitDoneSelf(), connection.Interface()));
  EXPECT_EQ(c.InitDone().GetInfo(c.InitDoneSelf()), 2000);
  c.Locale().SetLocale(c.LocaleSelf(), Wide(u"ru_RU").data());
  c.Locale().SetLocale(c.LocaleSelf(), Wide(u"en_US").data());
  c.Locale().SetLocale(c.LocaleSelf(), nullptr);
  c.InitDone().Done(c.InitDoneSelf());
  EXPECT_EQ(c.Language().GetNMethods(c.LanguageSelf()), 13);
  EXPECT_EQ(c.ExtensionName(), u"ZEVScale");
}

TEST_F(AddinTest, EveryTableReachesTheSameObject) {
  Component c(library, mm, &connection);
  ASSERT_TRUE(c.Valid());
  // A locale slot called through the block's third pointer must find the
  // object that the first and second pointers find: names still resolve.
  c.Locale().SetLocale(c.LocaleSelf(), Wide(u"ru").data());
  EXPECT_EQ(c.InitDone().GetInfo(c.InitDoneSelf()), 2000);
  EXPECT_EQ(c.FindMethod(u"GetWeight"), 11);
}

TEST_F(AddinTest, MethodsAreFoundByEitherNameInAnyCase) {
  Component c(library, mm, &connection);
  ASSERT_TRUE(c.Valid());
  struct Case {
    const char16_t* name;
    long index;
  } cases[] = {
      {u"GetWeight", 11},
      {u"ПолучитьВес", 11},
      {u"getweight", 11},
      {u"ПОЛУЧИТЬВЕС", 11},
      {u"получитьвес", 11},
      {u"Get Weight", -1},
      {u"Zeroing", 12},
      {u"УстановитьНулевойВес", 12},
      {u"Calibrate", 10},
      {u"УстановитьВесТары", 10},
      {u"GetVersion", 0},
      {u"ПолучитьОписание", 1},
      {u"", -1},
      {u"NoSuchMethod", -1},
  };
  for (const auto& k : cases) {
    const long found = c.FindMethod(k.name);
    EXPECT_EQ(found, k.index);
  }
  EXPECT_EQ(c.Language().FindMethod(c.LanguageSelf(), nullptr), -1);
  EXPECT_EQ(c.Language().GetNProps(c.LanguageSelf()), 0);
  EXPECT_EQ(c.Language().FindProp(c.LanguageSelf(), Wide(u"GetWeight").data()), -1);
}

TEST_F(AddinTest, MethodTable) {
  Component c(library, mm, &connection);
  ASSERT_TRUE(c.Valid());
  struct Row {
    const char16_t* eng;
    const char16_t* rus;
    long params;
  } rows[] = {
      {u"GetVersion", u"ПолучитьНомерВерсии", 0},
      {u"GetDescription", u"ПолучитьОписание", 7},
      {u"GetLastError", u"ПолучитьОшибку", 1},
      {u"GetParameters", u"ПолучитьПараметры", 1},
      {u"SetParameter", u"УстановитьПараметр", 2},
      {u"Open", u"Подключить", 1},
      {u"Close", u"Отключить", 1},
      {u"DeviceTest", u"ТестУстройства", 2},
      {u"GetAdditionalActions", u"ПолучитьДополнительныеДействия", 1},
      {u"DoAdditionalAction", u"ВыполнитьДополнительноеДействие", 1},
      {u"Calibrate", u"УстановитьВесТары", 2},
      {u"GetWeight", u"ПолучитьВес", 2},
      {u"Zeroing", u"УстановитьНулевойВес", 0},
  };
  for (long i = 0; i < 13; ++i) {
    EXPECT_EQ(c.MethodName(i, 0), rows[i].eng);
    EXPECT_EQ(c.MethodName(i, 1), rows[i].rus);
    EXPECT_EQ(c.MethodName(i, -7), rows[i].rus);
    EXPECT_EQ(c.Language().GetNParams(c.LanguageSelf(), i), rows[i].params);
    EXPECT_TRUE(c.Language().HasRetVal(c.LanguageSelf(), i));
    for (long p = -1; p < 8; ++p) {
      tVariant v = Int(3);
      EXPECT_TRUE(c.Language().GetParamDefValue(c.LanguageSelf(), i, p, &v));
      EXPECT_EQ(v.vt, v8abi::VTYPE_EMPTY);
    }
  }
  EXPECT_EQ(c.Language().GetMethodName(c.LanguageSelf(), 13, 0), nullptr);
  EXPECT_EQ(c.Language().GetMethodName(c.LanguageSelf(), -1, 0), nullptr);
  EXPECT_EQ(c.Language().GetNParams(c.LanguageSelf(), 13), 0);
}

TEST_F(AddinTest, NamesNeedAMemoryManager) {
  Component c(library, mm, &connection, u"TZEV_SCALE_Class", false);
  ASSERT_TRUE(c.Valid());
  WCHAR_T* name = reinterpret_cast<WCHAR_T*>(0x1);
  EXPECT_TRUE(c.Language().RegisterExtensionAs(c.LanguageSelf(), &name));
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(c.Language().GetMethodName(c.LanguageSelf(), 0, 0), nullptr);

  c.InitDone().setMemManager(c.InitDoneSelf(), mm.Interface());
  mm.RefuseNth(1);
  name = reinterpret_cast<WCHAR_T*>(0x1);
  EXPECT_TRUE(c.Language().RegisterExtensionAs(c.LanguageSelf(), &name));
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(c.ExtensionName(), u"ZEVScale");
  EXPECT_EQ(mm.Refusals(), 1u);
}

TEST_F(AddinTest, FunctionsCalledAsProceduresLeaveNothingBehind) {
  Component c(library, mm, &connection);
  ASSERT_TRUE(c.Valid());
  std::vector<tVariant> none;
  EXPECT_TRUE(c.Language().CallAsProc(c.LanguageSelf(), 0, nullptr, 0));  // GetVersion
  std::vector<tVariant> one = {Empty()};
  EXPECT_TRUE(c.Language().CallAsProc(c.LanguageSelf(), 3, one.data(), 1));  // GetParameters
  EXPECT_NE(Narrow(one[0]).find("<Settings>"), std::string::npos);
  Clear(mm, one[0]);
  EXPECT_GE(mm.Allocations(), 2u);
}

}  // namespace
}  // namespace zev::host
