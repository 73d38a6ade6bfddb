// Platform values: readers, setters and copies, with the host's memory manager.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <vector>

#include "host.h"
#include "v8napi/v8napi.h"

namespace v8napi {
namespace {

using zev::host::MemoryManager;

// An interface of the platform's that counts its releases.
struct Counted {
  const v8abi::IUnknownLikeVtbl* vtbl;
  int releases;
  static unsigned long V8_CALL Release(v8abi::IUnknownLike* self) {
    return static_cast<unsigned long>(++reinterpret_cast<Counted*>(self)->releases);
  }
};

class ValuesTest : public ::testing::Test {
 protected:
  ValuesTest() { object.MemManager = mm.Interface(); }
  ~ValuesTest() override {
    EXPECT_TRUE(mm.Faults().empty()) << mm.Faults().front();
    EXPECT_EQ(mm.LiveBlocks(), 0u);
  }

  MemoryManager mm;
  TV8UserObject object;
};

TEST_F(ValuesTest, NumberReadersFollowTheTag) {
  struct Case {
    tVariant value;
    int32_t asInt;
    double asDouble;
  };
  tVariant i2 = zev::host::Empty();
  i2.vt = v8abi::VTYPE_I2;
  i2.shortVal = -300;
  tVariant r4 = zev::host::Empty();
  r4.vt = v8abi::VTYPE_R4;
  r4.fltVal = 3.9f;
  tVariant date = zev::host::Empty();
  date.vt = v8abi::VTYPE_DATE;
  date.date = 45000.75;
  tVariant err = zev::host::Empty();
  err.vt = v8abi::VTYPE_ERROR;
  err.errCode = -5;
  tVariant ui1 = zev::host::Empty();
  ui1.vt = v8abi::VTYPE_UI1;
  ui1.ui8Val = 200;
  tVariant highBits = zev::host::Int(7);
  highBits.vt = 0x1000 | v8abi::VTYPE_I4;  // only the low 12 bits are the tag
  const Case cases[] = {
      {i2, -300, -300.0},
      {zev::host::Int(42), 42, 42.0},
      {r4, 3, static_cast<double>(3.9f)},
      {zev::host::Double(-2.7), -2, -2.7},
      {zev::host::Double(4294967296.0 + 5), 5, 4294967301.0},  // low 32 bits
      {date, 45000, 45000.75},
      {err, -5, -5.0},
      {ui1, 200, 200.0},
      {zev::host::Bool(true), 0, 0.0},
      {zev::host::Empty(), 0, 0.0},
      {highBits, 7, 7.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetVariantInt(&c.value), c.asInt) << c.value.vt;
    EXPECT_DOUBLE_EQ(GetVariantDouble(&c.value), c.asDouble) << c.value.vt;
  }
}

TEST_F(ValuesTest, WideTextIsParsedNarrowTextIsNot) {
  struct Case {
    const char16_t* text;
    int32_t asInt;
    double asDouble;
  } cases[] = {
      {u"42", 42, 42.0}, {u"  42", 42, 42.0}, {u"42 ", 0, 42.0}, {u"$10", 16, 0.0},
      {u"abc", 0, 0.0},  {u"", 0, 0.0},       {u"1.5", 0, 1.5},  // the C locale's separator is a
                                                                 // full stop
  };
  for (const auto& c : cases) {
    tVariant v = zev::host::WStr(mm, c.text);
    EXPECT_EQ(GetVariantInt(&v), c.asInt);
    EXPECT_DOUBLE_EQ(GetVariantDouble(&v), c.asDouble);
    zev::host::Clear(mm, v);
  }
  tVariant narrow = zev::host::PStr(mm, "12");
  EXPECT_EQ(GetVariantInt(&narrow), 0);
  EXPECT_EQ(GetVariantDouble(&narrow), 0.0);
  EXPECT_EQ(GetVariantStr(&narrow), "12");
  zev::host::Clear(mm, narrow);
}

#if !defined(_WIN32)
// On Windows the separator is the user locale's, which the test cannot change.
TEST_F(ValuesTest, DecimalTextUsesTheRegionalSeparator) {
  if (std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") == nullptr) {
    GTEST_SKIP() << "the ru_RU.UTF-8 locale is not installed";
  }
  tVariant comma = zev::host::WStr(mm, u"1,5");
  tVariant point = zev::host::WStr(mm, u"1.5");
  EXPECT_DOUBLE_EQ(GetVariantDouble(&comma), 1.5);
  EXPECT_DOUBLE_EQ(GetVariantDouble(&point), 0.0);
  std::setlocale(LC_NUMERIC, "C");
  zev::host::Clear(mm, comma);
  zev::host::Clear(mm, point);
}
#endif

TEST_F(ValuesTest, StringReader) {
  tVariant wide = zev::host::WStr(mm, u"Весы");
  EXPECT_EQ(GetVariantStr(&wide), "\xC2\xE5\xF1\xFB");
  wide.wstr.wstrLen = 2;  // the length counts for wide text
  EXPECT_EQ(GetVariantStr(&wide), "\xC2\xE5");
  zev::host::Clear(mm, wide);
  tVariant number = zev::host::Int(3);
  EXPECT_EQ(GetVariantStr(&number), "");
  tVariant nullText = zev::host::Empty();
  nullText.vt = v8abi::VTYPE_PSTR;
  EXPECT_EQ(GetVariantStr(&nullText), "");
}

// The platform's texts need no terminator: each buffer below holds exactly
// its units, so a read past the value's length is a heap overflow.
TEST_F(ValuesTest, TextsAreReadUpToTheirLengthOrAnEarlierNul) {
  struct Case {
    std::u16string units;
    uint32_t length;
    int32_t asInt;
    double asDouble;
    std::string wideText;  // a wide text is taken whole, a narrow one up to a NUL
    std::string narrowText;
  } cases[] = {
      {u"123", 2, 12, 12.0, "12", "12"},
      {u"12", 2, 12, 12.0, "12", "12"},
      {std::u16string(u"4\0"
                      u"5",
                      3),
       3, 4, 4.0,
       std::string("4\0"
                   "5",
                   3),
       "4"},
      {u"2.5", 3, 0, 2.5, "2.5", "2.5"},
      {u"7", 0, 0, 0.0, "", ""},
  };
  for (const auto& c : cases) {
    std::vector<WCHAR_T> wide(c.units.begin(), c.units.end());
    tVariant w = zev::host::Empty();
    w.vt = v8abi::VTYPE_PWSTR;
    w.wstr.pwstrVal = wide.data();
    w.wstr.wstrLen = c.length;
    EXPECT_EQ(GetVariantInt(&w), c.asInt);
    EXPECT_DOUBLE_EQ(GetVariantDouble(&w), c.asDouble);
    EXPECT_EQ(GetVariantStr(&w), c.wideText);

    std::vector<char> narrow(c.units.begin(), c.units.end());
    tVariant n = zev::host::Empty();
    n.vt = v8abi::VTYPE_PSTR;
    n.str.pstrVal = narrow.data();
    n.str.strLen = c.length;
    EXPECT_EQ(GetVariantStr(&n), c.narrowText);

    // A copy is a terminated text of the value's length.
    for (tVariant* source : {&w, &n}) {
      tVariant copy = zev::host::Empty();
      CopyVariant(object, source, &copy);
      EXPECT_EQ(GetVariantStr(&copy), source == &w ? c.wideText : c.narrowText);
      if (source == &w) {
        EXPECT_EQ(copy.wstr.pwstrVal[c.length], 0);
      } else {
        EXPECT_EQ(copy.str.pstrVal[c.length], '\0');
      }
      ClearVariant(object, &copy);
    }
  }
}

TEST_F(ValuesTest, SettersGiveThePreviousBufferBackOnce) {
  tVariant v = zev::host::WStr(mm, u"string of the platform");
  ASSERT_EQ(mm.LiveBlocks(), 1u);
  EXPECT_TRUE(SetVariantInt(object, &v, 5));
  EXPECT_EQ(mm.LiveBlocks(), 0u);
  EXPECT_EQ(mm.Frees(), 1u);
  EXPECT_EQ(v.vt, v8abi::VTYPE_I4);
  EXPECT_EQ(v.lVal, 5);

  EXPECT_TRUE(SetVariantStr(object, &v, ""));
  EXPECT_EQ(v.vt, v8abi::VTYPE_PSTR);
  EXPECT_EQ(v.str.strLen, 0u);
  ASSERT_TRUE(mm.Owns(v.str.pstrVal));
  EXPECT_EQ(v.str.pstrVal[0], '\0');

  EXPECT_TRUE(SetVariantStr(object, &v, "abc"));
  EXPECT_EQ(zev::host::Narrow(v), "abc");
  EXPECT_EQ(mm.LiveBlocks(), 1u);
  EXPECT_TRUE(SetVariantDouble(object, &v, 0.5));
  EXPECT_EQ(v.dblVal, 0.5);
  EXPECT_TRUE(SetVariantBool(object, &v, true));
  EXPECT_EQ(v.vt, v8abi::VTYPE_BOOL);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&v)[0], 1);
  EXPECT_EQ(mm.LiveBlocks(), 0u);

