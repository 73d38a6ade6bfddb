// The frame's registries and exports, linked statically with classes of the
// test's own.
#include <gtest/gtest.h>

#include <stdexcept>

#include "host.h"
#include "v8napi/v8napi.h"

namespace v8napi {
namespace {

using zev::host::Wide;

struct Probe : TV8UserObject {
  static std::unique_ptr<TV8UserObject> Create() { return std::make_unique<Probe>(); }
  bool Answer(tVariant* ret, tVariant*, int32_t count) {
    ++calls;
    lastCount = count;
    return SetVariantStr(*this, ret, "answer");
  }
  static bool Procedure(TV8UserObject& self, tVariant*, int32_t count) {
    static_cast<Probe&>(self).lastCount = count;
    return true;
  }
  static bool Accessor(TV8UserObject& self, tVariant* value, bool reading) {
    if (reading) return SetVariantInt(self, value, static_cast<Probe&>(self).property);
    static_cast<Probe&>(self).property = GetVariantInt(value);
    return true;
  }
  int calls = 0;
  int32_t lastCount = -1;
  int32_t property = 7;
};

struct Failing : TV8UserObject {
  static std::unique_ptr<TV8UserObject> Create() { throw std::runtime_error("no"); }
};

// Both classes are registered once for the whole test program.
TClassReg& ProbeClass() {
  static TClassReg& cls = []() -> TClassReg& {
    TClassReg& c = ClassRegistry().AddClass(&Probe::Create, u"ProbeComponent", u"TProbe");
    c.AddFunction(u"Answer", u"Ответ", 2, FuncHandler<Probe, &Probe::Answer>);
    c.AddFunction(u"Answer", u"Дубль", 0, FuncHandler<Probe, &Probe::Answer>);
    c.AddProcedure(u"Proc", u"Процедура", 1, &Probe::Procedure);
    c.Props.push_back(
        std::make_unique<TPropReg>(TPropReg{u"Value", u"Значение", true, true, &Probe::Accessor}));
    c.Props.push_back(
        std::make_unique<TPropReg>(TPropReg{u"Bare", u"Голое", true, false, nullptr}));
    c.PropCount = 2;
    ClassRegistry().AddClass(&Failing::Create, u"FailingComponent", u"TFailing");
    return c;
  }();
  return cls;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProbeClass();
    const auto name = Wide(u"TProbe");
    ASSERT_EQ(GetClassObject(name.data(), &block), 1);
    self = &static_cast<v8abi::InterfaceBlock*>(block)->languageExtender;
    object = static_cast<Probe*>(ObjectOf(self));
    object->MemManager = mm.Interface();
  }
  void TearDown() override {
    EXPECT_EQ(DestroyObject(&block), 0);
    EXPECT_EQ(block, nullptr);
    EXPECT_TRUE(mm.Faults().empty());
    EXPECT_EQ(mm.LiveBlocks(), 0u);
  }
  const v8abi::ILanguageExtenderBaseVtbl& L() const { return LanguageExtenderTable(); }

