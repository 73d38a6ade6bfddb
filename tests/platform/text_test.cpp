#include <gtest/gtest.h>

#include <thread>

#include "zev/platform/locale.h"
#include "zev/platform/text.h"

#if !defined(_WIN32)
#include <locale.h>
#endif

namespace zev::platform {
namespace {

TEST(Cp1251, EveryByteRoundTripsThroughUtf16) {
  for (int b = 1; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::u16string wide = Cp1251ToUtf16(one);
    ASSERT_EQ(wide.size(), 1u) << b;
    if (b == 0x98) {
      EXPECT_EQ(wide, u"?");  // the one unused byte of the code page
    } else {
      EXPECT_EQ(Utf16ToCp1251(wide), one) << b;
    }
  }
}

TEST(Cp1251, RussianTextAndMissingCharacters) {
  EXPECT_EQ(Utf16ToCp1251(u"Ёж ёж АЯая"), "\xA8\xE6 \xB8\xE6 \xC0\xDF\xE0\xFF");
  EXPECT_EQ(Utf16ToCp1251(u"€№"), "\x88\xB9");
  EXPECT_EQ(Utf16ToCp1251(u"日本"), "??");
  EXPECT_EQ(Utf16ToCp1251(u"\U0001F600x"), "?x");  // one character, one '?'
}

TEST(Utf8, RoundTripsAndRepairsMalformedInput) {
  const std::string text = "Весы ZEV-У € \xF0\x9F\x98\x80";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(text)), text);
  EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(Cp1251ToUtf8("\xCF\xEE\xF0\xF2"), "Порт");
}

TEST(SameName, IgnoresCaseOfLatinAndCyrillicOnly) {
  struct Case {
    std::u16string a, b;
    bool same;
  } cases[] = {
      {u"GetWeight", u"getweight", true},
      {u"GetWeight", u"GETWEIGHT", true},
      {u"ПолучитьВес", u"получитьвес", true},
      {u"ПолучитьВес", u"ПОЛУЧИТЬВЕС", true},
      {u"Ёлка", u"ёЛКА", true},
      {u"Ђ", u"ђ", true},
      {u"GetWeight", u"Get Weight", false},
      {u"GetWeight", u"GetWeigh", false},
      {u"Вес", u"Bec", false},  // Cyrillic and Latin look-alikes differ
      {u"", u"", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameName(c.a, c.b), c.same) << Utf16ToUtf8(c.a) << " / " << Utf16ToUtf8(c.b);
  }
}

TEST(ParseInteger, FollowsTheIntegerSyntax) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {
      {"42", 42},
      {"  42", 42},
      {"42 ", std::nullopt},
      {"+7", 7},
      {"-300", -300},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"$FF", 255},
      {"0x1f", 31},
      {"X10", 16},
      {"$FFFFFFFF", -1},
      {"$123456789", std::nullopt},
      {"0x", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"1.5", std::nullopt},
      {"12a", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseInteger(c.text), c.value) << c.text;
}

TEST(ParseDecimal, FollowsTheDecimalSyntaxWithTheGivenSeparator) {
  struct Case {
    const char* text;
    char separator;
    std::optional<double> value;
  } cases[] = {
      {"42", '.', 42.0},          {" 42 ", '.', 42.0},
      {"1,5", ',', 1.5},          {"1.5", ',', std::nullopt},
      {"1.5", '.', 1.5},          {"-0,500", ',', -0.5},
      {"+2e3", '.', 2000.0},      {"2,5E-1", ',', 0.25},
      {"1e", '.', std::nullopt},  {"", '.', std::nullopt},
      {"  ", '.', std::nullopt},  {"1.2.3", '.', std::nullopt},
      {".5", '.', 0.5},           {"5.", '.', 5.0},
      {".", '.', std::nullopt},   {"1e999", '.', std::nullopt},
      {"inf", '.', std::nullopt}, {"0x10", '.', std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDecimal(c.text, c.separator), c.value) << c.text;
}

#if !defined(_WIN32)
// Each thread sees the separator of its own locale, however often the other
// thread asks for its own.
TEST(DecimalSeparator, IsTheCallingThreadsOwn) {
  const locale_t locales[] = {newlocale(LC_ALL_MASK, "C", nullptr),
                              newlocale(LC_ALL_MASK, "ru_RU.UTF-8", nullptr)};
  ASSERT_NE(locales[1], nullptr) << "the ru_RU.UTF-8 locale must be installed";
  const char expected[] = {'.', ','};
  int wrong[2] = {0, 0};
  std::thread threads[2];
  for (int i = 0; i < 2; ++i) {
    threads[i] = std::thread([&, i] {
      uselocale(locales[i]);
      for (int n = 0; n < 1000000; ++n) wrong[i] += DecimalSeparator() != expected[i];
      uselocale(LC_GLOBAL_LOCALE);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong[0], 0);
  EXPECT_EQ(wrong[1], 0);
  for (locale_t l : locales) freelocale(l);
}
#endif

}  // namespace
}  // namespace zev::platform
