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
   "неизвестная модель «{1}»; модели: ZEV-U, ZEV-AW, ZEV-NT(N) (писать в точности так)"},
  {M::ErrorLine, "error {1}: {2}", "ошибка {1}: {2}"},
  {M::DeviceTestFailed, "the device test got no weight from the scale",
   "тест устройства не получил вес от весов"},
  {M::WhyNoDevice, "COM{1} stands for no device", "COM{1} не соответствует никакому устройству"},
  {M::WhyMissing, "{1} does not exist", "{1} не существует"},
  {M::WhyMappedTo, "COM{1} is {2}", "COM{1} — это {2}"},
  {M::WhyNoPermission, "this user may not open {1} ({2}): read and write access is needed",
   "у этого пользователя нет прав открыть {1} ({2}): нужны чтение и запись"},
  {M::WhyAddToGroup,
   "add the user to the group \"{1}\", which may read and write it: sudo usermod -aG {1} $USER, "
   "then log in again",
   "добавьте пользователя в группу «{1}», которой разрешены чтение и запись: "
   "sudo usermod -aG {1} $USER, и войдите в систему заново"},
  {M::WhyLogInAgain,
   "the user is in the group \"{1}\" already, but this session began before that: log out and "
   "in again (or, in this terminal only: newgrp {1})",
   "пользователь уже в группе «{1}», но этот сеанс начат раньше: выйдите из системы и войдите "
   "заново (или, только в этом терминале: newgrp {1})"},
  {M::WhyUdevRule,
   "no group a user should join may read and write it: give it one by a udev rule, e.g. the "
   "line SUBSYSTEM==\"tty\", KERNEL==\"{1}\", GROUP=\"dialout\", MODE=\"0660\" in "
   "/etc/udev/rules.d/99-zevscale.rules, then sudo udevadm control --reload && sudo udevadm "
   "trigger, and add the user to dialout",
   "ни одной группе, в которую стоит добавлять пользователей, не разрешены чтение и запись: "
   "задайте её правилом udev, например строкой SUBSYSTEM==\"tty\", KERNEL==\"{1}\", "
   "GROUP=\"dialout\", MODE=\"0660\" в /etc/udev/rules.d/99-zevscale.rules, затем "
   "sudo udevadm control --reload && sudo udevadm trigger, и добавьте пользователя в dialout"},
  {M::WhyOpenNoLock, "{1} is open by {2} without a lock: both read the scale's replies",
   "{1} открыт программой {2} без блокировки: ответы весов читают обе"},
  {M::WhyDcb,
   "the port's driver refused the line settings (4800 baud, 8 data bits, no parity for ZEV-U, "
   "odd for ZEV-AW and ZEV-NT(N)): a virtual or Bluetooth port, or a USB adapter whose driver "
   "does not support them; reinstall the adapter's driver from its maker, or use another port",
   "драйвер порта отверг настройки линии (4800 бод, 8 бит данных, без чётности для ZEV-U, "
   "нечётность для ZEV-AW и ZEV-NT(N)): это виртуальный порт или порт Bluetooth либо "
   "USB-преобразователь, драйвер которого их не поддерживает; переустановите драйвер "
   "преобразователя с сайта производителя или используйте другой порт"},
  {M::WhyBusyBy, "{1} is held by another program: {2}", "{1} занят другой программой: {2}"},
  {M::WhyBusy, "{1} is held by another program", "{1} занят другой программой"},
  {M::WhyOpenError, "{1} cannot be opened: {2}", "{1} не открывается: {2}"},
  {M::WhyNothingArrived, "nothing arrived from the scale within half a second",
   "от весов за полсекунды ничего не пришло"},
  {M::WhyNotAReply, "bytes arrived that are not a {1} reply: {2}",
   "пришли байты, но это не ответ {1}: {2}"},
  {M::WhyNotAWeight, "the {1} reply holds no weight in kilograms: {2}",
   "в ответе {1} нет веса в килограммах: {2}"},
  {M::WhyLineGone, "the line went away: the device was unplugged or closed",
   "линия пропала: устройство отключено или закрыто"},
  {M::WhyUnknownReply, "the scale gave no usable weight", "весы не дали пригодного веса"},
  {M::SeeTrace, "run again with --trace to see the bytes on the line",
   "запустите ещё раз с --trace, чтобы увидеть байты на линии"},
  {M::TraceUnwritable,
   "ZEVSCALE_TRACE: the trace file {1} cannot be written ({2}); the add-in writes no trace there",
   "ZEVSCALE_TRACE: файл трассировки {1} не записывается ({2}); драйвер не сможет писать туда трассировку"},
  {M::PlatformTold, "the driver told the platform: {1}", "драйвер сообщил платформе: {1}"},
  {M::Simulated, "simulated", "имитатор"},
  {M::PortsNone, "no serial ports found", "последовательных портов не найдено"},
  {M::PortFree, "free", "свободен"},
  {M::PortBusy, "busy", "занят"},
  {M::PortBusyBy, "busy: {1}", "занят: {1}"},
  {M::PortMissing, "missing", "нет устройства"},
  {M::PortNoAccess, "no access", "нет доступа"},
  {M::PortNotSerial, "not a serial port", "не последовательный порт"},
  {M::PortShared, "open by {1} without a lock", "открыт без блокировки программой {1}"},
  {M::DirMissing, "the ports directory {1} ({2}) does not exist",
   "каталога портов {1} ({2}) не существует"},
  {M::DirEmpty, "the ports directory {1} ({2}) holds no COM<N> entry",
   "в каталоге портов {1} ({2}) нет ни одной записи COM<N>"},
  {M::DirNotDirectory, "the ports directory {1} ({2}) is not a directory",
   "каталог портов {1} ({2}) — не каталог"},
  {M::DirUnreadable, "the ports directory {1} ({2}) cannot be read",
   "каталог портов {1} ({2}) не читается"},
  {M::DirFromVariable, "set by ZEVSCALE_PORTS", "задан в ZEVSCALE_PORTS"},
  {M::DirDefault, "the default: ZEVSCALE_PORTS is not set",
   "по умолчанию: ZEVSCALE_PORTS не задана"},
  {M::DirRemedy, "map a port to its device so: {1}", "сопоставьте порт устройству так: {1}"},
  {M::DirRemedyVariable,
   "check ZEVSCALE_PORTS for a typing error, or map a port to its device so: {1}",
   "проверьте, нет ли опечатки в ZEVSCALE_PORTS, или сопоставьте порт устройству так: {1}"},
  {M::ScanNone, "no scale answered on {1}", "ни одни весы не ответили на {1}"},
  {M::ScanSettings, "settings for the platform: Model \"{1}\" (\"{2}\" in the list), Port {3} (COM{3})",
   "настройки для платформы: Модель «{1}» (в списке «{2}»), Порт {3} (COM{3})"},
  {M::ScanBestFit, "COM{1}: {2} answers too; {3} fits best: {4}",
   "COM{1}: отвечает и {2}; лучше подходит {3}: {4}"},
  {M::ScanWhyAwOverNt,
   "ZEV-NT(N) reads only the first six bytes of the 18-byte reply, ZEV-AW checks all of it "
   "and keeps the sign and every digit",
   "ZEV-NT(N) читает только первые шесть байт 18-байтного ответа, ZEV-AW проверяет его "
   "целиком и сохраняет знак и все цифры"},
  {M::ScanWhyDistinct, "it was tried first and gave the weight {1}",
   "она проверялась первой и дала вес {1}"},
  {M::ScanTime, "scanned {1} port(s) with {2} model(s) in {3} s",
   "портов: {1}, моделей: {2}, время: {3} с"},
  {M::ScanBytesNoModel, "COM{1}: bytes arrived, but no model reads them as a weight ({2})",
   "COM{1}: байты пришли, но ни одна модель не читает их как вес ({2})"},
  {M::ScanUnavailable, "COM{1}: {2}", "COM{1}: {2}"},
  {M::ScanLate,
   "COM{1}: a scale answers later than half a second after a command; the driver cannot weigh "
   "with it (its replies belong to earlier commands); check the scale's settings and the cable",
   "COM{1}: весы отвечают позже чем через полсекунды после команды; драйвер с ними взвешивать "
   "не сможет (их ответы относятся к прежним командам); проверьте настройки весов и кабель"},
  {M::ScanOnce,
   "COM{1}: {2} answered once but not when asked again: most likely a late reply to an earlier "
   "command (a scale that answers later than half a second after a command)",
   "COM{1}: {2} ответили один раз, но не на повторный запрос: скорее всего, это запоздавший "
   "ответ на предыдущую команду (весы отвечают позже чем через полсекунды)"},
  {M::ScanSkippedConsole,
   "COM{1} ({2}) not tried: the system console is on it; name it in --ports to try it anyway",
   "COM{1} ({2}) не проверялся: на нём системная консоль; чтобы проверить, укажите его в "
   "--ports"},
  {M::ScanSkippedLogin,
   "COM{1} ({2}) not tried: a login line ({3}) is on it; name it in --ports to try it anyway",
   "COM{1} ({2}) не проверялся: на нём вход в систему ({3}); чтобы проверить, укажите его в "
   "--ports"},
  {M::WatchInterrupted, "interrupted", "прервано"},
  {M::InfoClasses, "classes", "классы"},
  {M::InfoComponent, "component", "компонента"},
  {M::InfoInterface, "interface version", "версия интерфейса"},
  {M::InfoVersion, "driver version", "версия драйвера"},
  {M::InfoName, "name", "название"},
  {M::InfoDescription, "description", "описание"},
  {M::InfoType, "equipment type", "тип оборудования"},
  {M::InfoWeb, "web address", "веб-адрес"},
  {M::InfoLibrary, "library", "библиотека"},
  {M::InfoLines, "line settings", "параметры линии"},
  {M::InfoMethods, "methods", "методы"},
  {M::CannotLoad, "cannot load {1}: {2}", "не удаётся загрузить {1}: {2}"},
  {M::NoObject, "the add-in made no TZEV_SCALE_Class object",
   "компонента не создала объект TZEV_SCALE_Class"},
  {M::CannotSimulate, "cannot start the simulated scale: {1}",
   "не удаётся запустить имитатор весов: {1}"},
  {M::NoSimulation,
   "--simulate needs pseudo-terminals, which Windows does not have: connect a scale, or "
   "simulate on Linux (zevscale --simulate, zevsim)",
   "для --simulate нужны псевдотерминалы, а в Windows их нет: подключите весы или "
   "воспользуйтесь имитатором в Linux (zevscale --simulate, zevsim)"},
  {M::AddinOtherBits,
   "{1} is a {2}-bit library and this zevscale is {3}-bit: give --library the {3}-bit "
   "add-in, or run the {2}-bit zevscale",
   "{1} — {2}-битная библиотека, а этот zevscale {3}-битный: укажите в --library "
   "{3}-битную компоненту или запустите {2}-битный zevscale"},
  {M::AddinLacksExports, "{1} is no add-in of this kind: it lacks the exports {2}",
   "{1} — не внешняя компонента такого рода: в ней нет экспортов {2}"},
  {M::NoCommand, "no command given", "не указана команда"},
  {M::UnknownCommand, "unknown command '{1}'", "неизвестная команда '{1}'"},
  {M::NotForCommand, "{1} does not apply to {2}", "{1} не относится к команде {2}"},
  {M::UnknownOption, "unknown option '{1}' for {2}", "неизвестный параметр '{1}' команды {2}"},
  {M::OptionNeeds, "{1} needs {2}", "после {1} нужно указать {2}"},
  {M::NeedPath, "a path", "путь"},
  {M::NeedModel, "a model name", "модель"},
  {M::NeedPortNumber, "a number from 0 to 255 (3 or COM3)", "число от 0 до 255 (3 или COM3)"},
  {M::NeedPortList, "port numbers from 0 to 255, e.g. 3,5,6 or 1-4,7, not '{1}'",
   "номера портов от 0 до 255, например 3,5,6 или 1-4,7, а не '{1}'"},
  {M::NeedTcp, "a converter's address HOST:PORT, e.g. 192.168.1.50:4001, not '{1}'",
   "адрес преобразователя УЗЕЛ:ПОРТ, например 192.168.1.50:4001, а не '{1}'"},
  {M::TcpAlone, "--tcp takes one address and stands instead of --port and --simulate",
   "--tcp принимает один адрес и указывается вместо --port и --simulate"},
  {M::TcpNotHere,
   "--tcp needs a ports directory, which Windows does not have: use the converter maker's "
   "virtual COM port, or zevscale on Linux",
   "для --tcp нужен каталог портов, а в Windows его нет: используйте виртуальный COM-порт "
   "производителя преобразователя или zevscale в Linux"},
  {M::WhyConverter, "COM{1} is the converter {2}", "COM{1} — это преобразователь {2}"},
  {M::WhyConnect, "{1}: {2}", "{1}: {2}"},
  {M::WhyConnectionClosed,
   "the converter closed the connection (another program connected to it, or it restarted)",
   "преобразователь закрыл соединение (к нему подключилась другая программа или он "
   "перезапустился)"},
  {M::TcpResolveFailed, "name not resolved", "имя не найдено"},
  {M::TcpResolveTimedOut, "the name server did not answer within 1 s",
   "сервер имён не ответил за 1 с"},
  {M::TcpRefused, "connection refused", "в соединении отказано"},
  {M::TcpTimedOut, "no answer to the connection within 1 s", "нет ответа на соединение за 1 с"},
  {M::TcpUnreachable, "no route to the host", "нет пути к узлу"},
  {M::TcpClosed, "connection closed by the converter", "соединение закрыто преобразователем"},
  {M::TcpBusy, "the converter is busy with another connection",
   "преобразователь занят другим соединением"},
  {M::TcpFailed, "connection failed", "соединение не удалось"},
  {M::PortConverterOk, "converter, accepts connections", "преобразователь, принимает соединения"},
  {M::PortConverterFails, "converter: {1}", "преобразователь: {1}"},
  {M::ScanSettingsTcp,
   "settings for the equipment library (TZEV_SCALE_4001_Class): Model \"{1}\" (\"{2}\" in the "
   "list), Connection \"TCP\", Host \"{3}\", TCPPort {4}",
   "настройки для библиотеки подключаемого оборудования (TZEV_SCALE_4001_Class): Модель (Model) "
   "«{1}» (в списке «{2}»), Подключение (Connection) «TCP», Адрес преобразователя (Host) «{3}», "
   "TCP-порт (TCPPort) {4}"},
  {M::UsageTcp,
   "  --tcp HOST:PORT    a scale behind an Ethernet-to-serial converter (raw TCP), instead of "
   "--port\n",
   "  --tcp УЗЕЛ:ПОРТ    весы за преобразователем Ethernet–RS-232 (raw TCP), вместо --port\n"},
  {M::NeedModelList, "models, e.g. ZEV-U,ZEV-AW", "модели, например ZEV-U,ZEV-AW"},
  {M::NeedMillis, "milliseconds", "миллисекунды"},
  {M::NeedNumber, "a number", "число"},
  {M::CountNeedsWatch, "--count 0 needs --watch", "--count 0 возможен только с --watch"},
  {M::CommandNeeds, "{1} needs {2}", "команде {1} нужен {2}"},
  {M::UsageCommon,
   "  --library PATH     the add-in to load (default: the one beside this program)\n"
   "  --json             print the result as JSON\n",
   "  --library ПУТЬ     какую компоненту загрузить (по умолчанию ту, что рядом с программой)\n"
   "  --json             вывести результат в JSON\n"},
  {M::UsageTrace,
   "  --trace            the add-in's line trace on standard error (as ZEVSCALE_TRACE=stderr)\n",
   "  --trace            трассировка линии компонентой в stderr (как ZEVSCALE_TRACE=stderr)\n"},
  {M::UsageSim,
   "  --simulate         run against a simulated scale on a pseudo-terminal\n"
   "  --sim-weight KG    the weight the simulated scale shows (default 0.5)\n"
   "  --sim-silent       the simulated scale never answers\n"
   "  --sim-delay MS     it answers MS milliseconds late\n"
   "  --sim-noise        it sends noise without end\n"
   "  --sim-hang-up      it closes the line when a command arrives\n"
   "  --sim-missing N    it leaves out the last N bytes of each reply\n"
   "  --sim-extra N      it sends N bytes more with each reply\n",
   "  --simulate         работать с имитатором весов на псевдотерминале\n"
   "  --sim-weight КГ    вес, который показывает имитатор (по умолчанию 0,5)\n"
   "  --sim-silent       имитатор никогда не отвечает\n"
   "  --sim-delay МС     он отвечает с опозданием на МС миллисекунд\n"
   "  --sim-noise        он без конца шлёт шум\n"
   "  --sim-hang-up      он закрывает линию, когда приходит команда\n"
   "  --sim-missing N    он не досылает последние N байт ответа\n"
   "  --sim-extra N      он шлёт N лишних байт после ответа\n"},
  {M::UsageScale,
   "  --model M          ZEV-U, ZEV-AW or ZEV-NT(N)\n"
   "  --port N           COM port number\n",
   "  --model МОДЕЛЬ     ZEV-U, ZEV-AW или ZEV-NT(N)\n"
   "  --port N           номер COM-порта\n"},
  {M::UsageRepeat,
   "  --interval MS      pause between weighings (default 500)\n"
   "  --count K          weighings to make (default 1; with --watch, 0 = until Ctrl-C)\n",
   "  --interval МС      пауза между взвешиваниями (по умолчанию 500)\n"
   "  --count K          сколько раз взвесить (по умолчанию 1; с --watch 0 = до Ctrl-C)\n"},
  {M::UsageInfo,
   "usage: zevscale info [options]\n\nThe add-in's class, component, version, description and "
   "methods.\n\n",
   "использование: zevscale info [параметры]\n\nКласс, компонента, версия, описание и методы "
   "компоненты.\n\n"},
  {M::UsageSettings,
   "usage: zevscale settings [--model M] [--port N] [options]\n\nThe settings page the driver "
   "gives the platform.\n\n  --model M          set the model first\n"
   "  --port N           set the port first\n",
   "использование: zevscale settings [--model МОДЕЛЬ] [--port N] [параметры]\n\nСтраница настроек, "
   "которую драйвер отдаёт платформе.\n\n  --model МОДЕЛЬ     сначала задать модель\n"
   "  --port N           сначала задать порт\n"},
  {M::UsageTest,
   "usage: zevscale test --model M --port N [options]\n\nThe driver's device test.\n\n",
   "использование: zevscale test --model МОДЕЛЬ --port N [параметры]\n\nТест устройства "
   "драйвером.\n\n"},
  {M::UsageWeigh,
   "usage: zevscale weigh --model M --port N [--watch] [--interval MS] [--count K] [options]\n\n"
   "Opens the scale, weighs and closes it.\n\n"
   "  --watch            keep weighing (as zevscale watch)\n",
   "использование: zevscale weigh --model МОДЕЛЬ --port N [--watch] [--interval МС] [--count K] "
   "[параметры]\n\nОткрывает весы, взвешивает и закрывает их.\n\n"
   "  --watch            взвешивать непрерывно (как zevscale watch)\n"},
  {M::UsageWatch,
   "usage: zevscale watch --model M --port N [--interval MS] [--count K] [options]\n\n"
   "Weighs until Ctrl-C (exit status 130): one line updated in place on a terminal\n"
   "(the reading's number, its time and the weight, then a summary), one line per\n"
   "reading with its time otherwise, one JSON object per reading with --json.\n"
   "Failures are shown in place and the weighing goes on. A weight that may be a late\n"
   "reply to an earlier command says so.\n\n",
   "использование: zevscale watch --model МОДЕЛЬ --port N [--interval МС] [--count K] [параметры]\n\n"
   "Взвешивает до Ctrl-C (код выхода 130): в терминале одна строка обновляется на месте\n"
   "(номер показания, время и вес, в конце итог), иначе строка со временем на каждое\n"
   "взвешивание, с --json объект JSON на каждое взвешивание. Ошибки показываются на\n"
   "месте веса, взвешивание продолжается. Вес, который может быть запоздавшим ответом\n"
   "на прежнюю команду, помечен.\n\n"},
  {M::UsageTare,
   "usage: zevscale tare --model M --port N (--weight W | --cancel) [options]\n\n"
   "Sends the scale its tare command: the scale tares the load on it. No model's\n"
   "command carries a weight: W is what the platform would pass, and it is not sent.\n"
   "The scale does not confirm the command; weigh to check.\n\n"
   "  --weight W         tare the load (W in kilograms; not 0 for ZEV-U, where the\n"
   "                     driver takes 0 as the cancel command)\n"
   "  --cancel           cancel the tare (ZEV-U only)\n",
   "использование: zevscale tare --model МОДЕЛЬ --port N (--weight ВЕС | --cancel) [параметры]\n\n"
   "Посылает весам команду тарирования: весы берут за тару груз, который на них лежит.\n"
   "Команда ни одной модели не несёт веса: ВЕС — то, что передала бы платформа, он не\n"
   "отправляется. Весы команду не подтверждают; проверьте взвешиванием.\n\n"
   "  --weight ВЕС       тарировать груз (ВЕС в килограммах; для ZEV-U не 0 — драйвер\n"
   "                     понимает 0 как команду отмены тары)\n"
   "  --cancel           отменить тару (только ZEV-U)\n"},
  {M::UsageZero,
   "usage: zevscale zero --model M --port N [options]\n\nSends the scale its zero command "
   "(ZEV-U only: ZEV-AW and ZEV-NT(N) have none,\nand nothing is sent to them). The scale does "
   "not confirm it; weigh to check.\n\n",
   "использование: zevscale zero --model МОДЕЛЬ --port N [параметры]\n\nПосылает весам команду "
   "установки нуля (только ZEV-U: у ZEV-AW и ZEV-NT(N)\nеё нет, им ничего не отправляется). "
   "Весы её не подтверждают; проверьте взвешиванием.\n\n"},
  {M::UsagePorts,
   "usage: zevscale ports [--json]\n\nThe machine's serial ports: the COM<N> entries of the ports "
   "directory\n(ZEVSCALE_PORTS, default /etc/zevscale/ports) with their devices, then the\n"
   "serial devices no entry maps; whether each is free or busy, and by whom.\n\n"
   "  --json             print the result as JSON\n",
   "использование: zevscale ports [--json]\n\nПоследовательные порты компьютера: записи COM<N> "
   "каталога портов\n(ZEVSCALE_PORTS, по умолчанию /etc/zevscale/ports) с их устройствами, "
   "затем\nустройства без записи; свободен ли каждый порт или занят, и кем.\n\n"
   "  --json             вывести результат в JSON\n"},
  {M::UsageScan,
   "usage: zevscale scan [--ports LIST] [--models LIST] [options]\n\nFinds which model answers "
   "on which port: every port at once, each with its\nown driver object, weighing commands "
   "only. Exit status 0 when a scale answered.\n\n"
   "  --ports LIST       COM numbers, e.g. 3,5,6 (default: 1 to 8 and every mapped one,\n"
   "                     less those with the system console or a login line on them)\n"
   "  --tcp LIST         converters' addresses, e.g. 192.168.1.50:4001,192.168.1.51:4001\n"
   "  --models LIST      e.g. ZEV-U,ZEV-AW (default: all three)\n"
   "  --simulate         ZEV-U on COM3, ZEV-AW on COM4, ZEV-NT(N) on COM5, simulated\n"
   "  --sim-weight KG    the weight they show (default 0.5)\n",
   "использование: zevscale scan [--ports СПИСОК] [--models СПИСОК] [параметры]\n\nИщет, какая "
   "модель отвечает на каком порту: все порты сразу, у каждого свой\nобъект драйвера, только "
   "команды взвешивания. Код выхода 0, если весы ответили.\n\n"
   "  --ports СПИСОК     номера COM, например 3,5,6 (по умолчанию 1-8 и все из каталога,\n"
   "                     кроме портов с системной консолью или входом в систему)\n"
   "  --tcp СПИСОК       адреса преобразователей, например 192.168.1.50:4001,192.168.1.51:4001\n"
   "  --models СПИСОК    например ZEV-U,ZEV-AW (по умолчанию все три)\n"
   "  --simulate         имитаторы: ZEV-U на COM3, ZEV-AW на COM4, ZEV-NT(N) на COM5\n"
   "  --sim-weight КГ    их вес (по умолчанию 0,5)\n"},
  {M::UsageCheck,
   "usage: zevscale check --model M --port N [options]\n\nPlays the sequence of the platform's "
   "equipment library against TZEV_SCALE_4001_Class: revision, version, description, settings "
   "page, parameters, test, localisation, connect, weigh, tare, the additional action, "
   "disconnect; ends with what to enter in the drivers catalogue. With --simulate a second "
   "scale is connected on the same object, and the settings form's test runs while both are "
   "connected. On a real scale the tare and the zero are sent only when asked.\n\n",
   "использование: zevscale check --model МОДЕЛЬ --port N [параметры]\n\nПроходит "
   "последовательность библиотеки подключаемого оборудования с классом TZEV_SCALE_4001_Class: "
   "ревизия, версия, описание, страница настроек, параметры, тест, локализация, подключение, "
   "вес, тара, дополнительное действие, отключение; в конце — что ввести в справочник "
   "драйверов. С --simulate к тому же объекту подключаются вторые весы, и тест формы настроек "
   "идёт, пока подключены обе. Реальным весам тара и обнуление отправляются, только если "
   "попросить.\n\n"},
  {M::UsageCheckOptions,
   "  --with-tare        send the tare to a real scale too\n"
   "  --with-zero        send the zero to a real scale too\n"
   "  --english          call the methods by their English names\n",
   "  --with-tare        отправить тару и реальным весам\n"
   "  --with-zero        отправить обнуление и реальным весам\n"
   "  --english          вызывать методы по английским именам\n"},
  {M::CheckCreated, "object created", "объект создан"},
  {M::CheckPassed, "every step passed", "все шаги пройдены"},
  {M::CheckFailedSteps, "steps failed: {1}", "не пройдены шаги: {1}"},
  {M::CheckCatalogue, "enter in the drivers catalogue:", "ввести в справочник драйверов:"},
  {M::CheckClass, "class name", "имя класса"},
  {M::CheckModel, "Model", "Модель"},
  {M::CheckPort, "Port", "Порт"},
  {M::CheckConnection, "Connection", "Подключение"},
  {M::CheckHost, "Converter address", "Адрес преобразователя"},
  {M::CheckTcpPort, "TCP port", "TCP-порт"},
  {M::CheckExpectedRefusal, "refused, as this model does", "отказ, как и должно быть у этой модели"},
  {M::CheckTareNotSent, "the tare ({1}) was not sent to the scale: add --with-tare to send it",
   "тара ({1}) весам не отправлялась: чтобы отправить, добавьте --with-tare"},
  {M::CheckZeroNotSent,
   "the zero ({1} Zeroing) was not sent to the scale: add --with-zero to send it",
   "обнуление ({1} Zeroing) весам не отправлялось: чтобы отправить, добавьте --with-zero"},
  {M::CheckNotThroughConnection, "the test did not go through the open connection «{1}»",
   "тест прошёл не через открытое подключение «{1}»"},
  {M::InfoRevision, "interface revision", "ревизия интерфейса"},
  {M::InfoClass, "class", "класс"},
  {M::UsageMain,
   "usage: zevscale COMMAND [options]\n\n"
   "Commands:\n"
   "  ports      the machine's serial ports, free or busy\n"
   "  scan       find which scale model answers on which port\n"
   "  weigh      weigh once (or repeatedly)\n"
   "  watch      weigh until Ctrl-C\n"
   "  test       the device test\n"
   "  tare       tare the scale\n"
   "  zero       set the scale to zero\n"
   "  listen     send one weighing command and show every byte that arrives\n"
   "  report     write one file to send to support\n"
   "  info       the add-in's identity and methods\n"
   "  settings   the settings page\n"
   "  check      play the equipment library's sequence (TZEV_SCALE_4001_Class)\n\n"
   "zevscale COMMAND --help shows a command's options; zevscale --version its version.\n"
   "ZEVSCALE_TRACE=FILE (or stderr) makes the add-in trace the line, here and in the platform.\n",
   "использование: zevscale КОМАНДА [параметры]\n\n"
   "Команды:\n"
   "  ports      последовательные порты компьютера, свободные и занятые\n"
   "  scan       найти, какая модель весов отвечает на каком порту\n"
   "  weigh      взвесить (один раз или несколько)\n"
   "  watch      взвешивать до Ctrl-C\n"
   "  test       тест устройства\n"
   "  tare       тарировать весы\n"
   "  zero       установить ноль\n"
   "  listen     послать команду взвешивания и показать каждый пришедший байт\n"
   "  report     записать один файл для отправки в поддержку\n"
   "  info       сведения о компоненте и её методы\n"
   "  settings   страница настроек\n"
   "  check      пройти последовательность библиотеки оборудования (TZEV_SCALE_4001_Class)\n\n"
   "zevscale КОМАНДА --help покажет параметры команды; zevscale --version — версию.\n"
   "ZEVSCALE_TRACE=ФАЙЛ (или stderr) включает трассировку линии компонентой, здесь и в "
   "платформе.\n"},
  {M::UsageListen,
   "usage: zevscale listen --model M --port N [--seconds S] [options]\n\nSends the model's "
   "weighing command once and shows every byte that arrives,\nwith its time after the command, "
   "for S seconds (default 3): a late or\nchattering scale as it is. The add-in is not used.\n\n"
   "  --seconds S        how long to listen (default 3)\n",
   "использование: zevscale listen --model МОДЕЛЬ --port N [--seconds S] [параметры]\n\nОдин раз "
   "посылает команду взвешивания модели и показывает каждый пришедший\nбайт со временем от "
   "команды, S секунд (по умолчанию 3): весы, которые\nопаздывают или болтают, — как есть. "
   "Компонента не используется.\n\n"
   "  --seconds S        сколько слушать (по умолчанию 3)\n"},
  {M::ListenHeading, "{1}, {2}: {3}, sent {4}; listening {5} s",
   "{1}, {2}: {3}, отправлено {4}; слушаю {5} с"},
  {M::ListenNothing, "nothing arrived in {1} s", "за {1} с ничего не пришло"},
  {M::ListenSummary, "{1} bytes in {2} piece(s)", "байт: {1}, кусков: {2}"},
  {M::ListenFrame, "a whole {1} reply, {2} ms after the command: the driver reads it",
   "целый ответ {1}, через {2} мс после команды: драйвер его прочтёт"},
  {M::ListenLateFrame,
   "a whole {1} reply, but {2} ms after the command: the driver stops waiting after about 530 ms",
   "целый ответ {1}, но через {2} мс после команды: драйвер ждёт только около 530 мс"},
  {M::ListenNoFrame, "no {1} reply among them", "ответа {1} среди них нет"},
  {M::ListenOtherFrame, "these are a {1} reply, not a {2} one",
   "это ответ {1}, а не {2}"},
  {M::NeedSeconds, "a number of seconds from 1 to 60", "число секунд от 1 до 60"},
  {M::ScanOutAnswer, "answers", "отвечает"},
  {M::ScanOutLate,
   "answers late ({1} ms, as {2}): the driver stops waiting after about 530 ms; check the "
   "scale's settings and the cable",
   "отвечает поздно ({1} мс, как {2}): драйвер ждёт только около 530 мс; проверьте настройки "
   "весов и кабель"},
  {M::ScanOutNoAnswer, "no answer to {1}", "нет ответа на команды {1}"},
  {M::ScanOutNotAReply, "not a reply: {1}", "не ответ: {1}"},
  {M::ScanOutLooksLike, "it is a {1} reply, a model not tried (--models)",
   "это ответ {1}, модели, которую не пробовали (--models)"},
  {M::ScanOutNoneTried, "none of the models tried ({1}) reads it",
   "ни одна из опробованных моделей ({1}) его не читает"},
  {M::ScanOutMissing, "missing: {1}", "нет устройства: {1}"},
  {M::ScanOutBusy, "busy: {1}", "занят: {1}"},
  {M::ScanOutNoAccess, "no access: {1}", "нет доступа: {1}"},
  {M::ScanOutSameDevice, "same device as COM{1} ({2})", "то же устройство, что COM{1} ({2})"},
  {M::ScanAboveEight,
   "COM{1}: the settings page offers Port 1 to 8 only; give this adapter a free number from 1 "
   "to 8 (Linux: a COM<N> entry in the ports directory; Windows: Device Manager, the port's "
   "Properties, Port Settings, Advanced, COM Port Number)",
   "COM{1}: на странице настроек есть только порты 1–8; дайте этому преобразователю свободный "
   "номер от 1 до 8 (Linux: запись COM<N> в каталоге портов; Windows: Диспетчер устройств, "
   "свойства порта, «Параметры порта», «Дополнительно», «Номер COM-порта»)"},
  {M::ScanSignLost,
   "COM{1}: the reply is a ZEV-AW frame; read as ZEV-NT(N) it loses its sign (a negative "
   "weight reads as positive): use ZEV-AW",
   "COM{1}: это кадр ZEV-AW; как ZEV-NT(N) он читается без знака (отрицательный вес станет "
   "положительным): выберите ZEV-AW"},
  {M::ScanProgress, "scanning: {1} of {2} ports done", "поиск: готово портов {1} из {2}"},
  {M::DidYouMean, "did you mean {1}?", "может быть, {1}?"},
  {M::UsageReport,
   "usage: zevscale report [--model M --port N | --tcp HOST:PORT] [--output FILE] [options]\n\n"
   "Writes one text file to send to support: the tool's version, the add-in it\n"
   "loads and its path, the system and its C library, the ports directory, the\n"
   "ports, a scan, with --model and --port (or --tcp) a weighing with the\n"
   "add-in's line trace, and the last lines of ZEVSCALE_TRACE's file. Exit status\n"
   "0 when the file was written, whatever it holds.\n\n"
   "  --output FILE      the file to write (default: zevscale-report-DATE-TIME.txt\n"
   "                     in the current folder; - for standard output)\n",
   "использование: zevscale report [--model МОДЕЛЬ --port N | --tcp УЗЕЛ:ПОРТ] [--output ФАЙЛ] "
   "[параметры]\n\n"
   "Записывает один текстовый файл для поддержки: версию программы, загруженную\n"
   "компоненту и путь к ней, систему и её библиотеку C, каталог портов, порты,\n"
   "поиск весов, с --model и --port (или --tcp) — взвешивание с трассировкой\n"
   "линии и последние строки файла из ZEVSCALE_TRACE. Код выхода 0, если файл\n"
   "записан, что бы в нём ни было.\n\n"
   "  --output ФАЙЛ      куда записать (по умолчанию zevscale-report-ДАТА-ВРЕМЯ.txt\n"
   "                     в текущей папке; - — в стандартный вывод)\n"},
  {M::ReportTitle, "ZEVScale: a report for support, {1}", "ZEVScale: отчёт для поддержки, {1}"},
  {M::ReportTool, "The tool", "Программа"},
  {M::ReportAddin, "The add-in", "Компонента"},
  {M::ReportSystem, "The system", "Система"},
  {M::ReportPortsDirectory, "The ports directory", "Каталог портов"},
  {M::ReportPorts, "Ports (zevscale ports)", "Порты (zevscale ports)"},
  {M::ReportScan, "Scan (zevscale scan)", "Поиск весов (zevscale scan)"},
  {M::ReportWeighing, "Weighing with the line trace (zevscale weigh --trace)",
   "Взвешивание с трассировкой линии (zevscale weigh --trace)"},
  {M::ReportTraceFile, "The trace file (ZEVSCALE_TRACE)", "Файл трассировки (ZEVSCALE_TRACE)"},
  {M::ReportProgram, "program", "программа"},
  {M::ReportNotLoaded, "not done: the add-in is not loaded ({1})",
   "не выполнено: компонента не загружена ({1})"},
  {M::ReportNoWeighing,
   "not done: no scale named; give --model and --port (or --tcp) to weigh one",
   "не выполнено: весы не указаны; чтобы взвесить, укажите --model и --port (или --tcp)"},
  {M::ReportOs, "system", "система"},
  {M::ReportCLibrary, "C library", "библиотека C"},
  {M::ReportUser, "user", "пользователь"},
  {M::ReportDirFromVariable, "{1} (from ZEVSCALE_PORTS)", "{1} (из ZEVSCALE_PORTS)"},
  {M::ReportDirDefault, "{1} (ZEVSCALE_PORTS is not set)", "{1} (ZEVSCALE_PORTS не задана)"},
  {M::ReportDirNone, "none on this system: the system names the COM ports itself",
   "в этой системе его нет: COM-порты называет сама система"},
  {M::ReportDirMissing,
   "it does not exist ({1}): no COM<N> stands for a device; make it and link the ports, "
   "e.g. sudo mkdir -p {2} && sudo ln -s /dev/ttyUSB0 {2}/COM3",
   "его нет ({1}): ни один COM<N> не указывает на устройство; создайте его и сделайте ссылки "
   "на порты, например sudo mkdir -p {2} && sudo ln -s /dev/ttyUSB0 {2}/COM3"},
  {M::ReportDirNotDirectory, "it is not a directory", "это не каталог"},
  {M::ReportDirUnreadable, "it cannot be read: {1}", "его не прочитать: {1}"},
  {M::ReportDirEmpty, "it is empty", "он пуст"},
  {M::ReportTraceUnset, "ZEVSCALE_TRACE is not set: the add-in writes no trace",
   "ZEVSCALE_TRACE не задана: компонента не пишет трассировку"},
  {M::ReportTraceStderr, "ZEVSCALE_TRACE={1}: the trace goes to standard error, no file to read",
   "ZEVSCALE_TRACE={1}: трассировка идёт в stderr, читать нечего"},
  {M::ReportTraceUnreadable, "{1}: cannot be read: {2}", "{1}: не прочитать: {2}"},
  {M::ReportTraceLast, "{1}: its last {2} line(s):", "{1}: последние строки ({2}):"},
  {M::ReportTraceEmpty, "{1}: empty", "{1}: пуст"},
  {M::ReportSectionFailed, "(exit status {1})", "(код выхода {1})"},
  {M::ReportWritten, "Report written to {1}; send it to support.",
   "Отчёт записан в {1}; отправьте его в поддержку."},
  {M::ReportCannotWrite, "cannot write the report to {1}: {2}",
   "не удаётся записать отчёт в {1}: {2}"},
  {M::WatchAfterSilence,
   "the scale answers late: the command before got no reply in time, this reading may belong "
   "to it",
   "весы отвечают поздно: прежняя команда не получила ответа вовремя, это показание может "
   "относиться к ней"},
  {M::WatchAfterLate,
   "the scale answers late: the reading before may have been an earlier command's reply, and "
   "so may this one",
   "весы отвечают поздно: предыдущее показание могло быть ответом на прежнюю команду, и это "
   "тоже"},
  {M::WatchSummary, "{1} readings, {2} failures", "показаний: {1}, сбоев: {2}"},
  {M::WatchSummaryLate, "{1} readings, {2} failures, {3} of them possibly late",
   "показаний: {1}, сбоев: {2}, возможно запоздавших: {3}"},
  {M::ErrorNoText, "error {1}, with no text from the driver", "ошибка {1}, драйвер не дал текста"},
  {M::TareSent,
   "tare command sent{1}: the scale tares the load on it; the weight given ({2}) is not sent, "
   "the command carries none",
   "команда тарирования отправлена{1}: весы берут за тару груз, который на них лежит; "
   "указанный вес ({2}) не отправляется, в команде веса нет"},
  {M::TareCancelSent, "tare cancel command sent{1}", "команда отмены тары отправлена{1}"},
  {M::ZeroSent, "zero command sent{1}", "команда установки нуля отправлена{1}"},
  {M::NotConfirmed, "the scale does not confirm it; to check, weigh: {1}",
   "весы её не подтверждают; чтобы проверить, взвесьте: {1}"},
  {M::ZeroNone, "{1} has no zero command; nothing was sent",
   "у {1} нет команды установки нуля; ничего не отправлено"},
  {M::TareNeeds,
   "tare needs --weight W (the scale tares the load on it) or --cancel (the tare is cancelled)",
   "команде tare нужен --weight ВЕС (весы берут за тару груз на них) или --cancel (тара "
   "отменяется)"},
  {M::TareBoth, "--weight and --cancel exclude each other",
   "--weight и --cancel не указываются вместе"},
  {M::TareNoCancel,
   "--cancel: {1} has no command that cancels a tare (its one tare command tares the load); "
   "nothing to send",
   "--cancel: у {1} нет команды отмены тары (её единственная команда тары тарирует груз); "
   "отправлять нечего"},
  {M::TareZeroU,
   "--weight 0: the driver takes a tare of 0 on ZEV-U as the command that cancels the tare; "
   "give --cancel for that, or the weight of the load",
   "--weight 0: драйвер понимает тару 0 у ZEV-U как команду отмены тары; для отмены укажите "
   "--cancel, иначе — вес груза"},
  {M::ReplyShort, "{1} of {2} bytes: the reply was cut short",
   "{1} из {2} байт: ответ оборван"},
  {M::ReplyWholeAndMore, "a whole reply and {1} more bytes",
   "целый ответ и после него лишние байты: {1}"},
  {M::ReplyLonger, "{1} bytes, {2} more than a reply of {3}",
   "{1} байт, на {2} больше ответа из {3}"},
  {M::ReplyComma, "weight with a comma (\"{1}\"): the driver reads a full stop",
   "вес с запятой («{1}»): драйвер читает точку"},
  {M::ReplyClosed, "{1} of {2} bytes, then the converter closed the connection",
   "{1} из {2} байт, затем преобразователь закрыл соединение"},
  {M::ConverterBusy,
   "the converter is busy with another connection: it answered \"{1}\" and closed the "
   "connection; close the program that holds it (the maker's virtual COM port, another "
   "zevscale or 1C session)",
   "преобразователь занят другим соединением: он ответил «{1}» и закрыл соединение; закройте "
   "программу, которая его держит (виртуальный COM-порт производителя, другой zevscale или "
   "сеанс 1С)"},
  {M::ConverterClosesAtOnce,
   "the converter closed the connection before anything was sent to it: most likely it is "
   "busy with another connection",
   "преобразователь закрыл соединение, прежде чем ему что-либо отправили: скорее всего, он "
   "занят другим соединением"},
  {M::ConverterTelnet,
   "the converter is in Telnet mode ({1}): the driver refuses its options and weighs through "
   "it; where weighings still fail, set it to a TCP server without a protocol (Raw)",
   "преобразователь в режиме Telnet ({1}): драйвер отказывается от его параметров и взвешивает "
   "через него; если взвешивания всё же не проходят, переключите его в режим TCP-сервера без "
   "протокола (Raw)"},
  {M::PortConverterGreets,
   "converter, accepts connections; before anything is sent to it, it sends {1}",
   "преобразователь, принимает соединения; прежде чем ему что-либо отправили, он присылает {1}"},
  {M::ScanOutRefused,
   "refused the connection: check the TCP port and that the converter is a TCP server; one "
   "that takes a single connection refuses others while it has one",
   "отказ в соединении: проверьте TCP-порт и что преобразователь в режиме TCP-сервера; "
   "принимающий одно соединение отказывает остальным, пока оно есть"},
  {M::ScanOutConnectTimeout,
   "no answer to the connection within 1 s: check the address, that the converter is on, and "
   "the firewall",
   "нет ответа на соединение за 1 с: проверьте адрес, питание преобразователя и сетевой экран"},
  {M::ScanOutNoConnection, "no connection: {1}", "нет соединения: {1}"},
  {M::ScanOutNotSerial, "not a serial port: {1}", "не последовательный порт: {1}"},
  {M::ScanOutSameConverter, "same converter as {1}", "тот же преобразователь, что {1}"},
  {M::ListenBefore, "before the command: {1}", "до команды: {1}"},
  {M::ListenClosed, "the converter closed the connection {1} ms after the command",
   "преобразователь закрыл соединение через {1} мс после команды"},
  {M::EntryNearAddress,
   "almost a converter's address: {1}; the first line must read tcp://HOST:PORT{2}",
   "почти адрес преобразователя: {1}; первая строка должна быть tcp://УЗЕЛ:ПОРТ{2}"},
  {M::EntryFix, ", here {1}", ", здесь {1}"},
  {M::EntryBom,
   "it begins with an invisible byte order mark (EF BB BF) that some editors write: save the "
   "file as UTF-8 without BOM",
   "она начинается с невидимой метки порядка байтов (EF BB BF), которую пишут некоторые "
   "редакторы: сохраните файл в UTF-8 без BOM"},
  {M::EntryBlank, "it begins with a blank", "она начинается с пробела"},
  {M::EntryCapitals, "\"{1}\" is written in small letters: tcp://",
   "«{1}» пишется строчными буквами: tcp://"},
  {M::EntryNoScheme, "the address stands without tcp:// before it",
   "перед адресом нет tcp://"},
  {M::EntryNoPort, "no TCP port after the host", "после узла нет TCP-порта"},
  {M::EntryBadAddress, "what follows tcp:// is not HOST:PORT with a port from 1 to 65535",
   "после tcp:// идёт не УЗЕЛ:ПОРТ с портом от 1 до 65535"},
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
