// TZEV_SCALE_4001_Class as the platform's equipment library drives it, on
// simulated scales: revision, description, settings, parameters, test,
// localisation, connect, weigh, tare, the additional action, disconnect.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

using host::tVariant;

class EquipmentTest : public DriverTest {
 public:
  void SetUp() override {
    DriverTest::SetUp();
    component =
        std::make_unique<host::Component>(library, mm, &connection, u"TZEV_SCALE_4001_Class");
    ASSERT_TRUE(component->Valid());
  }
  bool Set(std::string_view name, tVariant value) {
    return Run(u"УстановитьПараметр", {W(name), value})->Flag();
  }
  // "ПолучитьОшибку": the code and the wide text.
  std::pair<int32_t, std::string> Error() {
    auto call = Run(u"ПолучитьОшибку", {host::Empty()});
    EXPECT_TRUE(call->ok);
    return {call->ret.lVal, call->WText(0)};
  }
  std::string Page() { return Run(u"ПолучитьПараметры", {host::Empty()})->WText(0); }
  std::string Connect() {
    auto c = Run(u"Подключить", {host::Empty()});
    EXPECT_TRUE(c->Succeeded()) << Error().second;
    return c->WText(0);
  }
  void Configure4001(const char* model, int port) {
    ASSERT_TRUE(Set("Model", W(model)));
    ASSERT_TRUE(Set("Port", host::Double(port)));
  }
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class EquipmentSequence : public EquipmentTest, public ::testing::WithParamInterface<ModelCase> {};

// The whole sequence of the equipment library, parameters in reversed order.
TEST_P(EquipmentSequence, PlaysTheLibrarysSequence) {
  const ModelCase& m = GetParam();
  auto& scale = Scale(m.model, 11, 12.345);

  auto revision = Run(u"получитьревизиюинтерфейса");
  ASSERT_TRUE(revision->ok);
  EXPECT_EQ(revision->ret.lVal, 4001);
  EXPECT_EQ(host::WideUtf8(Run(u"ПолучитьНомерВерсии")->ret), ZEV_PRODUCT_VERSION);

  auto d = Run(u"ПОЛУЧИТЬОПИСАНИЕ", {host::Empty()});
  ASSERT_TRUE(d->Succeeded());
  for (const std::string attribute :
       {"Name=\"1С: Драйвер для весов ZEV (версия 2)\"", "EquipmentType=\"ЭлектронныеВесы\"",
        "DriverVersion=\"" ZEV_PRODUCT_VERSION "\"", "IntegrationComponent=\"false\"",
        "MainDriverInstalled=\"true\"", "LogIsEnabled=\"false\"", "LocalizationSupported=\"true\"",
        "IsEmulator=\"false\"", "DownloadURL=\"\""}) {
    EXPECT_TRUE(Has(d->WText(0), attribute)) << attribute << " in " << d->WText(0);
  }

  const std::string page = Page();
  EXPECT_EQ(page.rfind("<?xml", 0), 0u);
  for (const std::string part :
       {"<Parameter Name=\"Model\"", "TypeValue=\"Number\" DefaultValue=\"1\"",
        "<Item Value=\"ZEV-NT(N)\">Весы: ZEV-NT(N)</Item>", "<Item Value=\"8\">COM8",
        "<Item Value=\"11\">COM11 (", "Name=\"Trace\"",
        "TypeValue=\"Boolean\" DefaultValue=\"false\"", "Name=\"TraceFile\"", "</Settings>"}) {
    EXPECT_TRUE(Has(page, part)) << part;
  }

  EXPECT_TRUE(Set("EquipmentType", W("электронныеВЕСЫ")));
  EXPECT_TRUE(Set("Unknown", host::Int(1))) << "unknown names are accepted";
  EXPECT_TRUE(Set("TraceFile", W("/nonexistent/trace.txt")));
  EXPECT_TRUE(Set("Trace", host::Bool(false)));
  EXPECT_TRUE(Set("Port", host::Double(11)));
  EXPECT_TRUE(Set("Model", W(m.name)));
  EXPECT_TRUE(Has(Page(), "TypeValue=\"Number\" DefaultValue=\"11\"")) << "Model keeps Port";

  auto test = Run(u"ТестУстройства", {host::Empty(), host::Empty()});
  ASSERT_TRUE(test->Succeeded()) << test->WText(0);
  EXPECT_EQ(test->WText(0),
            "Весы " + std::string(m.name) +
                " на COM11 ответили: 12,345 кг (порт открыт для проверки и закрыт)");
  EXPECT_EQ(test->params[1].vt, v8abi::VTYPE_PWSTR);
  EXPECT_EQ(test->WText(1), "");

  // The zero command only where the model has one.
  const bool zu = m.model == zev::sim::Model::ZevU;
  for (const auto& [code, caption] : {std::pair("en", "Set zero"), {"ru", "Установить ноль"}}) {
    EXPECT_TRUE(Run(u"УстановитьЛокализацию", {W(code), W("")})->Succeeded());
    EXPECT_EQ(Run(u"ПолучитьДополнительныеДействия", {host::Empty()})->WText(0),
              zu ? "<Actions><Action Name=\"Zeroing\" Caption=\"" + std::string(caption) +
                       "\"/></Actions>"
                 : std::string("<Actions/>"));
  }

  const std::string id = Connect();
  EXPECT_FALSE(id.empty());
  EXPECT_NE(id, "NoDeviceID");
  // A second connection to the same line goes through it, with an identifier
  // of its own; disconnecting it leaves the first.
  const std::string second = Connect();
  EXPECT_NE(second, id);
  EXPECT_TRUE(Run(u"Отключить", {W(second)})->Succeeded());

  auto weigh = Run(u"ПолучитьВес", {W(id), host::Empty()});
  ASSERT_TRUE(weigh->Succeeded()) << Error().second;
  EXPECT_EQ(weigh->params[1].dblVal, 12.345);
  EXPECT_EQ(Error(), std::make_pair(0, std::string()));

  // The simulator reads a command a moment after it was written; the next
  // command's purge would discard it before.
  const auto tare = [&](tVariant value) {
    const bool ok = Run(u"УстановитьВесТары", {W(id), value})->Succeeded();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    return ok;
  };
  // Each tare is confirmed by a weighing after it.
  scale.ClearReceived();
  EXPECT_TRUE(tare(host::Double(0.5)));
  EXPECT_TRUE(tare(W("0,25")));
  EXPECT_TRUE(tare(host::Empty()));
  EXPECT_FALSE(tare(W("полкило")));
  EXPECT_TRUE(Has(Error().second, "полкило"));
  EXPECT_FALSE(tare(host::Double(-1)));
  EXPECT_EQ(tare(host::Int(0)), zu) << "0 removes the tare where the model can";
  const std::string tared = m.tare + m.weigh;
  EXPECT_EQ(scale.Received(), tared + tared + tared + (zu ? "C" + m.weigh : ""));

  auto zero = Run(u"ВыполнитьДополнительноеДействие", {W("Zeroing")});
  if (m.model == zev::sim::Model::ZevU) {
    EXPECT_TRUE(zero->Succeeded()) << Error().second;
  } else {
    EXPECT_FALSE(zero->Flag());
    EXPECT_EQ(Error(), std::make_pair(1001, "Весы " + std::string(m.name) +
                                                " не поддерживают установку нуля."));
  }
  EXPECT_FALSE(Run(u"ВыполнитьДополнительноеДействие", {W("Calibrate")})->Flag());
  EXPECT_EQ(Error(),
            std::make_pair(1001, std::string("Неизвестное дополнительное действие: «Calibrate».")));

  for (const char* method : {"ПолучитьВес", "УстановитьВесТары", "Отключить"}) {
    std::vector<tVariant> params{W("NoDeviceID"), host::Double(0)};
    if (std::string(method) == "Отключить") params.pop_back();
    auto call = Run(platform::Utf8ToUtf16(method), params);
    EXPECT_TRUE(call->ok);
    EXPECT_FALSE(call->Flag());
    EXPECT_EQ(Error(), std::make_pair(65535, std::string("Неизвестный идентификатор устройства: "
                                                         "«NoDeviceID».")))
        << method;
  }
  EXPECT_TRUE(Run(u"Отключить", {W(id)})->Succeeded());
  EXPECT_FALSE(Run(u"ПолучитьВес", {W(id), host::Empty()})->Flag()) << "the identifier is gone";
  EXPECT_NE(Connect(), id) << "each connection gets its own identifier";
}

INSTANTIATE_TEST_SUITE_P(Models, EquipmentSequence, ::testing::ValuesIn(kModels), ModelTestName);

TEST_F(EquipmentTest, ParametersInEitherOrderAndEveryNumberForm) {
  for (const bool modelFirst : {true, false}) {
    component =
        std::make_unique<host::Component>(library, mm, &connection, u"TZEV_SCALE_4001_Class");
    const std::vector<std::pair<const char*, tVariant>> order =
        modelFirst ? std::vector<std::pair<const char*, tVariant>>{{"Model", W("ZEV-AW")},
                                                                   {"Port", host::Int(7)}}
                   : std::vector<std::pair<const char*, tVariant>>{{"Port", host::Int(7)},
                                                                   {"Model", W("ZEV-AW")}};
    for (const auto& [name, value] : order) ASSERT_TRUE(Set(name, value));
    EXPECT_TRUE(Has(Page(), "DefaultValue=\"ZEV-AW\""));
    EXPECT_TRUE(Has(Page(), "DefaultValue=\"7\""));
  }
  const struct {
    tVariant value;
    bool taken;
    const char* shown;
  } ports[] = {
      {host::Double(3.0), true, "3"},    {host::Int(255), true, "255"},
      {W(" 12 "), true, "12"},           {host::Double(2.5), false, "2.5"},
      {host::Int(0), false, "0"},        {host::Int(256), false, "256"},
      {host::Int(-1), false, "-1"},      {W("COM3"), false, "COM3"},
      {host::Bool(true), false, "true"},
  };
  for (const auto& p : ports) {
    SCOPED_TRACE(p.shown);
    EXPECT_EQ(Set("Port", p.value), p.taken);
    if (p.taken) {
      EXPECT_TRUE(Has(Page(), "DefaultValue=\"" + std::string(p.shown) + "\""));
    } else {
      EXPECT_EQ(Error(), std::make_pair(1001,
                                        "Номер порта должен быть целым числом от 1 до 255, "
                                        "а не «" +
                                            std::string(p.shown) + "»."));
    }
  }
  EXPECT_TRUE(Set("Trace", host::Bool(true)));
  EXPECT_TRUE(Has(Page(), "TypeValue=\"Boolean\" DefaultValue=\"true\""));
  EXPECT_FALSE(Set("Trace", W("иногда")));
  EXPECT_EQ(Error().second, "Параметр Trace ждёт значение «Булево», а не «иногда».");
}

// Russian and English configurations: the type by either enumeration name,
// the tare by the English edition's name.
TEST_F(EquipmentTest, AnotherEquipmentTypeIsRefusedByName) {
  for (const char* type : {"ЭЛЕКТРОННЫЕВЕСЫ", "ElectronicScales", "weighingscales"})
    EXPECT_TRUE(Set("EquipmentType", W(type))) << type;
  auto& scale = Scale(zev::sim::Model::ZevU, 3);
  Configure4001("ZEV-U", 3);
  const std::string id = Connect();
  scale.ClearReceived();
  EXPECT_TRUE(Run(u"SetTareWeight", {W(id), host::Double(1)})->Succeeded()) << Error().second;
  EXPECT_EQ(scale.Received(), "TP");
  EXPECT_FALSE(Set("EquipmentType", W("ФискальныйРегистратор")));
  const auto [code, text] = Error();
  EXPECT_EQ(code, 1001);
  EXPECT_TRUE(Has(text, "«ФискальныйРегистратор»")) << text;
}

TEST_F(EquipmentTest, AFailedWeighingSaysWhyInEitherLanguage) {
  auto& scale = Scale(zev::sim::Model::ZevU, 3);
  Configure4001("ZEV-U", 3);
  const std::string id = Connect();
  const struct {
    const char* lang;
    std::optional<std::string> raw;
    bool silent;
    const char* text;
  } cases[] = {
      {"ru", std::nullopt, true,
       "Весы ZEV-U на COM3 не ответили: за 500 мс не пришло ни байта. Проверьте питание, "
       "кабель, порт и модель."},
      {"en", std::nullopt, true,
       "The ZEV-U scale on COM3 did not answer: no byte arrived within 500 ms. Check the "
       "power, the cable, the port and the model."},
      {"ru", std::string("  0.500 kg\r\n"), false,
       "На COM3 пришли байты, которые не являются ответом весов ZEV-U: 20 20 30 2E 35 30 30 20 "
       "6B 67 0D 0A |  0.500 kg..|"},
      {"ru", std::string("  abc kg    \r\n"), false,
       "Весы ZEV-U на COM3 прислали вес, который не читается как число: «abc»."},
      {"en", std::string("  abc kg    \r\n"), false,
       "The ZEV-U scale on COM3 sent a weight that does not read as a number: \"abc\"."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(Run(u"УстановитьЛокализацию", {W(c.lang), W("")})->Succeeded());
    zev::sim::Faults f;
    f.silent = c.silent;
    f.raw = c.raw;
    scale.SetFaults(f);
    auto weigh = Run(u"ПолучитьВес", {W(id), host::Empty()});
    EXPECT_TRUE(weigh->ok);
    EXPECT_FALSE(weigh->Flag());
    EXPECT_EQ(weigh->params[1].vt, v8abi::VTYPE_EMPTY);
    EXPECT_EQ(Error(), std::make_pair(1001, std::string(c.text)));
  }
  EXPECT_TRUE(connection.Errors.empty()) << "failures are told through GetLastError only";
}

// A weighing ends with the complete reply; what the scale sends after it is
// purged before the next command and never taken for a reply.
TEST_F(EquipmentTest, BytesAfterACompleteReplyAreNotTheNextReply) {
  for (const auto& m : kModels) {
    SCOPED_TRACE(m.name);
    auto& scale = Scale(m.model, 4, 3.25);
    zev::sim::Faults extra;
    extra.extraBytes = 5;
    scale.SetFaults(extra);
    component =
        std::make_unique<host::Component>(library, mm, &connection, u"TZEV_SCALE_4001_Class");
    Configure4001(m.name, 4);
    const std::string id = Connect();
    for (int i = 0; i < 3; ++i) {
      auto weigh = Run(u"ПолучитьВес", {W(id), host::Empty()});
      ASSERT_TRUE(weigh->Succeeded()) << Error().second;
      EXPECT_EQ(weigh->params[1].dblVal, 3.25);
    }
    EXPECT_TRUE(Run(u"Отключить", {W(id)})->Succeeded());
  }
}

TEST_F(EquipmentTest, TheTraceSettingWritesTheLineToItsFile) {
  Scale(zev::sim::Model::ZevU, 3);
  const std::string file = ports.Path() + "/trace.txt";
  unsetenv("ZEVSCALE_TRACE");
  Configure4001("ZEV-U", 3);
  EXPECT_TRUE(Set("TraceFile", W(file)));
  EXPECT_TRUE(Set("Trace", W("Истина")));
  auto d = Run(u"ПолучитьОписание", {host::Empty()});
  EXPECT_TRUE(Has(d->WText(0), "LogIsEnabled=\"true\" LogPath=\"" + file + "\"")) << d->WText(0);
  const std::string id = Connect();
  ASSERT_TRUE(Run(u"ПолучитьВес", {W(id), host::Empty()})->Succeeded());
  EXPECT_TRUE(Run(u"Отключить", {W(id)})->Succeeded());
  std::ifstream in(file);
  const std::string trace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(Has(trace, "COM3 ZEV-U -> 50 |P|")) << trace;
  EXPECT_TRUE(Has(trace, "frame complete")) << trace;
  std::remove(file.c_str());
}

TEST_F(EquipmentTest, APortThatIsNotThereIsNamed) {
  ports.Map(9, "/nonexistent/ttyUSB9");
  Configure4001("ZEV-AW", 9);
  auto test = Run(u"ТестУстройства", {host::Empty(), host::Empty()});
  EXPECT_FALSE(test->Flag());
  EXPECT_EQ(test->WText(0), "Проверка не пройдена. " + Error().second);
  EXPECT_EQ(Error(),
            std::make_pair(1001, "Порта COM9 (" + ports.Path() + "/COM9) нет на этом компьютере."));
  // A port held in this very process (here by the test itself) is named so,
  // not as another program's.
  auto& scale = Scale(zev::sim::Model::ZevAW, 9);
  const int fd = open(scale.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(Run(u"ТестУстройства", {host::Empty(), host::Empty()})->Flag());
  EXPECT_TRUE(Has(Error().second, "уже открыт в этом же процессе")) << Error().second;
  close(fd);
  ASSERT_TRUE(Set("Model", W("ZEV-X")));
  EXPECT_FALSE(Run(u"Подключить", {host::Empty()})->Flag());
  EXPECT_EQ(
      Error().second,
      "Модель весов не задана или неизвестна: «ZEV-X». Выберите ZEV-U, ZEV-AW или ZEV-NT(N).");
}

// Scales behind an Ethernet-to-serial converter, chosen in the settings:
// Connection, Host and TCPPort in either order, TCPPort in every number form.
class EquipmentOverTcp : public EquipmentTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(EquipmentOverTcp, WeighsThroughAConverterWithTheSettingsInEitherOrder) {
  const ModelCase& m = GetParam();
  auto& converter = TcpScale(m.model, 6, 12.345);
  const std::string url = converter.TcpUrl();
  const std::string file = ports.Path() + "/trace.txt";
  for (const bool connectionFirst : {true, false}) {
    SCOPED_TRACE(connectionFirst);
    component =
        std::make_unique<host::Component>(library, mm, &connection, u"TZEV_SCALE_4001_Class");
    std::vector<std::pair<const char*, tVariant>> settings = {
        {"Connection", W(connectionFirst ? "tcp" : "TCP")},
        {"Host", W(" 127.0.0.1 ")},
        {"TCPPort", connectionFirst ? W(std::to_string(converter.TcpPort()))
                                    : host::Double(converter.TcpPort())},
        {"Model", W(m.name)},
        {"Port", host::Int(200)},  // not used over TCP
        {"TraceFile", W(file)},
        {"Trace", host::Bool(true)},
    };
    if (!connectionFirst) std::reverse(settings.begin(), settings.end());
    for (const auto& [name, value] : settings) ASSERT_TRUE(Set(name, value)) << name;
    const std::string page = Page();
    for (const std::string& part : std::vector<std::string>{
             "<Parameter Name=\"Connection\" Caption=\"Подключение\"",
             "TypeValue=\"String\" DefaultValue=\"TCP\"", "<Item Value=\"COM\">COM-порт</Item>",
             "Name=\"Host\"", "DefaultValue=\"127.0.0.1\"",
             "<Parameter Name=\"TCPPort\" Caption=\"TCP-порт\"",
             "TypeValue=\"Number\" DefaultValue=\"" + std::to_string(converter.TcpPort()) + "\""}) {
      EXPECT_TRUE(Has(page, part)) << part << " in " << page;
    }
    auto test = Run(u"ТестУстройства", {host::Empty(), host::Empty()});
    ASSERT_TRUE(test->Succeeded()) << test->WText(0);
    EXPECT_EQ(test->WText(0), "Весы " + std::string(m.name) + " на " + url +
                                  " ответили: 12,345 кг (порт открыт для проверки и закрыт)");
    const std::string id = Connect();
    EXPECT_TRUE(Has(id, "@" + url + "#")) << id;
    auto weigh = Run(u"ПолучитьВес", {W(id), host::Empty()});
    ASSERT_TRUE(weigh->Succeeded()) << Error().second;
    EXPECT_EQ(weigh->params[1].dblVal, 12.345);
    EXPECT_TRUE(Run(u"Отключить", {W(id)})->Succeeded());
  }
  std::ifstream in(file);
  const std::string trace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(Has(trace, url + " " + m.name + " open " + url + ": ok\n")) << trace;
  EXPECT_TRUE(Has(trace, url + " " + m.name + " <- ")) << trace;
  EXPECT_FALSE(Has(trace, "COM200")) << trace;
  std::remove(file.c_str());
}

INSTANTIATE_TEST_SUITE_P(Models, EquipmentOverTcp, ::testing::ValuesIn(kModels), ModelTestName);

TEST_F(EquipmentTest, AConverterThatFailsIsToldWhyInEitherLanguage) {
  using zev::sim::TcpMode;
  auto& refusing = TcpScale(zev::sim::Model::ZevAW, 5, 0.5, TcpMode::Refuse);
  auto& deaf = TcpScale(zev::sim::Model::ZevAW, 6, 0.5, TcpMode::NoAccept);
  auto& silent = TcpScale(zev::sim::Model::ZevAW, 7);
  zev::sim::Faults quiet;
  quiet.silent = true;
  silent.SetFaults(quiet);
  auto& busy = TcpScale(zev::sim::Model::ZevAW, 9, 0.5, TcpMode::Busy);
  auto& closing = TcpScale(zev::sim::Model::ZevAW, 8);
  zev::sim::Faults hangUp;
  hangUp.hangUpAfterBytes = 5;
  closing.SetFaults(hangUp);
  const struct {
    const zev::sim::Simulator* converter;  // null: no Host set
    const char* lang;
    bool opens;  // the connection is made, the weighing fails
    std::string text;
  } cases[] = {
      {&refusing, "ru", false, ": Преобразователь отказал в соединении."},
      {&refusing, "en", false, ": Connection refused."},
      {&deaf, "ru", false, ": Преобразователь не ответил на соединение за 1 с."},
      {&silent, "ru", true,
       "Весы ZEV-AW на # не ответили: за 500 мс не пришло ни байта. Проверьте питание весов, "
       "кабель от весов к преобразователю, настройки линии в преобразователе (4800 бод) и "
       "модель."},
      {&busy, "ru", false, ": Преобразователь занят другим соединением."},
      {&busy, "en", false, ": The converter is busy with another connection."},
      {&closing, "ru", true, ": Соединение закрыто преобразователем."},
      {&closing, "en", true, ": Connection closed by the converter."},
      {nullptr, "ru", false,
       "Адрес преобразователя (Host) не задан: он нужен для подключения TCP."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    component =
        std::make_unique<host::Component>(library, mm, &connection, u"TZEV_SCALE_4001_Class");
    ASSERT_TRUE(Run(u"УстановитьЛокализацию", {W(c.lang), W("")})->Succeeded());
    ASSERT_TRUE(Set("Model", W("ZEV-AW")));
    ASSERT_TRUE(Set("Connection", W("TCP")));
    std::string text = c.text;
    if (c.converter != nullptr) {
      ASSERT_TRUE(Set("Host", W("127.0.0.1")));
      ASSERT_TRUE(Set("TCPPort", host::Int(c.converter->TcpPort())));
      // The address opens the text, or stands for # within it.
      const size_t mark = text.find('#');
      if (mark != std::string::npos) {
        text.replace(mark, 1, c.converter->TcpUrl());
      } else {
        text.insert(0, c.converter->TcpUrl());
      }
    }
    const auto start = std::chrono::steady_clock::now();
    auto open = Run(u"Подключить", {host::Empty()});
    EXPECT_TRUE(open->ok);
    EXPECT_EQ(open->Flag(), c.opens);
    if (c.opens) {
      const std::string id = open->WText(0);
      auto weigh = Run(u"ПолучитьВес", {W(id), host::Empty()});
      EXPECT_TRUE(weigh->ok);
      EXPECT_FALSE(weigh->Flag());
    }
    EXPECT_EQ(Error(), std::make_pair(1001, text));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << "bounded";
    if (!c.opens) {
      auto test = Run(u"ТестУстройства", {host::Empty(), host::Empty()});
      EXPECT_FALSE(test->Flag());
      EXPECT_EQ(Error(), std::make_pair(1001, text));
      EXPECT_EQ(test->WText(0), std::string(c.lang) == "ru" ? "Проверка не пройдена. " + text
                                                            : "The test failed. " + text);
    }
  }
}

// A converter that takes its line settings from the driver (Connection
// "RFC2217"), its line started at 9600 8N1: each model weighs at its own
// line; one that keeps the parity is told in either language and no weight
// is read.
TEST_F(EquipmentTest, AnRfc2217ConverterTakesTheLineOrIsToldThatItDidNot) {
  const struct {
    const char* model;
    const char* refuse;  // the setting the converter keeps; empty: none
    const char* lang;
    std::string text;  // after the address; empty: it weighs
  } cases[] = {
      {"ZEV-U", "", "ru", ""},
      {"ZEV-AW", "", "ru", ""},
      {"ZEV-NT(N)", "", "en", ""},
      {"ZEV-AW", "parity", "ru",
       ": Преобразователь не принял настройки линии весов: оставил 4800 8N1, весам нужно "
       "4800 8O1."},
      {"ZEV-NT(N)", "parity", "en", ": The converter kept 4800 8N1: parity odd refused."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + c.refuse + " " + c.lang);
    sims.push_back(
        std::make_unique<zev::sim::Simulator>(*zev::sim::ModelFromName(c.model), 12.345));
    zev::sim::TcpOptions options;
    options.rfc2217 = true;
    options.refuseSetting = c.refuse;
    ASSERT_TRUE(sims.back()->StartTcp("127.0.0.1", 0, options));
    component =
        std::make_unique<host::Component>(library, mm, &connection, u"TZEV_SCALE_4001_Class");
    ASSERT_TRUE(Run(u"УстановитьЛокализацию", {W(c.lang), W("")})->Succeeded());
    ASSERT_TRUE(Set("Model", W(c.model)));
    ASSERT_TRUE(Set("Connection", W("RFC2217")));
    ASSERT_TRUE(Set("Host", W("127.0.0.1")));
    ASSERT_TRUE(Set("TCPPort", host::Int(sims.back()->TcpPort())));
    auto open = Run(u"Подключить", {host::Empty()});
    ASSERT_TRUE(open->ok);
    bool weighed = false;
    double kg = 0;
    if (open->Flag()) {
      auto weigh = Run(u"ПолучитьВес", {W(open->WText(0)), host::Empty()});
      ASSERT_TRUE(weigh->ok);
      weighed = weigh->Flag();
      if (weigh->params[1].vt == v8abi::VTYPE_R8) kg = weigh->params[1].dblVal;
    }
    if (c.text.empty()) {
      EXPECT_TRUE(weighed) << Error().second;
      EXPECT_EQ(kg, 12.345);
      EXPECT_EQ(sims.back()->ConverterLine(),
                zev::sim::Simulator::ScaleLine(sims.back()->GetModel()));
    } else {
      EXPECT_FALSE(weighed);
      EXPECT_EQ(kg, 0);
      EXPECT_EQ(Error(), std::make_pair(1001, sims.back()->TcpUrl() + c.text));
      EXPECT_EQ(sims.back()->Commands(), 0);
    }
  }
}

TEST_F(EquipmentTest, ConverterSettingsOutOfRangeAreRefusedWithAText) {
  const struct {
    const char* name;
    tVariant value;
    bool taken;
    const char* shown;  // on the page when taken, else in the refusal
  } cases[] = {
      {"TCPPort", host::Double(4001.0), true, "4001"},
      {"TCPPort", W(" 502 "), true, "502"},
      {"TCPPort", host::Int(65535), true, "65535"},
      {"TCPPort", host::Int(0), false, "0"},
      {"TCPPort", host::Int(65536), false, "65536"},
      {"TCPPort", host::Double(80.5), false, "80.5"},
      {"TCPPort", W("telnet"), false, "telnet"},
      {"Connection", W("Com"), true, "COM"},
      {"Connection", W("USB"), false, "USB"},
      {"Connection", host::Int(1), false, "1"},
      {"Host", W("[::1]"), true, "::1"},
      {"Host", W("converter.local"), true, "converter.local"},
      {"Host", W("192.168.1.50:4001"), false, "192.168.1.50:4001"},
      {"Host", W("a b"), false, "a b"},
  };
  const std::map<std::string, std::string> refusals = {
      {"TCPPort", "Номер TCP-порта должен быть целым числом от 1 до 65535, а не «%»."},
      {"Connection", "Параметр Connection ждёт «COM», «TCP» или «RFC2217», а не «%»."},
      {"Host",
       "Адрес преобразователя должен быть IP-адресом или именем без порта (порт задаётся в "
       "TCPPort), а не «%»."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.shown);
    EXPECT_EQ(Set(c.name, c.value), c.taken);
    if (c.taken) {
      EXPECT_TRUE(Has(Page(), "Name=\"" + std::string(c.name) + "\""));
      EXPECT_TRUE(Has(Page(), "DefaultValue=\"" + std::string(c.shown) + "\""));
    } else {
      std::string text = refusals.at(c.name);
      text.replace(text.find('%'), 1, c.shown);
      EXPECT_EQ(Error(), std::make_pair(1001, text));
    }
  }
}

// The equipment library keeps one object per driver and sends a device's
// settings through it before each connect and each settings-form test: a
// counter scale and a floor scale on one object, the form's test while both
// are connected, the two weighed at once from two threads.
TEST_F(EquipmentTest, OneObjectHoldsSeveralScalesAsTheLibraryKeepsIt) {
  auto& counter = Scale(zev::sim::Model::ZevU, 3, 1.25);
  auto& floor = Scale(zev::sim::Model::ZevNT, 4, 80.5);
  Configure4001("ZEV-U", 3);
  const std::string a = Connect();
  Configure4001("ZEV-NT(N)", 4);  // the second device's settings: the first keeps its own
  const std::string b = Connect();
  for (const auto& [id, kg] : {std::pair(a, 1.25), {b, 80.5}}) {
    auto weigh = Run(u"ПолучитьВес", {W(id), host::Empty()});
    ASSERT_TRUE(weigh->Succeeded()) << id << ": " << Error().second;
    EXPECT_EQ(weigh->params[1].dblVal, kg);
  }
  // The settings form tests the counter scale while it is connected.
  Configure4001("ZEV-U", 3);
  auto test = Run(u"ТестУстройства", {host::Empty(), host::Empty()});
  EXPECT_TRUE(test->Succeeded()) << test->WText(0);
  EXPECT_TRUE(Has(test->WText(0), "через открытое подключение «" + a + "»")) << test->WText(0);
  // Both at once, each on a thread of its own.
  std::vector<std::thread> threads;
  int wrong[2] = {0, 0};
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        auto weigh = Run(u"ПолучитьВес", {W(t == 0 ? a : b), host::Empty()});
        if (!weigh->Flag() || weigh->params[1].dblVal != (t == 0 ? 1.25 : 80.5)) ++wrong[t];
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong[0] + wrong[1], 0);
  EXPECT_TRUE(Run(u"Отключить", {W(a)})->Succeeded());
  EXPECT_FALSE(Run(u"ПолучитьВес", {W(a), host::Empty()})->Flag());
  EXPECT_EQ(Error().first, 65535);
  EXPECT_TRUE(Run(u"ПолучитьВес", {W(b), host::Empty()})->Succeeded()) << "the other stays";
  EXPECT_TRUE(Run(u"Отключить", {W(b)})->Succeeded());
  EXPECT_GT(counter.WeighCommands(), 0);
  EXPECT_GT(floor.WeighCommands(), 10);
}

// A tare or a zero is reported done only when the scale answers after it.
TEST_F(EquipmentTest, ATareOrZeroTheScaleDidNotHearIsAFailure) {
  auto& scale = Scale(zev::sim::Model::ZevU, 3);
  Configure4001("ZEV-U", 3);
  const std::string id = Connect();
  zev::sim::Faults silent;
  silent.silent = true;
  scale.SetFaults(silent);
  const std::string text =
      "Весы ZEV-U на COM3 не ответили на взвешивание после команды: команда могла до них не "
      "дойти. Проверьте питание, кабель, порт и модель.";
  EXPECT_FALSE(Run(u"УстановитьВесТары", {W(id), host::Empty()})->Flag());
  EXPECT_EQ(Error(), std::make_pair(1001, text));
  EXPECT_FALSE(Run(u"ВыполнитьДополнительноеДействие", {W("Zeroing")})->Flag());
  EXPECT_EQ(Error(), std::make_pair(1001, text));
  scale.SetFaults(zev::sim::Faults());
  EXPECT_TRUE(Run(u"УстановитьВесТары", {W(id), host::Empty()})->Succeeded()) << Error().second;
}

// A value refused leaves its setting unset: the object does not go on with
// the value before it (on a converter with several ports, another scale).
TEST_F(EquipmentTest, ARefusedSettingIsNotSetAndNothingConnectsWithIt) {
  auto& converter = TcpScale(zev::sim::Model::ZevU, 6, 1.5);
  const tVariant tcpPort = host::Int(converter.TcpPort());
  const struct {
    const char* name;
    tVariant bad, good;
    bool tcp;
  } cases[] = {
      {"TCPPort", W("4OO4"), tcpPort, true},       {"TCPPort", host::Int(65536), tcpPort, true},
      {"Host", W("a b"), W("127.0.0.1"), true},    {"Connection", W("USB"), W("TCP"), true},
      {"Port", host::Int(0), host::Int(3), false}, {"Model", W("ZEV-X"), W("ZEV-U"), false},
  };
  Scale(zev::sim::Model::ZevU, 3, 1.5);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Set("Model", W("ZEV-U")));
    ASSERT_TRUE(Set("Connection", W(c.tcp ? "TCP" : "COM")));
    ASSERT_TRUE(Set("Host", W("127.0.0.1")));
    ASSERT_TRUE(Set("TCPPort", tcpPort));
    ASSERT_TRUE(Set("Port", host::Int(3)));
    const bool refused = !Set(c.name, c.bad);
    const std::string why = Error().second;
    auto open = Run(u"Подключить", {host::Empty()});
    EXPECT_FALSE(open->Flag());
    if (refused) {
      EXPECT_EQ(Error().second,
                "Параметр " + std::string(c.name) + " не задан, подключение невозможно: " + why);
    }
    EXPECT_FALSE(Run(u"ТестУстройства", {host::Empty(), host::Empty()})->Flag());
    ASSERT_TRUE(Set(c.name, c.good));
    const std::string id = Connect();
    auto weigh = Run(u"ПолучитьВес", {W(id), host::Empty()});
    EXPECT_TRUE(weigh->Succeeded()) << Error().second;
    EXPECT_TRUE(Run(u"Отключить", {W(id)})->Succeeded());
  }
}

// The first class tells the platform of a weight that does not read as a
// number with its own code of a failed operation, not with whatever system
// error an earlier call left behind.
TEST_F(DriverTest, AnUnreadableWeightIsReportedWithCode1001) {
  auto& scale = Scale(zev::sim::Model::ZevU, 3);
  Configure("ZEV-U", 3);
  ASSERT_TRUE(Run(u"Open", {host::Empty()})->Flag());
  zev::sim::Faults bad;
  bad.raw = std::string("  abc kg    \r\n");
  scale.SetFaults(bad);
  EXPECT_FALSE(Run(u"GetWeight", {W("NoDeviceID"), host::Empty()})->ok);
  ASSERT_EQ(connection.Errors.size(), 1u);
  EXPECT_EQ(connection.Errors[0].code, 1001);
  EXPECT_EQ(LastError().first, 1001);
}

}  // namespace
}  // namespace zev::e2e