  EXPECT_TRUE(SetVariantPChar(object, &v, nullptr));  // null text: untouched
  EXPECT_EQ(v.vt, v8abi::VTYPE_BOOL);
}

TEST_F(ValuesTest, RefusedAllocationLeavesAnEmptyStringAndReturnsFalse) {
  tVariant v = zev::host::Int(1);
  mm.RefuseNth(1);
  EXPECT_FALSE(SetVariantStr(object, &v, "text"));
  EXPECT_EQ(v.vt, v8abi::VTYPE_PSTR);
  EXPECT_EQ(v.str.strLen, 0u);
  EXPECT_EQ(v.str.pstrVal, nullptr);
  const unsigned char bytes[] = {1, 2, 3};
  mm.RefuseNth(1);
  EXPECT_FALSE(SetVariantBlob(object, &v, bytes, 3));
  EXPECT_EQ(v.vt, v8abi::VTYPE_BLOB);
  EXPECT_EQ(v.str.strLen, 0u);
}

TEST_F(ValuesTest, WithoutMemoryManagerSettersLeaveTheValue) {
  object.MemManager = nullptr;
  tVariant v = zev::host::WStr(mm, u"kept");
  EXPECT_FALSE(SetVariantStr(object, &v, "x"));
  EXPECT_FALSE(SetVariantInt(object, &v, 1));
  EXPECT_FALSE(SetVariantDouble(object, &v, 1));
  EXPECT_FALSE(SetVariantBool(object, &v, true));
  EXPECT_EQ(v.vt, v8abi::VTYPE_PWSTR);
  EXPECT_EQ(AllocWideCopy(object, u"name"), nullptr);
  zev::host::Clear(mm, v);
}