  zev::host::MemoryManager mm;
  void* block = nullptr;
  void* self = nullptr;
  Probe* object = nullptr;
};

TEST_F(RegistryTest, ClassNamesAreJoinedInRegistrationOrder) {
  EXPECT_EQ(zev::host::FromWide(GetClassNames()), u"TProbe|TFailing");
  EXPECT_EQ(ClassRegistry().count, 2);
}

TEST_F(RegistryTest, AFailingConstructorGivesNoComponent) {
  void* other = reinterpret_cast<void*>(0x1234);
  const auto name = Wide(u"TFailing");
  EXPECT_EQ(GetClassObject(name.data(), &other), 0);
  EXPECT_EQ(other, reinterpret_cast<void*>(0x1234));
}

TEST_F(RegistryTest, TheFirstOfTwoSameNamesIsFound) {
  EXPECT_EQ(ProbeClass().FindMethod(u"answer"), 0);
  EXPECT_EQ(ProbeClass().FindMethod(u"ДУБЛЬ"), 1);
  EXPECT_EQ(ProbeClass().MethCount, 3);
}

TEST_F(RegistryTest, CallsReachTheHandlerWithThePlatformsCount) {
  tVariant ret = zev::host::Empty();
  tVariant params[3] = {zev::host::Int(1), zev::host::Int(2), zev::host::Int(3)};
  EXPECT_TRUE(L().CallAsFunc(self, 0, &ret, params, 3));
  EXPECT_EQ(object->lastCount, 3);
  EXPECT_EQ(zev::host::Narrow(ret), "answer");
  zev::host::Clear(mm, ret);
}

TEST_F(RegistryTest, AFunctionCalledAsProcedureLeavesNoBuffer) {
  tVariant params[2] = {zev::host::Int(1), zev::host::Int(2)};
  EXPECT_TRUE(L().CallAsProc(self, 0, params, 2));
  EXPECT_EQ(object->calls, 1);
  EXPECT_EQ(mm.Allocations(), 1u);
  EXPECT_EQ(mm.LiveBlocks(), 0u);
  EXPECT_TRUE(L().CallAsProc(self, 2, params, 1));
  EXPECT_EQ(object->lastCount, 1);
  EXPECT_FALSE(L().HasRetVal(self, 2));
}

TEST_F(RegistryTest, PropertiesGoThroughTheirAccessor) {
  EXPECT_EQ(L().GetNProps(self), 2);
  EXPECT_EQ(L().FindProp(self, Wide(u"значение").data()), 0);
  tVariant v = zev::host::Double(9);
  EXPECT_TRUE(L().GetPropVal(self, 0, &v));
  EXPECT_EQ(v.vt, v8abi::VTYPE_I4);
  EXPECT_EQ(v.lVal, 7);
  tVariant in = zev::host::Int(11);
  EXPECT_TRUE(L().SetPropVal(self, 0, &in));
  EXPECT_EQ(object->property, 11);
  EXPECT_FALSE(L().GetPropVal(self, 1, &v));  // no accessor: empty and false
  EXPECT_EQ(v.vt, v8abi::VTYPE_EMPTY);
  EXPECT_FALSE(L().SetPropVal(self, 1, &in));
  EXPECT_TRUE(L().IsPropReadable(self, 1));
  EXPECT_FALSE(L().IsPropWritable(self, 1));
  const WCHAR_T* name = L().GetPropName(self, 1, 1);
  EXPECT_EQ(zev::host::FromWide(name), u"Голое");
  mm.Free(const_cast<WCHAR_T*>(name));
}

TEST_F(RegistryTest, DefaultValuesAreCopiedWhenPresent) {
  TMethReg& method = *ProbeClass().Meths[0];
  method.DefParams.Values.resize(1);
  method.DefParams.Values[0].value = zev::host::Int(5);
  tVariant v = zev::host::Double(1);
  EXPECT_TRUE(L().GetParamDefValue(self, 0, 0, &v));
  EXPECT_EQ(v.vt, v8abi::VTYPE_I4);
  EXPECT_EQ(v.lVal, 5);
  v = zev::host::Double(1);
  EXPECT_TRUE(L().GetParamDefValue(self, 0, 1, &v));
  EXPECT_EQ(v.vt, v8abi::VTYPE_EMPTY);
  method.DefParams.Values.clear();
}

TEST_F(RegistryTest, NullsAndIndexesOutOfRangeAreSafe) {
  tVariant ret = zev::host::Empty();
  EXPECT_EQ(GetClassObject(nullptr, &block), 0);
  EXPECT_EQ(GetClassObject(Wide(u"TProbe").data(), nullptr), 0);
  EXPECT_EQ(DestroyObject(nullptr), 0);
  EXPECT_EQ(L().FindMethod(self, nullptr), -1);
  EXPECT_EQ(L().FindProp(self, nullptr), -1);
  EXPECT_FALSE(L().CallAsFunc(self, 0, &ret, nullptr, 2));
  EXPECT_FALSE(L().CallAsFunc(self, 0, nullptr, nullptr, 0));
  for (long bad : {-1L, 3L, 1000L}) {
    EXPECT_FALSE(L().CallAsFunc(self, bad, &ret, nullptr, 0));
    EXPECT_FALSE(L().CallAsProc(self, bad, nullptr, 0));
    EXPECT_EQ(L().GetMethodName(self, bad, 0), nullptr);
    EXPECT_EQ(L().GetNParams(self, bad), 0);
    EXPECT_FALSE(L().HasRetVal(self, bad));
    EXPECT_FALSE(L().GetParamDefValue(self, bad, 0, &ret));
    EXPECT_EQ(L().GetPropName(self, bad, 0), nullptr);
    EXPECT_FALSE(L().GetPropVal(self, bad, &ret));
    EXPECT_FALSE(L().IsPropReadable(self, bad));
  }
  EXPECT_EQ(object->calls, 0);
}

}  // namespace
}  // namespace v8napi
