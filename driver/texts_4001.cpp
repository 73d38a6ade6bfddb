// The texts of the revision 4001 class, Russian and English, and the one
// table that words the device core's failures with them.
#include <array>

#include "TTrace.h"
#include "TZEV_SCALE_4001_Class.h"
#include "zev/platform/message.h"
#include "zev/platform/serial.h"
#include "zev/platform/tcp.h"
#include "zev/platform/text.h"
#include "zev/platform/tracefile.h"

namespace zev::driver {
namespace {

using platform::Utf8ToUtf16;
using Pair = platform::MessageRow<Msg, char16_t>;

// In the order of Msg.
constexpr Pair kTexts[] = {
    {Msg::PageCaption, u"Параметры", u"Settings"},
    {Msg::GroupCaption, u"Подключение весов", u"Scale connection"},
    {Msg::ModelCaption, u"Модель", u"Model"},
    {Msg::ModelDescription, u"Модель весов", u"The scale model"},
    {Msg::PortCaption, u"Порт", u"Port"},
    {Msg::PortDescription, u"Последовательный порт, к которому подключены весы",
     u"The serial port the scale is connected to"},
    {Msg::ConnectionCaption, u"Подключение", u"Connection"},
    {Msg::ConnectionDescription,
     u"Как подключены весы: к COM-порту или через преобразователь Ethernet — RS-232 по TCP",
     u"How the scale is connected: to a COM port or through an Ethernet-to-serial converter over "
     u"TCP"},
    {Msg::ConnectionCom, u"COM-порт", u"COM port"},
    {Msg::ConnectionTcp, u"TCP (преобразователь Ethernet — RS-232)",
     u"TCP (Ethernet-to-serial converter)"},
    {Msg::ConnectionRfc2217,
     u"RFC 2217 (преобразователь Ethernet — RS-232, настройки линии задаёт драйвер)",
     u"RFC 2217 (Ethernet-to-serial converter that takes its line settings from the driver)"},
    {Msg::HostCaption, u"Адрес преобразователя", u"Converter address"},
    {Msg::HostDescription, u"IP-адрес или имя преобразователя в сети (для подключения TCP)",
     u"The converter's IP address or name on the network (for a TCP connection)"},
    {Msg::TcpPortCaption, u"TCP-порт", u"TCP port"},
    {Msg::TcpPortDescription, u"Порт TCP-сервера преобразователя (для подключения TCP)",
     u"The port of the converter's TCP server (for a TCP connection)"},
    {Msg::TraceCaption, u"Трассировка линии", u"Line trace"},
    {Msg::TraceDescription, u"Записывать в файл каждый обмен с весами",
     u"Write every exchange with the scale to a file"},
    {Msg::TraceFileCaption, u"Файл трассировки", u"Trace file"},
    {Msg::TraceFileDescription, u"Файл, в который дописывается трассировка",
     u"The file the trace is appended to"},
    {Msg::ZeroingCaption, u"Установить ноль", u"Set zero"},
    {Msg::NoModel, u"Модель весов не задана или неизвестна: «%1». Выберите %2.",
     u"The scale model is not set or unknown: \"%1\". Choose %2."},
    {Msg::PortMissing, u"Порта COM%1 (%2) нет на этом компьютере.",
     u"Port COM%1 (%2) does not exist on this computer."},
    {Msg::PortNoAccess, u"Нет прав на порт COM%1 (%2): дайте пользователю доступ к порту.",
     u"No permission to open port COM%1 (%2): give the user access to the port."},
    {Msg::PortBusy, u"Порт COM%1 (%2) занят другой программой.",
     u"Port COM%1 (%2) is held by another program."},
    {Msg::PortBusyBy, u"Порт COM%1 (%2) занят другой программой: %3.",
     u"Port COM%1 (%2) is held by another program: %3."},
    {Msg::PortBusyHere,
     u"Порт COM%1 (%2) уже открыт в этом же процессе другим объектом драйвера: отключите весы "
     u"там или подключайте их через один объект.",
     u"Port COM%1 (%2) is already open in this very process, by another driver object: "
     u"disconnect the scale there or connect it through one object."},
    {Msg::PortRefused,
     u"Порт COM%1 (%2) не открылся: система отказала (не последовательный порт?).",
     u"Port COM%1 (%2) did not open: the system refused (not a serial port?)."},
    {Msg::LineSettings, u"Порт COM%1 не принял настройки линии (4800 бод, 8 бит).",
     u"Port COM%1 refused the line settings (4800 baud, 8 bits)."},
    {Msg::Timeouts, u"Порт COM%1 не принял тайм-ауты чтения и записи.",
     u"Port COM%1 refused the read and write time-outs."},
    {Msg::NotConnected, u"Весы не подключены: сначала выполните «Подключить».",
     u"The scale is not connected: call \"Open\" first."},
    {Msg::CommandFailed, u"Команда не записана в %1.", u"The command could not be written to %1."},
    {Msg::NothingArrived,
     u"Весы %1 на %2 не ответили: за 500 мс не пришло ни байта. Проверьте питание, кабель, порт "
     u"и модель.",
     u"The %1 scale on %2 did not answer: no byte arrived within 500 ms. Check the power, the "
     u"cable, the port and the model."},
    {Msg::NothingArrivedTcp,
     u"Весы %1 на %2 не ответили: за 500 мс не пришло ни байта. Проверьте питание весов, кабель "
     u"от весов к преобразователю, настройки линии в преобразователе (4800 бод) и модель.",
     u"The %1 scale on %2 did not answer: no byte arrived within 500 ms. Check the scale's power, "
     u"the cable from the scale to the converter, the converter's line settings (4800 baud) and "
     u"the model."},
    {Msg::NotAReply, u"На %2 пришли байты, которые не являются ответом весов %1: %3",
     u"Bytes arrived on %2 that are not a reply of the %1 scale: %3"},
    {Msg::LineGone,
     u"Линия %2 пропала во время ожидания ответа весов %1 (кабель или адаптер отключён?).",
     u"The line %2 went away while waiting for the %1 scale (cable or adapter unplugged?)."},
    {Msg::NotAWeight, u"Весы %1 на %2 прислали вес, который не читается как число: «%3».",
     u"The %1 scale on %2 sent a weight that does not read as a number: \"%3\"."},
    {Msg::ZeroUnsupported, u"Весы %1 не поддерживают установку нуля.",
     u"The %1 scale does not support setting zero."},
    {Msg::NoAnswerAfterCommand,
     u"Весы %1 на %2 не ответили на взвешивание после команды: команда могла до них не дойти. "
     u"Проверьте питание, кабель, порт и модель.",
     u"The %1 scale on %2 did not answer the weighing after the command: the command may not "
     u"have reached it. Check the power, the cable, the port and the model."},
    {Msg::NoTareCancel,
     u"Весы %1 не умеют снимать тару командой: уберите груз с платформы и установите тару "
     u"(вес тары не задаётся, весы тарируют то, что лежит на платформе).",
     u"The %1 scale has no command that removes the tare: empty the pan and tare it (no tare "
     u"weight is sent: the scale tares what lies on the pan)."},
    {Msg::TareNegative, u"Вес тары не может быть отрицательным: %1.",
     u"The tare weight cannot be negative: %1."},
    {Msg::LinkFailed, u"%1: %2.", u"%1: %2."},
    {Msg::NoHost, u"Адрес преобразователя (Host) не задан: он нужен для подключения TCP.",
     u"The converter address (Host) is not set: a TCP connection needs it."},
    {Msg::RefusedSetting, u"Параметр %1 не задан, подключение невозможно: %2",
     u"The %1 setting is not set, so nothing is connected: %2"},
    {Msg::LineTakenByModel,
     u"%1 уже подключён этим объектом как весы %2 («%3»): одна линия — одна модель.",
     u"%1 is already connected through this object as a %2 scale (\"%3\"): one line, one "
     u"model."},
    {Msg::UnknownDevice, u"Неизвестный идентификатор устройства: «%1».",
     u"Unknown device identifier: \"%1\"."},
    {Msg::WrongEquipmentType,
     u"Тип оборудования «%1» не поддерживается: драйвер работает только с типом «ЭлектронныеВесы».",
     u"Equipment type \"%1\" is not supported: the driver serves only \"ЭлектронныеВесы\"."},
    {Msg::BadPort, u"Номер порта должен быть целым числом от 1 до 255, а не «%1».",
     u"The port number must be a whole number from 1 to 255, not \"%1\"."},
    {Msg::BadConnection, u"Параметр Connection ждёт «COM», «TCP» или «RFC2217», а не «%1».",
     u"Parameter Connection expects \"COM\", \"TCP\" or \"RFC2217\", not \"%1\"."},
    {Msg::BadHost,
     u"Адрес преобразователя должен быть IP-адресом или именем без порта (порт задаётся в "
     u"TCPPort), а не «%1».",
     u"The converter address must be an IP address or a name without a port (the port goes into "
     u"TCPPort), not \"%1\"."},
    {Msg::BadTcpPort, u"Номер TCP-порта должен быть целым числом от 1 до 65535, а не «%1».",
     u"The TCP port number must be a whole number from 1 to 65535, not \"%1\"."},
    {Msg::BadBoolean, u"Параметр %1 ждёт значение «Булево», а не «%2».",
     u"Parameter %1 expects a Boolean, not \"%2\"."},
    {Msg::BadText, u"Параметр %1 ждёт строку.", u"Parameter %1 expects a string."},
    {Msg::BadTare, u"Вес тары должен быть числом, а не «%1».",
     u"The tare weight must be a number, not \"%1\"."},
    {Msg::UnknownAction, u"Неизвестное дополнительное действие: «%1».",
     u"Unknown additional action: \"%1\"."},
    {Msg::WrongParameterCount, u"Метод %1 вызван с %2 параметрами вместо %3.",
     u"Method %1 was called with %2 parameters instead of %3."},
    {Msg::TestAnswered, u"Весы %1 на %2 ответили: %3", u"The %1 scale on %2 answered: %3"},
    {Msg::TestThroughConnection, u"(через открытое подключение «%1»)",
     u"(through the open connection \"%1\")"},
    {Msg::TestOpenedForIt, u"(порт открыт для проверки и закрыт)",
     u"(the port was opened for the test and closed)"},
    {Msg::TestFailed, u"Проверка не пройдена. %1", u"The test failed. %1"},
    {Msg::TraceNotOpened, u"Файл трассировки %1 не открылся (%2): трассировка не ведётся.",
     u"The trace file %1 could not be opened (%2): no trace is written."},
    {Msg::Kg, u"кг", u"kg"},
};

static_assert(platform::InIdOrder(kTexts, Msg::Kg), "every text, in the order of Msg");

// Why a converter could not be reached or went away; null for Ok.
const char16_t* LinkFailureText(platform::TcpStatus status) {
  switch (status) {
    case platform::TcpStatus::Ok:
      return nullptr;
    case platform::TcpStatus::ResolveFailed:
      return u"Имя преобразователя не найдено";
    case platform::TcpStatus::ResolveTimedOut:
      return u"Сервер имён не ответил за 1 с";
    case platform::TcpStatus::Refused:
      return u"Преобразователь отказал в соединении";
    case platform::TcpStatus::TimedOut:
      return u"Преобразователь не ответил на соединение за 1 с";
    case platform::TcpStatus::Unreachable:
      return u"Нет пути к преобразователю в сети";
    case platform::TcpStatus::Closed:
      return u"Соединение закрыто преобразователем";
    case platform::TcpStatus::Busy:
      return u"Преобразователь занят другим соединением";
    case platform::TcpStatus::NoLineControl:
      return u"Преобразователь не принимает настройки линии от драйвера (нет RFC 2217)";
    case platform::TcpStatus::LineRefused:
      return u"Преобразователь не принял настройки линии весов";
    case platform::TcpStatus::Failed:
      break;
  }
  return u"Не удалось соединиться с преобразователем";
}

}  // namespace

std::u16string Text(Lang lang, Msg id, std::initializer_list<std::u16string_view> args) {
  return platform::Substitute(platform::Wording(kTexts, lang, id), args);
}

std::u16string NoModelText(Lang lang, std::u16string_view model) {
  const std::u16string names =
      platform::Utf8ToUtf16(scales::ModelNames(lang == Lang::En ? " or " : " или "));
  return Text(lang, Msg::NoModel, {model, names});
}

// Each fault with what came with it (the bytes, the weight text, the port's
// holders, the converter's status) in words; the system is asked nothing
// here beyond a port's device name and this process's own id.
std::u16string FailureText(Lang lang, const TScaleDevice& d, std::u16string_view modelSet) {
  const Failure& e = d.Error();
  const ModelRow* row = d.Model();
  const std::u16string model = row != nullptr ? NameOf(*row) : std::u16string(modelSet);
  const std::u16string port = Utf8ToUtf16(std::to_string(d.Port()));
  const bool tcp = d.Endpoint().kind == scales::TEndpoint::Kind::Tcp;
  // The link as the texts name it: COM3, tcp://HOST:PORT, or a COM<N> that
  // stands for a converter with its address.
  std::u16string link = Utf8ToUtf16(d.Endpoint().Name());
  if (const platform::TcpAddress* converter = d.ConverterBehind())
    link += u" (" + Utf8ToUtf16(converter->Url()) + u")";
  const std::u16string device = platform::Cp1251ToUtf16(platform::SerialPort::DeviceName(d.Port()));
  const std::u16string bytes = platform::Cp1251ToUtf16(scales::TTrace::Dump(e.bytes));
  switch (e.fault) {
    case Fault::None:
    case Fault::BadValue:
    case Fault::UnknownDevice:
      return std::u16string();
    case Fault::NoModel:
      return NoModelText(lang, modelSet);
    case Fault::PortMissing:
      return Text(lang, Msg::PortMissing, {port, device});
    case Fault::PortNoAccess:
      return Text(lang, Msg::PortNoAccess, {port, device});
    case Fault::PortBusy: {
      std::u16string who;
      for (const platform::PortHolder& h : e.holders) {
        if (static_cast<unsigned long>(h.pid) == platform::ProcessId())
          return Text(lang, Msg::PortBusyHere, {port, device});
        if (!who.empty()) who += u", ";
        who += u"PID " + Utf8ToUtf16(std::to_string(h.pid));
        if (!h.name.empty()) who += u" (" + Utf8ToUtf16(h.name) + u")";
      }
      return who.empty() ? Text(lang, Msg::PortBusy, {port, device})
                         : Text(lang, Msg::PortBusyBy, {port, device, who});
    }
    case Fault::PortRefused:
      return Text(lang, Msg::PortRefused, {port, device});
    case Fault::LineSettings:
      return Text(lang, Msg::LineSettings, {port});
    case Fault::Timeouts:
      return Text(lang, Msg::Timeouts, {port});
    case Fault::NotOpen:
    case Fault::CloseFailed:
      return Text(lang, Msg::NotConnected);
    case Fault::CommandFailed:
      return Text(lang, Msg::CommandFailed, {link});
    case Fault::NothingArrived:
      return Text(lang, tcp ? Msg::NothingArrivedTcp : Msg::NothingArrived, {model, link});
    case Fault::NotAReply:
      return Text(lang, Msg::NotAReply, {model, link, bytes});
    case Fault::LineGone:
      return Text(lang, Msg::LineGone, {model, link});
    case Fault::NotAWeight:
      return Text(lang, Msg::NotAWeight, {model, link, platform::Cp1251ToUtf16(e.weightText)});
    case Fault::Unsupported:
      return Text(lang, Msg::ZeroUnsupported, {model});
    case Fault::NoAnswerAfterCommand:
      return Text(lang, Msg::NoAnswerAfterCommand, {model, link});
    case Fault::LinkFailed: {
      // The Russian reason as the link layer words it; the English one from
      // the system's status words, capitalised.
      std::u16string why;
      if (lang == Lang::Ru) {
        const char16_t* text = LinkFailureText(e.link);
        why = text != nullptr ? text : u"";
        if (e.link == platform::TcpStatus::LineRefused && row != nullptr && !e.kept.empty())
          why += u": оставил " + Utf8ToUtf16(e.kept) + u", весам нужно " +
                 Utf8ToUtf16(scales::LineText(row->line));
      } else {
        why = Utf8ToUtf16(e.link == platform::TcpStatus::LineRefused && !e.systemText.empty()
                              ? e.systemText
                              : platform::TcpStatusText(e.link));
        if (!why.empty() && why[0] >= u'a' && why[0] <= u'z')
          why[0] = static_cast<char16_t>(why[0] - 32);
      }
      return Text(lang, Msg::LinkFailed, {link, why});
    }
  }
  return std::u16string();
}

}  // namespace zev::driver