TEST_F(ValuesTest, AManagerWithoutItsTableOrSlotsIsNeverCalled) {
  const v8abi::IMemoryManagerVtbl noFree = {{}, mm.Interface()->vtbl->AllocMemory, nullptr};
  const v8abi::IMemoryManagerVtbl noAlloc = {{}, nullptr, mm.Interface()->vtbl->FreeMemory};
  struct Case {
    const char* what;
    const v8abi::IMemoryManagerVtbl* table;
  } cases[] = {{"no table", nullptr}, {"no FreeMemory", &noFree}, {"no AllocMemory", &noAlloc}};
  for (const auto& c : cases) {
    v8abi::IMemoryManager broken{c.table};
    object.MemManager = &broken;
    tVariant v = zev::host::WStr(mm, u"kept");
    void* const block = v.wstr.pwstrVal;
    EXPECT_FALSE(SetVariantStr(object, &v, "x")) << c.what;
    EXPECT_FALSE(SetVariantBool(object, &v, true)) << c.what;
    EXPECT_EQ(v.wstr.pwstrVal, block) << c.what;
    EXPECT_EQ(AllocWideCopy(object, u"name"), nullptr) << c.what;
    ClearVariant(object, &v);  // cannot give the block back, and must not try
    EXPECT_EQ(v.vt, v8abi::VTYPE_EMPTY) << c.what;
    mm.Free(block);
  }
  object.MemManager = mm.Interface();
}

TEST_F(ValuesTest, BlobAndCopies) {
  const unsigned char bytes[] = {0, 1, 2, 0xFF};
  tVariant blob = zev::host::Empty();
  ASSERT_TRUE(SetVariantBlob(object, &blob, bytes, sizeof bytes));
  EXPECT_EQ(blob.str.strLen, 4u);
  tVariant copy = zev::host::Empty();
  CopyVariant(object, &blob, &copy);
  ASSERT_NE(copy.str.pstrVal, blob.str.pstrVal);
  EXPECT_EQ(std::memcmp(copy.str.pstrVal, bytes, 4), 0);
  EXPECT_EQ(mm.LiveBlocks(), 2u);

  tVariant wide = zev::host::WStr(mm, u"Вес");
  tVariant wideCopy = zev::host::Empty();
  CopyVariant(object, &wide, &wideCopy);
  ASSERT_NE(wideCopy.wstr.pwstrVal, wide.wstr.pwstrVal);
  EXPECT_EQ(zev::host::FromWide(wideCopy.wstr.pwstrVal), u"Вес");

  tVariant number = zev::host::Double(2.5);
  tVariant numberCopy = zev::host::Empty();
  CopyVariant(object, &number, &numberCopy);
  EXPECT_EQ(std::memcmp(&number, &numberCopy, sizeof number), 0);

  // A refused copy never shares the source's buffer.
  tVariant refused = zev::host::Empty();
  mm.RefuseNth(1);
  CopyVariant(object, &blob, &refused);
  EXPECT_EQ(refused.vt, v8abi::VTYPE_EMPTY);
  EXPECT_EQ(refused.str.pstrVal, nullptr);

  for (tVariant* v : {&blob, &copy, &wide, &wideCopy}) ClearVariant(object, v);
}

TEST_F(ValuesTest, ClearingAnInterfaceReleasesItOnce) {
  static const v8abi::IUnknownLikeVtbl table = {nullptr, nullptr, &Counted::Release};
  Counted counted{&table, 0};
  tVariant v = zev::host::Empty();
  v.vt = v8abi::VTYPE_INTERFACE;
  v.iface.pInterfaceVal = &counted;
  ClearVariant(object, &v);
  EXPECT_EQ(counted.releases, 1);
  EXPECT_EQ(v.vt, v8abi::VTYPE_EMPTY);
  ClearVariant(object, &v);
  EXPECT_EQ(counted.releases, 1);
}

TEST_F(ValuesTest, WideCopiesComeFromThePlatform) {
  WCHAR_T* copy = AllocWideCopy(object, u"ZEVScale");
  ASSERT_TRUE(mm.Owns(copy));
  EXPECT_EQ(zev::host::FromWide(copy), u"ZEVScale");
  mm.Free(copy);
  mm.RefuseNth(1);
  EXPECT_EQ(AllocWideCopy(object, u"x"), nullptr);
}

}  // namespace
}  // namespace v8napi
