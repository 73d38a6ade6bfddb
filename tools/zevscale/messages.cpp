#include "messages.h"

#include <iterator>

namespace zev::cli {
namespace {

struct Entry {
  M id;
  const char* english;
  const char* russian;
};

// clang-format off
const Entry kCatalogue[] = {
  {M::Kg, "kg", "кг"},
  {M::UnknownModel,
   "unknown model \"{1}\"; the models are ZEV-U, ZEV-AW, ZEV-NT(N) (exactly so written)",
   "неизвестная модель \"{1}\"; модели: ZEV-U, ZEV-AW, ZEV-NT(N) (писать в точности так)"},
  {M::ErrorLine, "error {1}: {2}", "ошибка {1}: {2}"},
  {M::NoDriverText, "(the driver gave no text)", "(драйвер не дал текста ошибки)"},
  {M::DeviceTestFailed, "the device test got no weight from the scale",
   "тест устройства не получил вес от весов"},
  {M::WhyNoDevice, "COM{1} stands for no device", "COM{1} не соответствует никакому устройству"},
  {M::WhyMissing, "{1} does not exist", "{1} не существует"},
  {M::WhyMappedTo, "COM{1} is {2}", "COM{1} — это {2}"},
  {M::WhyNoPermission, "this user may not open {1} (read and write access needed)",
   "у этого пользователя нет прав открыть {1} (нужны чтение и запись)"},
  {M::WhyDialout,
   "on Debian add the user to the group \"{1}\": sudo usermod -aG {1} $USER, then log in again",
   "в Debian добавьте пользователя в группу \"{1}\": sudo usermod -aG {1} $USER и войдите заново"},
  {M::WhyBusyBy, "{1} is held by another program: {2}", "{1} занят другой программой: {2}"},
  {M::WhyBusy, "{1} is held by another program", "{1} занят другой программой"},
  {M::WhyOpenError, "{1} cannot be opened: {2}", "{1} не открывается: {2}"},
  {M::WhyNothingArrived, "nothing arrived from the scale within half a second",
   "от весов за полсекунды ничего не пришло"},
  {M::WhyNotAReply, "bytes arrived that are not a {1} reply: {2}",
   "пришли байты, но это не ответ {1}: {2}"},
  {M::WhyLineGone, "the line went away (device unplugged or closed)",
   "линия пропала (устройство отключено или закрыто)"},
  {M::WhyUnknownReply, "the scale gave no usable weight", "весы не дали пригодного веса"},
  {M::SeeTrace, "run again with --trace to see the bytes on the line",
   "запустите ещё раз с --trace, чтобы увидеть байты на линии"},
  {M::Tared, "tared", "тара установлена"},
  {M::Zeroed, "zeroed", "ноль установлен"},
  {M::Simulated, "simulated", "симулятор"},
  {M::PortsNone, "no serial ports found", "последовательных портов не найдено"},
  {M::PortFree, "free", "свободен"},
  {M::PortBusy, "busy", "занят"},
  {M::PortBusyBy, "busy: {1}", "занят: {1}"},
  {M::PortMissing, "missing", "нет устройства"},
  {M::PortNoAccess, "no access", "нет доступа"},
  {M::ScanNone, "no scale answered on {1}", "ни одни весы не ответили на {1}"},
  {M::ScanSettings, "settings for the platform: Model \"{1}\", Port {2}",
   "настройки для платформы: Модель \"{1}\", Порт {2}"},
  {M::ScanBestFit, "COM{1}: {2} answers too; {3} fits best: {4}",
   "COM{1}: отвечает и {2}; лучше подходит {3}: {4}"},
  {M::ScanWhyAwOverNt,
   "ZEV-NT(N) reads only the first six bytes of the 18-byte reply, ZEV-AW checks all of it "
   "and keeps the sign and every digit",
   "ZEV-NT(N) читает только первые шесть байт 18-байтного ответа, ZEV-AW проверяет его "
   "целиком и сохраняет знак и все цифры"},
  {M::ScanWhyDistinct, "it was tried first and gave the weight {1}",
   "она проверялась первой и дала вес {1}"},
  {M::ScanTime, "{1} ports x {2} models in {3} s", "{1} портов x {2} моделей за {3} с"},
  {M::ScanBytesNoModel, "COM{1}: bytes arrived, but no model reads them as a weight ({2})",
   "COM{1}: байты пришли, но ни одна модель не читает их как вес ({2})"},
  {M::ScanUnavailable, "COM{1}: {2}", "COM{1}: {2}"},
  {M::WatchInterrupted, "interrupted", "прервано"},
  {M::InfoClasses, "classes", "классы"},
  {M::InfoComponent, "component", "компонента"},
  {M::InfoInterface, "interface version", "версия интерфейса"},
  {M::InfoVersion, "driver version", "версия драйвера"},
  {M::InfoName, "name", "название"},
  {M::InfoDescription, "description", "описание"},
  {M::InfoType, "equipment type", "тип оборудования"},
  {M::InfoWeb, "web address", "веб-адрес"},
  {M::InfoMethods, "methods", "методы"},
  {M::CannotLoad, "cannot load {1}: {2}", "не удаётся загрузить {1}: {2}"},
  {M::NoObject, "the add-in made no TZEV_SCALE_Class object",
   "компонента не создала объект TZEV_SCALE_Class"},
  {M::CannotSimulate, "cannot start the simulated scale: {1}",
   "не удаётся запустить симулятор весов: {1}"},
};
// clang-format on

}  // namespace

std::string Text(Lang lang, M id, std::initializer_list<std::string> args) {
  std::string text;
  for (const Entry& e : kCatalogue) {
    if (e.id == id) text = lang == Lang::Russian ? e.russian : e.english;
  }
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '{' && i + 2 < text.size() && text[i + 2] == '}' && text[i + 1] >= '1' &&
        text[i + 1] <= '9') {
      const size_t n = static_cast<size_t>(text[i + 1] - '1');
      if (n < args.size()) out += *std::next(args.begin(), static_cast<long>(n));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

Lang LanguageOf(const std::string& locale) {
  return locale.rfind("ru", 0) == 0 ? Lang::Russian : Lang::English;
}

}  // namespace zev::cli
