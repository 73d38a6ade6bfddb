// The driver's methods that need no scale: identity, settings, last error and
// the failures that happen before the line is used.
#include "driver_fixture.h"

namespace zev::e2e {
namespace {

std::string Page(const std::string& model, const std::string& port) {
  std::string items;
  for (int n = 1; n <= 8; ++n) {
    items += "<Item Value=\"" + std::to_string(n) + "\">COM" + std::to_string(n) + "</Item>";
  }
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><Settings><Page Caption=\"Параметры\">"
         "<Group Caption=\"Параметры подключения\"><Parameter Name=\"Model\" Caption=\"Модель\" "
         "TypeValue=\"String\" DefaultValue=\"" +
         model +
         "\"><ChoiceList><Item Value=\"ZEV-U\">Весы: ZEV-У</Item><Item Value=\"ZEV-AW\">Весы: "
         "ZEV-AW</Item><Item Value=\"ZEV-NT(N)\">Весы: ZEV-NT(N)</Item></ChoiceList></Parameter>"
         "<Parameter Name=\"Port\" Caption=\"Порт\" TypeValue=\"Number\" DefaultValue=\"" +
         port + "\"><ChoiceList>" + items + "</ChoiceList></Parameter></Group></Page></Settings>";
}

using platform::Utf8ToCp1251;

TEST_F(DriverTest, VersionAndDescription) {
  auto version = Run(u"GetVersion");
  EXPECT_TRUE(version->ok);
  EXPECT_EQ(host::Narrow(version->ret), ZEV_PRODUCT_VERSION);

  std::vector<tVariant> seven(7, host::Empty());
  seven[0] = W("caller's string");  // a platform string is given back, not leaked
  auto description = Run(u"ПолучитьОписание", seven);
  EXPECT_TRUE(description->ok);
  EXPECT_TRUE(description->Flag());
  EXPECT_EQ(description->Bytes(0), Utf8ToCp1251("1С: Драйвер для весов ZEV (версия 2)"));
  EXPECT_EQ(description->Bytes(1),
            Utf8ToCp1251("Драйвер выполнен по технологии NativeAPI и предназначен для весов "
                         "ZEV-У, ZEV-AW, ZEV-NT(N) с интерфейсом RS-232"));
  EXPECT_EQ(description->Bytes(2), Utf8ToCp1251("ЭлектронныеВесы"));
  EXPECT_EQ(description->params[3].vt, v8abi::VTYPE_I4);
  EXPECT_EQ(description->params[3].lVal, 1005);
  EXPECT_EQ(description->params[4].vt, v8abi::VTYPE_BOOL);
  EXPECT_FALSE(description->params[4].bVal);
  EXPECT_TRUE(description->params[5].bVal);
  EXPECT_FALSE(description->Text(6).empty());

  auto six = Run(u"GetDescription", std::vector<tVariant>(6, host::Int(9)));
  EXPECT_TRUE(six->ok);
  EXPECT_FALSE(six->Flag());
  for (const auto& p : six->params) EXPECT_EQ(p.lVal, 9);
}

TEST_F(DriverTest, AFreshObjectHasNoErrorAndAnEmptyModel) {
  EXPECT_EQ(LastError(), std::make_pair(0, std::string()));
  auto page = Run(u"GetParameters", {host::Empty()});
  EXPECT_TRUE(page->ok);
  EXPECT_TRUE(page->Flag());
  EXPECT_EQ(page->Bytes(0), Utf8ToCp1251(Page("", "0")));
}

TEST_F(DriverTest, SettingsOrderAndValues) {
  struct Step {
    const char* name;
    tVariant (*value)(DriverTest&);
    const char* model;
    const char* port;
  };
  const Step steps[] = {
      {"Model", [](DriverTest& t) { return t.W("ZEV-AW"); }, "ZEV-AW", "1"},
      {"Port", [](DriverTest&) { return host::Int(3); }, "ZEV-AW", "3"},
      {"Model", [](DriverTest& t) { return t.W("ZEV-U"); }, "ZEV-U", "1"},       // resets the port
      {"Port", [](DriverTest&) { return host::Int(257); }, "ZEV-U", "1"},        // low 8 bits
      {"Port", [](DriverTest&) { return host::Int(9); }, "ZEV-U", "9"},          // no range check
      {"Port", [](DriverTest& t) { return t.W("12"); }, "ZEV-U", "12"},          // wide text read
      {"model", [](DriverTest& t) { return t.W("ZEV-NT(N)"); }, "ZEV-U", "12"},  // names exact
      {"Speed", [](DriverTest&) { return host::Int(1); }, "ZEV-U", "12"},
      {"Model", [](DriverTest& t) { return t.W("A&B \"<x>\" 'y'"); },
       "A&amp;B &quot;&lt;x&gt;&quot; &apos;y&apos;", "1"},
      {"Model", [](DriverTest& t) { return host::PStr(t.mm, "ZEV-NT(N)"); }, "ZEV-NT(N)", "1"},
      // What XML 1.0 does not allow becomes "?"; so does what Windows-1251 lacks.
      {"Model",
       [](DriverTest& t) {
         const char16_t units[] = {u'A', 0, u'B', 1, u'\t', u'C', 0xD800, 0xFFFE, 0xD83D, 0xDE00};
         return host::WStr(t.mm, std::u16string_view(units, std::size(units)));
       },
       "A?B?\tC???", "1"},
      {"Model", [](DriverTest&) { return host::Int(5); }, "", "1"},
  };
  for (const auto& step : steps) {
    auto set = Run(u"SetParameter", {W(step.name), step.value(*this)});
    EXPECT_TRUE(set->ok) << step.name;
    EXPECT_TRUE(set->Flag());
    auto page = Run(u"GetParameters", {host::Empty()});
    EXPECT_EQ(page->Bytes(0), Utf8ToCp1251(Page(step.model, step.port))) << step.name;
  }
  auto wrong = Run(u"УстановитьПараметр", {W("Port")});
  EXPECT_FALSE(wrong->ok);
  EXPECT_FALSE(wrong->Flag());
  EXPECT_EQ(LastError(), std::make_pair(0, std::string()));
}

TEST_F(DriverTest, AdditionalActions) {
  auto list = Run(u"GetAdditionalActions", {host::Int(1)});
  EXPECT_TRUE(list->ok);
  EXPECT_TRUE(list->Flag());
  EXPECT_EQ(list->params[0].vt, v8abi::VTYPE_PSTR);
  EXPECT_EQ(list->Bytes(0), "");
  auto action = Run(u"ВыполнитьДополнительноеДействие", {W("anything")});
  EXPECT_TRUE(action->ok);
  EXPECT_TRUE(action->Flag());
  auto none = Run(u"DoAdditionalAction");
  EXPECT_FALSE(none->ok);
  EXPECT_FALSE(none->Flag());
}

TEST_F(DriverTest, AModelThatIsNoneOfTheThree) {
  Configure("zev-u", 3);  // model names are case-sensitive
  for (const char16_t* method : {u"Open", u"Close"}) {
    auto call = Run(method, {host::Empty()});
    EXPECT_FALSE(call->ok);
    EXPECT_FALSE(call->Flag());
    EXPECT_EQ(LastError(), std::make_pair(1001, std::string()));
  }
  auto zero = Run(u"Zeroing");
  EXPECT_FALSE(zero->ok);
  EXPECT_EQ(LastError().first, 1001);
}

TEST_F(DriverTest, AnOpenThatFailsStillHandsOutTheIdentifier) {
  Configure("ZEV-U", 7);  // COM7 is mapped to nothing
  auto open = Run(u"Подключить", {host::Empty()});
  EXPECT_TRUE(open->ok);
  EXPECT_FALSE(open->Flag());
  EXPECT_EQ(open->Text(0), "NoDeviceID");
  EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Порт недоступен")));
  // The table stayed empty: the identifier is refused.
  auto weigh = Run(u"GetWeight", {W("NoDeviceID"), host::Empty()});
  EXPECT_FALSE(weigh->ok);
  EXPECT_EQ(LastError(), std::make_pair(65535, std::string("Ошибка в параметре \"DeviceID\"")));
}

TEST_F(DriverTest, IdentifiersThatWereNotHandedOutAreRefused) {
  Configure("ZEV-U", 7);
  for (const char* id : {"", "X", "nodeviceid"}) {
    for (const char16_t* method : {u"GetWeight", u"Calibrate"}) {
      auto call = Run(method, {W(id), host::Double(0.5)});
      EXPECT_FALSE(call->ok) << id;
      EXPECT_FALSE(call->ReturnWritten()) << "no return value on a refused identifier";
      EXPECT_EQ(call->params[1].vt, v8abi::VTYPE_R8);
      EXPECT_EQ(LastError(), std::make_pair(65535, std::string("Ошибка в параметре \"DeviceID\"")));
    }
  }
}

TEST_F(DriverTest, AWrongParameterCountKeepsTheAdaptersText) {
  Configure("ZEV-U", 7);
  auto open = Run(u"Open", {host::Empty()});  // leaves "Порт недоступен" in the adapter
  struct Case {
    const char16_t* method;
    size_t count;
  } cases[] = {{u"Open", 0},      {u"Open", 2},      {u"Close", 0},  {u"DeviceTest", 1},
               {u"Calibrate", 1}, {u"GetWeight", 3}, {u"Zeroing", 1}};
  for (const auto& c : cases) {
    auto call = Run(c.method, std::vector<tVariant>(c.count, host::Empty()));
    EXPECT_FALSE(call->ok);
    EXPECT_FALSE(call->Flag());
    EXPECT_EQ(LastError(), std::make_pair(1001, std::string("Порт недоступен")));
  }
}

TEST_F(DriverTest, OutParametersAreNeverWrittenPastTheArray) {
  for (const char16_t* method : {u"GetLastError", u"GetParameters", u"GetAdditionalActions",
                                 u"GetVersion", u"GetDescription"}) {
    auto call = Run(method);
    EXPECT_TRUE(call->ok);
  }
}

}  // namespace
}  // namespace zev::e2e
