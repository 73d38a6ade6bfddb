#include "messages.h"

namespace zev::cli {
namespace {

// clang-format off
constexpr platform::MessageRow<M, char> kCatalogue[] = {
  {M::Kg, "кг", "kg"},
  {M::UnknownModel,
   "неизвестная модель «%1»; модели: %2 (писать в точности так)",
   "unknown model \"%1\"; the models are %2 (exactly so written)"},
  {M::ErrorLine, "ошибка %1: %2", "error %1: %2"},
  {M::DeviceTestFailed,
   "тест устройства не получил вес от весов",
   "the device test got no weight from the scale"},
  {M::WhyNoDevice, "COM%1 не соответствует никакому устройству", "COM%1 stands for no device"},
  {M::WhyMissing, "%1 не существует", "%1 does not exist"},
  {M::WhyMappedTo, "COM%1 — это %2", "COM%1 is %2"},
  {M::WhyNoPermission,
   "у этого пользователя нет прав открыть %1 (%2): нужны чтение и запись",
   "this user may not open %1 (%2): read and write access is needed"},
  {M::WhyAddToGroup,
   "добавьте пользователя в группу «%1», которой разрешены чтение и запись: "
   "sudo usermod -aG %1 $USER, и войдите в систему заново",
   "add the user to the group \"%1\", which may read and write it: sudo usermod -aG %1 $USER, "
   "then log in again"},
  {M::WhyLogInAgain,
   "пользователь уже в группе «%1», но этот сеанс начат раньше: выйдите из системы и войдите "
   "заново (или, только в этом терминале: newgrp %1)",
   "the user is in the group \"%1\" already, but this session began before that: log out and "
   "in again (or, in this terminal only: newgrp %1)"},
  {M::WhyUdevRule,
   "ни одной группе, в которую стоит добавлять пользователей, не разрешены чтение и запись: "
   "задайте её правилом udev, например строкой SUBSYSTEM==\"tty\", KERNEL==\"%1\", "
   "GROUP=\"dialout\", MODE=\"0660\" в /etc/udev/rules.d/99-zevscale.rules, затем "
   "sudo udevadm control --reload && sudo udevadm trigger, и добавьте пользователя в dialout",
   "no group a user should join may read and write it: give it one by a udev rule, e.g. the "
   "line SUBSYSTEM==\"tty\", KERNEL==\"%1\", GROUP=\"dialout\", MODE=\"0660\" in "
   "/etc/udev/rules.d/99-zevscale.rules, then sudo udevadm control --reload && sudo udevadm "
   "trigger, and add the user to dialout"},
  {M::WhyOpenNoLock,
   "%1 открыт программой %2 без блокировки: ответы весов читают обе",
   "%1 is open by %2 without a lock: both read the scale's replies"},
  {M::WhyDcb,
   "драйвер порта отверг настройки линии (4800 бод, 8 бит данных, без чётности для ZEV-U, "
   "нечётность для ZEV-AW и ZEV-NT(N)): это виртуальный порт или порт Bluetooth либо "
   "USB-преобразователь, драйвер которого их не поддерживает; переустановите драйвер "
   "преобразователя с сайта производителя или используйте другой порт",
   "the port's driver refused the line settings (4800 baud, 8 data bits, no parity for ZEV-U, "
   "odd for ZEV-AW and ZEV-NT(N)): a virtual or Bluetooth port, or a USB adapter whose driver "
   "does not support them; reinstall the adapter's driver from its maker, or use another port"},
  {M::WhyBusyBy, "%1 занят другой программой: %2", "%1 is held by another program: %2"},
  {M::WhyBusy, "%1 занят другой программой", "%1 is held by another program"},
  {M::WhyOpenError, "%1 не открывается: %2", "%1 cannot be opened: %2"},
  {M::WhyNothingArrived,
   "от весов за полсекунды ничего не пришло",
   "nothing arrived from the scale within half a second"},
  {M::WhyNotAReply,
   "пришли байты, но это не ответ %1: %2",
   "bytes arrived that are not a %1 reply: %2"},
  {M::WhyNotAWeight,
   "в ответе %1 нет веса в килограммах: %2",
   "the %1 reply holds no weight in kilograms: %2"},
  {M::WhyLineGone,
   "линия пропала: устройство отключено или закрыто",
   "the line went away: the device was unplugged or closed"},
  {M::WhyUnknownReply, "весы не дали пригодного веса", "the scale gave no usable weight"},
  {M::SeeTrace,
   "запустите ещё раз с --trace, чтобы увидеть байты на линии",
   "run again with --trace to see the bytes on the line"},
  {M::TraceUnwritable,
   "ZEVSCALE_TRACE: файл трассировки %1 не записывается (%2); драйвер не сможет писать туда трассировку",
   "ZEVSCALE_TRACE: the trace file %1 cannot be written (%2); the add-in writes no trace there"},
  {M::PlatformTold, "драйвер сообщил платформе: %1", "the driver told the platform: %1"},
  {M::Simulated, "имитатор", "simulated"},
  {M::PortsNone, "последовательных портов не найдено", "no serial ports found"},
  {M::PortFree, "свободен", "free"},
  {M::PortBusy, "занят", "busy"},
  {M::PortBusyBy, "занят: %1", "busy: %1"},
  {M::PortMissing, "нет устройства", "missing"},
  {M::PortNoAccess, "нет доступа", "no access"},
  {M::PortNotSerial, "не последовательный порт", "not a serial port"},
  {M::PortShared, "открыт без блокировки программой %1", "open by %1 without a lock"},
  {M::DirMissing,
   "каталога портов %1 (%2) не существует",
   "the ports directory %1 (%2) does not exist"},
  {M::DirEmpty,
   "в каталоге портов %1 (%2) нет ни одной записи COM<N>",
   "the ports directory %1 (%2) holds no COM<N> entry"},
  {M::DirNotDirectory,
   "каталог портов %1 (%2) — не каталог",
   "the ports directory %1 (%2) is not a directory"},
  {M::DirUnreadable,
   "каталог портов %1 (%2) не читается",
   "the ports directory %1 (%2) cannot be read"},
  {M::DirFromVariable, "задан в ZEVSCALE_PORTS", "set by ZEVSCALE_PORTS"},
  {M::DirDefault,
   "по умолчанию: ZEVSCALE_PORTS не задана",
   "the default: ZEVSCALE_PORTS is not set"},
  {M::DirRemedy, "сопоставьте порт устройству так: %1", "map a port to its device so: %1"},
  {M::DirRemedyVariable,
   "проверьте, нет ли опечатки в ZEVSCALE_PORTS, или сопоставьте порт устройству так: %1",
   "check ZEVSCALE_PORTS for a typing error, or map a port to its device so: %1"},
  {M::ScanNone, "ни одни весы не ответили на %1", "no scale answered on %1"},
  {M::ScanSettings,
   "настройки для платформы: Модель «%1» (в списке «%2»), Порт %3 (COM%3)",
   "settings for the platform: Model \"%1\" (\"%2\" in the list), Port %3 (COM%3)"},
  {M::ScanBestFit,
   "COM%1: отвечает и %2; лучше подходит %3: %4",
   "COM%1: %2 answers too; %3 fits best: %4"},
  {M::ScanWhyAwOverNt,
   "ZEV-NT(N) читает только первые шесть байт 18-байтного ответа, ZEV-AW проверяет его "
   "целиком и сохраняет знак и все цифры",
   "ZEV-NT(N) reads only the first six bytes of the 18-byte reply, ZEV-AW checks all of it "
   "and keeps the sign and every digit"},
  {M::ScanWhyDistinct,
   "она проверялась первой и дала вес %1",
   "it was tried first and gave the weight %1"},
  {M::ScanTime,
   "портов: %1, моделей: %2, время: %3 с",
   "scanned %1 port(s) with %2 model(s) in %3 s"},
  {M::ScanBytesNoModel,
   "COM%1: байты пришли, но ни одна модель не читает их как вес (%2)",
   "COM%1: bytes arrived, but no model reads them as a weight (%2)"},
  {M::ScanUnavailable, "COM%1: %2", "COM%1: %2"},
  {M::ScanLate,
   "COM%1: весы отвечают позже чем через полсекунды после команды; драйвер с ними взвешивать "
   "не сможет (их ответы относятся к прежним командам); проверьте настройки весов и кабель",
   "COM%1: a scale answers later than half a second after a command; the driver cannot weigh "
   "with it (its replies belong to earlier commands); check the scale's settings and the cable"},
  {M::ScanOnce,
   "COM%1: %2 ответили один раз, но не на повторный запрос: скорее всего, это запоздавший "
   "ответ на предыдущую команду (весы отвечают позже чем через полсекунды)",
   "COM%1: %2 answered once but not when asked again: most likely a late reply to an earlier "
   "command (a scale that answers later than half a second after a command)"},
  {M::ScanSkippedConsole,
   "COM%1 (%2) не проверялся: на нём системная консоль; чтобы проверить, укажите его в "
   "--ports",
   "COM%1 (%2) not tried: the system console is on it; name it in --ports to try it anyway"},
  {M::ScanSkippedLogin,
   "COM%1 (%2) не проверялся: на нём вход в систему (%3); чтобы проверить, укажите его в "
   "--ports",
   "COM%1 (%2) not tried: a login line (%3) is on it; name it in --ports to try it anyway"},
  {M::WatchInterrupted, "прервано", "interrupted"},
  {M::InfoClasses, "классы", "classes"},
  {M::InfoComponent, "компонента", "component"},
  {M::InfoInterface, "версия интерфейса", "interface version"},
  {M::InfoVersion, "версия драйвера", "driver version"},
  {M::InfoName, "название", "name"},
  {M::InfoDescription, "описание", "description"},
  {M::InfoType, "тип оборудования", "equipment type"},
  {M::InfoWeb, "веб-адрес", "web address"},
  {M::InfoMethods, "методы", "methods"},
  {M::InfoLibrary, "библиотека", "library"},
  {M::InfoLines, "параметры линии", "line settings"},
  {M::CannotLoad, "не удаётся загрузить %1: %2", "cannot load %1: %2"},
  {M::NoObject, "компонента не создала объект %1", "the add-in made no %1 object"},
  {M::CannotSimulate,
   "не удаётся запустить имитатор весов: %1",
   "cannot start the simulated scale: %1"},
  {M::NoSimulation,
   "для --simulate нужны псевдотерминалы, а в Windows их нет: подключите весы или "
   "воспользуйтесь имитатором в Linux (zevscale --simulate, zevsim)",
   "--simulate needs pseudo-terminals, which Windows does not have: connect a scale, or "
   "simulate on Linux (zevscale --simulate, zevsim)"},
  {M::AddinOtherBits,
   "%1 — %2-битная библиотека, а этот zevscale %3-битный: укажите в --library "
   "%3-битную компоненту или запустите %2-битный zevscale",
   "%1 is a %2-bit library and this zevscale is %3-bit: give --library the %3-bit "
   "add-in, or run the %2-bit zevscale"},
  {M::AddinLacksExports,
   "%1 — не внешняя компонента такого рода: в ней нет экспортов %2",
   "%1 is no add-in of this kind: it lacks the exports %2"},
  {M::NoCommand, "не указана команда", "no command given"},
  {M::UnknownCommand, "неизвестная команда '%1'", "unknown command '%1'"},
  {M::NotForCommand, "%1 не относится к команде %2", "%1 does not apply to %2"},
  {M::UnknownOption, "неизвестный параметр '%1' команды %2", "unknown option '%1' for %2"},
  {M::OptionNeeds, "после %1 нужно указать %2", "%1 needs %2"},
  {M::NeedPath, "путь", "a path"},
  {M::NeedModel, "модель", "a model name"},
  {M::NeedPortNumber, "число от 0 до 255 (3 или COM3)", "a number from 0 to 255 (3 or COM3)"},
  {M::NeedPortList,
   "номера портов от 0 до 255, например 3,5,6 или 1-4,7, а не '%1'",
   "port numbers from 0 to 255, e.g. 3,5,6 or 1-4,7, not '%1'"},
  {M::NeedTcp,
   "адрес преобразователя УЗЕЛ:ПОРТ, например 192.168.1.50:4001, а не '%1'",
   "a converter's address HOST:PORT, e.g. 192.168.1.50:4001, not '%1'"},
  {M::TcpAlone,
   "--tcp принимает один адрес и указывается вместо --port и --simulate",
   "--tcp takes one address and stands instead of --port and --simulate"},
  {M::TcpNotHere,
   "--tcp: первый класс работает с преобразователем только через каталог портов, а его нет; "
   "укажите --class 4001",
   "--tcp: the first class reaches a converter only through a ports directory, and there is "
   "none; give --class 4001"},
  {M::WhyConverter, "COM%1 — это преобразователь %2", "COM%1 is the converter %2"},
  {M::WhyConnect, "%1: %2", "%1: %2"},
  {M::WhyConnectionClosed,
   "преобразователь закрыл соединение (к нему подключилась другая программа или он "
   "перезапустился)",
   "the converter closed the connection (another program connected to it, or it restarted)"},
  {M::TcpResolveFailed, "имя не найдено", "name not resolved"},
  {M::TcpResolveTimedOut,
   "сервер имён не ответил за 1 с",
   "the name server did not answer within 1 s"},
  {M::TcpRefused, "в соединении отказано", "connection refused"},
  {M::TcpTimedOut, "нет ответа на соединение за 1 с", "no answer to the connection within 1 s"},
  {M::TcpUnreachable, "нет пути к узлу", "no route to the host"},
  {M::TcpClosed, "соединение закрыто преобразователем", "connection closed by the converter"},
  {M::TcpBusy,
   "преобразователь занят другим соединением",
   "the converter is busy with another connection"},
  {M::TcpNoLineControl,
   "преобразователь не принимает настройки линии от драйвера (нет RFC 2217)",
   "the converter does not take line settings (no RFC 2217)"},
  {M::TcpLineRefused,
   "преобразователь не принял настройки линии весов",
   "the converter refused the scale's line settings"},
  {M::TcpFailed, "соединение не удалось", "connection failed"},
  {M::PortConverterOk, "преобразователь, принимает соединения", "converter, accepts connections"},
  {M::PortConverterFails, "преобразователь: %1", "converter: %1"},
  {M::ScanSettingsTcp,
   "настройки для библиотеки подключаемого оборудования (TZEV_SCALE_4001_Class): Модель (Model) "
   "«%1» (в списке «%2»), Подключение (Connection) «TCP», Адрес преобразователя (Host) «%3», "
   "TCP-порт (TCPPort) %4",
   "settings for the equipment library (TZEV_SCALE_4001_Class): Model \"%1\" (\"%2\" in the "
   "list), Connection \"TCP\", Host \"%3\", TCPPort %4"},
  {M::UsageTcp,
   "  --tcp УЗЕЛ:ПОРТ    весы за преобразователем Ethernet–RS-232 (raw TCP), вместо --port\n",
   "  --tcp HOST:PORT    a scale behind an Ethernet-to-serial converter (raw TCP), instead of "
   "--port\n"},
  {M::NeedModelList, "модели, например ZEV-U,ZEV-AW", "models, e.g. ZEV-U,ZEV-AW"},
  {M::NeedMillis, "миллисекунды", "milliseconds"},
  {M::NeedNumber, "число", "a number"},
  {M::CountNeedsWatch, "--count 0 возможен только с --watch", "--count 0 needs --watch"},
  {M::CommandNeeds, "команде %1 нужен %2", "%1 needs %2"},
  {M::UsageCommon,
   "  --library ПУТЬ     какую компоненту загрузить (по умолчанию ту, что рядом с программой)\n"
   "  --json             вывести результат в JSON\n",
   "  --library PATH     the add-in to load (default: the one beside this program)\n"
   "  --json             print the result as JSON\n"},
  {M::UsageTrace,
   "  --trace            трассировка линии компонентой в stderr (как ZEVSCALE_TRACE=stderr)\n",
   "  --trace            the add-in's line trace on standard error (as ZEVSCALE_TRACE=stderr)\n"},
  {M::UsageSim,
   "  --simulate         работать с имитатором весов на псевдотерминале\n"
   "  --sim-weight КГ    вес, который показывает имитатор (по умолчанию 0,5)\n"
   "  --sim-silent       имитатор никогда не отвечает\n"
   "  --sim-delay МС     он отвечает с опозданием на МС миллисекунд\n"
   "  --sim-noise        он без конца шлёт шум\n"
   "  --sim-hang-up      он закрывает линию, когда приходит команда\n"
   "  --sim-missing N    он не досылает последние N байт ответа\n"
   "  --sim-extra N      он шлёт N лишних байт после ответа\n",
   "  --simulate         run against a simulated scale on a pseudo-terminal\n"
   "  --sim-weight KG    the weight the simulated scale shows (default 0.5)\n"
   "  --sim-silent       the simulated scale never answers\n"
   "  --sim-delay MS     it answers MS milliseconds late\n"
   "  --sim-noise        it sends noise without end\n"
   "  --sim-hang-up      it closes the line when a command arrives\n"
   "  --sim-missing N    it leaves out the last N bytes of each reply\n"
   "  --sim-extra N      it sends N bytes more with each reply\n"},
  {M::UsageScale,
   "  --model МОДЕЛЬ     ZEV-U, ZEV-AW или ZEV-NT(N)\n"
   "  --port N           номер COM-порта\n",
   "  --model M          ZEV-U, ZEV-AW or ZEV-NT(N)\n"
   "  --port N           COM port number\n"},
  {M::UsageRepeat,
   "  --interval МС      пауза между взвешиваниями (по умолчанию 500)\n"
   "  --count K          сколько раз взвесить (по умолчанию 1; с --watch 0 = до Ctrl-C)\n",
   "  --interval MS      pause between weighings (default 500)\n"
   "  --count K          weighings to make (default 1; with --watch, 0 = until Ctrl-C)\n"},
  {M::UsageInfo,
   "использование: zevscale info [параметры]\n\nКласс, компонента, версия, описание и методы "
   "компоненты.\n\n",
   "usage: zevscale info [options]\n\nThe add-in's class, component, version, description and "
   "methods.\n\n"},
  {M::UsageSettings,
   "использование: zevscale settings [--model МОДЕЛЬ] [--port N] [параметры]\n\nСтраница настроек, "
   "которую драйвер отдаёт платформе.\n\n  --model МОДЕЛЬ     сначала задать модель\n"
   "  --port N           сначала задать порт\n",
   "usage: zevscale settings [--model M] [--port N] [options]\n\nThe settings page the driver "
   "gives the platform.\n\n  --model M          set the model first\n"
   "  --port N           set the port first\n"},
  {M::UsageTest,
   "использование: zevscale test --model МОДЕЛЬ --port N [параметры]\n\nТест устройства "
   "драйвером.\n\n",
   "usage: zevscale test --model M --port N [options]\n\nThe driver's device test.\n\n"},
  {M::UsageWeigh,
   "использование: zevscale weigh --model МОДЕЛЬ --port N [--watch] [--interval МС] [--count K] "
   "[параметры]\n\nОткрывает весы, взвешивает и закрывает их.\n\n"
   "  --watch            взвешивать непрерывно (как zevscale watch)\n",
   "usage: zevscale weigh --model M --port N [--watch] [--interval MS] [--count K] [options]\n\n"
   "Opens the scale, weighs and closes it.\n\n"
   "  --watch            keep weighing (as zevscale watch)\n"},
  {M::UsageWatch,
   "использование: zevscale watch --model МОДЕЛЬ --port N [--interval МС] [--count K] [параметры]\n\n"
   "Взвешивает до Ctrl-C (код выхода 130): в терминале одна строка обновляется на месте\n"
   "(номер показания, время и вес, в конце итог), иначе строка со временем на каждое\n"
   "взвешивание, с --json объект JSON на каждое взвешивание. Ошибки показываются на\n"
   "месте веса, взвешивание продолжается. Вес, который может быть запоздавшим ответом\n"
   "на прежнюю команду, помечен.\n\n",
   "usage: zevscale watch --model M --port N [--interval MS] [--count K] [options]\n\n"
   "Weighs until Ctrl-C (exit status 130): one line updated in place on a terminal\n"
   "(the reading's number, its time and the weight, then a summary), one line per\n"
   "reading with its time otherwise, one JSON object per reading with --json.\n"
   "Failures are shown in place and the weighing goes on. A weight that may be a late\n"
   "reply to an earlier command says so.\n\n"},
  {M::UsageTare,
   "использование: zevscale tare --model МОДЕЛЬ --port N (--weight ВЕС | --cancel) [параметры]\n\n"
   "Посылает весам команду тарирования: весы берут за тару груз, который на них лежит.\n"
   "Команда ни одной модели не несёт веса: ВЕС — то, что передала бы платформа, он не\n"
   "отправляется. Весы команду не подтверждают; проверьте взвешиванием.\n\n"
   "  --weight ВЕС       тарировать груз (ВЕС в килограммах; для ZEV-U не 0 — драйвер\n"
   "                     понимает 0 как команду отмены тары)\n"
   "  --cancel           отменить тару (только ZEV-U)\n",
   "usage: zevscale tare --model M --port N (--weight W | --cancel) [options]\n\n"
   "Sends the scale its tare command: the scale tares the load on it. No model's\n"
   "command carries a weight: W is what the platform would pass, and it is not sent.\n"
   "The scale does not confirm the command; weigh to check.\n\n"
   "  --weight W         tare the load (W in kilograms; not 0 for ZEV-U, where the\n"
   "                     driver takes 0 as the cancel command)\n"
   "  --cancel           cancel the tare (ZEV-U only)\n"},
  {M::UsageZero,
   "использование: zevscale zero --model МОДЕЛЬ --port N [параметры]\n\nПосылает весам команду "
   "установки нуля (только ZEV-U: у ZEV-AW и ZEV-NT(N)\nеё нет, им ничего не отправляется). "
   "Весы её не подтверждают; проверьте взвешиванием.\n\n",
   "usage: zevscale zero --model M --port N [options]\n\nSends the scale its zero command "
   "(ZEV-U only: ZEV-AW and ZEV-NT(N) have none,\nand nothing is sent to them). The scale does "
   "not confirm it; weigh to check.\n\n"},
  {M::UsagePorts,
   "использование: zevscale ports [--json]\n\nПоследовательные порты компьютера: записи COM<N> "
   "каталога портов\n(ZEVSCALE_PORTS, по умолчанию /etc/zevscale/ports) с их устройствами, "
   "затем\nустройства без записи; свободен ли каждый порт или занят, и кем.\n\n"
   "  --json             вывести результат в JSON\n",
   "usage: zevscale ports [--json]\n\nThe machine's serial ports: the COM<N> entries of the ports "
   "directory\n(ZEVSCALE_PORTS, default /etc/zevscale/ports) with their devices, then the\n"
   "serial devices no entry maps; whether each is free or busy, and by whom.\n\n"
   "  --json             print the result as JSON\n"},
  {M::UsageScan,
   "использование: zevscale scan [--ports СПИСОК] [--models СПИСОК] [параметры]\n\nИщет, какая "
   "модель отвечает на каком порту: все порты сразу, у каждого свой\nобъект драйвера, только "
   "команды взвешивания. Код выхода 0, если весы ответили.\n\n"
   "  --ports СПИСОК     номера COM, например 3,5,6 (по умолчанию 1-8 и все из каталога,\n"
   "                     кроме портов с системной консолью или входом в систему)\n",
   "usage: zevscale scan [--ports LIST] [--models LIST] [options]\n\nFinds which model answers "
   "on which port: every port at once, each with its\nown driver object, weighing commands "
   "only. Exit status 0 when a scale answered.\n\n"
   "  --ports LIST       COM numbers, e.g. 3,5,6 (default: 1 to 8 and every mapped one,\n"
   "                     less those with the system console or a login line on them)\n"},
  {M::UsageCheck,
   "использование: zevscale check --model МОДЕЛЬ --port N [параметры]\n\nПроходит "
   "последовательность библиотеки подключаемого оборудования с классом TZEV_SCALE_4001_Class: "
   "ревизия, версия, описание, страница настроек, параметры, тест, локализация, подключение, "
   "вес, тара, дополнительное действие, отключение; в конце — что ввести в справочник "
   "драйверов. С --simulate к тому же объекту подключаются вторые весы, и тест формы настроек "
   "идёт, пока подключены обе. Реальным весам тара и обнуление отправляются, только если "
   "попросить.\n\n",
   "usage: zevscale check --model M --port N [options]\n\nPlays the sequence of the platform's "
   "equipment library against TZEV_SCALE_4001_Class: revision, version, description, settings "
   "page, parameters, test, localisation, connect, weigh, tare, the additional action, "
   "disconnect; ends with what to enter in the drivers catalogue. With --simulate a second "
   "scale is connected on the same object, and the settings form's test runs while both are "
   "connected. On a real scale the tare and the zero are sent only when asked.\n\n"},
  {M::UsageCheckOptions,
   "  --with-tare        отправить тару и реальным весам\n"
   "  --with-zero        отправить обнуление и реальным весам\n"
   "  --english          вызывать методы по английским именам\n",
   "  --with-tare        send the tare to a real scale too\n"
   "  --with-zero        send the zero to a real scale too\n"
   "  --english          call the methods by their English names\n"},
  {M::UsageMain,
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
   "платформе.\n",
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
   "ZEVSCALE_TRACE=FILE (or stderr) makes the add-in trace the line, here and in the platform.\n"},
  {M::CheckCreated, "объект создан", "object created"},
  {M::CheckPassed, "все шаги пройдены", "every step passed"},
  {M::CheckFailedSteps, "не пройдены шаги: %1", "steps failed: %1"},
  {M::CheckCatalogue, "ввести в справочник драйверов:", "enter in the drivers catalogue:"},
  {M::CheckClass, "имя класса", "class name"},
  {M::CheckModel, "Модель", "Model"},
  {M::CheckPort, "Порт", "Port"},
  {M::CheckConnection, "Подключение", "Connection"},
  {M::CheckHost, "Адрес преобразователя", "Converter address"},
  {M::CheckTcpPort, "TCP-порт", "TCP port"},
  {M::CheckExpectedRefusal,
   "отказ, как и должно быть у этой модели",
   "refused, as this model does"},
  {M::CheckTareNotSent,
   "тара (%1) весам не отправлялась: чтобы отправить, добавьте --with-tare",
   "the tare (%1) was not sent to the scale: add --with-tare to send it"},
  {M::CheckZeroNotSent,
   "обнуление (%1 Zeroing) весам не отправлялось: чтобы отправить, добавьте --with-zero",
   "the zero (%1 Zeroing) was not sent to the scale: add --with-zero to send it"},
  {M::CheckNotThroughConnection,
   "тест прошёл не через открытое подключение «%1»",
   "the test did not go through the open connection «%1»"},
  {M::InfoRevision, "ревизия интерфейса", "interface revision"},
  {M::InfoClass, "класс", "class"},
  {M::UsageListen,
   "использование: zevscale listen --model МОДЕЛЬ --port N [--seconds S] [параметры]\n\nОдин раз "
   "посылает команду взвешивания модели и показывает каждый пришедший\nбайт со временем от "
   "команды, S секунд (по умолчанию 3): весы, которые\nопаздывают или болтают, — как есть. "
   "Компонента не используется.\n\n"
   "  --seconds S        сколько слушать (по умолчанию 3)\n",
   "usage: zevscale listen --model M --port N [--seconds S] [options]\n\nSends the model's "
   "weighing command once and shows every byte that arrives,\nwith its time after the command, "
   "for S seconds (default 3): a late or\nchattering scale as it is. The add-in is not used.\n\n"
   "  --seconds S        how long to listen (default 3)\n"},
  {M::ListenHeading,
   "%1, %2: %3, отправлено %4; слушаю %5 с",
   "%1, %2: %3, sent %4; listening %5 s"},
  {M::ListenNothing, "за %1 с ничего не пришло", "nothing arrived in %1 s"},
  {M::ListenSummary, "байт: %1, кусков: %2", "%1 bytes in %2 piece(s)"},
  {M::ListenFrame,
   "целый ответ %1, через %2 мс после команды: драйвер его прочтёт",
   "a whole %1 reply, %2 ms after the command: the driver reads it"},
  {M::ListenLateFrame,
   "целый ответ %1, но через %2 мс после команды: драйвер ждёт только около 530 мс",
   "a whole %1 reply, but %2 ms after the command: the driver stops waiting after about 530 ms"},
  {M::ListenNoFrame, "ответа %1 среди них нет", "no %1 reply among them"},
  {M::ListenOtherFrame, "это ответ %1, а не %2", "these are a %1 reply, not a %2 one"},
  {M::NeedSeconds, "число секунд от 1 до 60", "a number of seconds from 1 to 60"},
  {M::ScanOutAnswer, "отвечает", "answers"},
  {M::ScanOutLate,
   "отвечает поздно (%1 мс, как %2): драйвер ждёт только около 530 мс; проверьте настройки "
   "весов и кабель",
   "answers late (%1 ms, as %2): the driver stops waiting after about 530 ms; check the "
   "scale's settings and the cable"},
  {M::ScanOutNoAnswer, "нет ответа на команды %1", "no answer to %1"},
  {M::ScanOutNotAReply, "не ответ: %1", "not a reply: %1"},
  {M::ScanOutLooksLike,
   "это ответ %1, модели, которую не пробовали (--models)",
   "it is a %1 reply, a model not tried (--models)"},
  {M::ScanOutNoneTried,
   "ни одна из опробованных моделей (%1) его не читает",
   "none of the models tried (%1) reads it"},
  {M::ScanOutMissing, "нет устройства: %1", "missing: %1"},
  {M::ScanOutBusy, "занят: %1", "busy: %1"},
  {M::ScanOutNoAccess, "нет доступа: %1", "no access: %1"},
  {M::ScanOutSameDevice, "то же устройство, что COM%1 (%2)", "same device as COM%1 (%2)"},
  {M::ScanAboveEight,
   "COM%1: на странице настроек есть только порты 1–8; дайте этому преобразователю свободный "
   "номер от 1 до 8 (Linux: запись COM<N> в каталоге портов; Windows: Диспетчер устройств, "
   "свойства порта, «Параметры порта», «Дополнительно», «Номер COM-порта»)",
   "COM%1: the settings page offers Port 1 to 8 only; give this adapter a free number from 1 "
   "to 8 (Linux: a COM<N> entry in the ports directory; Windows: Device Manager, the port's "
   "Properties, Port Settings, Advanced, COM Port Number)"},
  {M::ScanSignLost,
   "COM%1: это кадр ZEV-AW; как ZEV-NT(N) он читается без знака (отрицательный вес станет "
   "положительным): выберите ZEV-AW",
   "COM%1: the reply is a ZEV-AW frame; read as ZEV-NT(N) it loses its sign (a negative "
   "weight reads as positive): use ZEV-AW"},
  {M::ScanProgress, "поиск: готово портов %1 из %2", "scanning: %1 of %2 ports done"},
  {M::DidYouMean, "может быть, %1?", "did you mean %1?"},
  {M::ScanOutNoise,
   "шум: байты идут без перерыва (%1), ни одного ответа %2; проверьте скорость линии, кабель и "
   "то, что подключено к порту",
   "noise: bytes come without a pause (%1), no reply of %2; check the line's speed, the cable and "
   "what is connected to the port"},
  {M::UsageReport,
   "использование: zevscale report [--model МОДЕЛЬ --port N | --tcp УЗЕЛ:ПОРТ] [--output ФАЙЛ] "
   "[параметры]\n\n"
   "Записывает один текстовый файл для поддержки: версию программы, загруженную\n"
   "компоненту и путь к ней, систему и её библиотеку C, каталог портов, порты,\n"
   "поиск весов, с --model и --port (или --tcp) — взвешивание с трассировкой\n"
   "линии и последние строки файла из ZEVSCALE_TRACE. Код выхода 0, если файл\n"
   "записан, что бы в нём ни было.\n\n"
   "  --output ФАЙЛ      куда записать (по умолчанию zevscale-report-ДАТА-ВРЕМЯ.txt\n"
   "                     в текущей папке; - — в стандартный вывод)\n",
   "usage: zevscale report [--model M --port N | --tcp HOST:PORT] [--output FILE] [options]\n\n"
   "Writes one text file to send to support: the tool's version, the add-in it\n"
   "loads and its path, the system and its C library, the ports directory, the\n"
   "ports, a scan, with --model and --port (or --tcp) a weighing with the\n"
   "add-in's line trace, and the last lines of ZEVSCALE_TRACE's file. Exit status\n"
   "0 when the file was written, whatever it holds.\n\n"
   "  --output FILE      the file to write (default: zevscale-report-DATE-TIME.txt\n"
   "                     in the current folder; - for standard output)\n"},
  {M::ReportTitle, "ZEVScale: отчёт для поддержки, %1", "ZEVScale: a report for support, %1"},
  {M::ReportTool, "Программа", "The tool"},
  {M::ReportAddin, "Компонента", "The add-in"},
  {M::ReportSystem, "Система", "The system"},
  {M::ReportPortsDirectory, "Каталог портов", "The ports directory"},
  {M::ReportPorts, "Порты (zevscale ports)", "Ports (zevscale ports)"},
  {M::ReportScan, "Поиск весов (zevscale scan)", "Scan (zevscale scan)"},
  {M::ReportWeighing,
   "Взвешивание с трассировкой линии (zevscale weigh --trace)",
   "Weighing with the line trace (zevscale weigh --trace)"},
  {M::ReportTraceFile, "Файл трассировки (ZEVSCALE_TRACE)", "The trace file (ZEVSCALE_TRACE)"},
  {M::ReportProgram, "программа", "program"},
  {M::ReportNotLoaded,
   "не выполнено: компонента не загружена (%1)",
   "not done: the add-in is not loaded (%1)"},
  {M::ReportNoWeighing,
   "не выполнено: весы не указаны; чтобы взвесить, укажите --model и --port (или --tcp)",
   "not done: no scale named; give --model and --port (or --tcp) to weigh one"},
  {M::ReportOs, "система", "system"},
  {M::ReportCLibrary, "библиотека C", "C library"},
  {M::ReportUser, "пользователь", "user"},
  {M::ReportDirFromVariable, "%1 (из ZEVSCALE_PORTS)", "%1 (from ZEVSCALE_PORTS)"},
  {M::ReportDirDefault, "%1 (ZEVSCALE_PORTS не задана)", "%1 (ZEVSCALE_PORTS is not set)"},
  {M::ReportDirNone,
   "в этой системе его нет: COM-порты называет сама система",
   "none on this system: the system names the COM ports itself"},
  {M::ReportDirMissing,
   "его нет (%1): ни один COM<N> не указывает на устройство; создайте его и сделайте ссылки "
   "на порты, например sudo mkdir -p %2 && sudo ln -s /dev/ttyUSB0 %2/COM3",
   "it does not exist (%1): no COM<N> stands for a device; make it and link the ports, "
   "e.g. sudo mkdir -p %2 && sudo ln -s /dev/ttyUSB0 %2/COM3"},
  {M::ReportDirNotDirectory, "это не каталог", "it is not a directory"},
  {M::ReportDirUnreadable, "его не прочитать: %1", "it cannot be read: %1"},
  {M::ReportDirEmpty, "он пуст", "it is empty"},
  {M::ReportTraceUnset,
   "ZEVSCALE_TRACE не задана: компонента не пишет трассировку",
   "ZEVSCALE_TRACE is not set: the add-in writes no trace"},
  {M::ReportTraceStderr,
   "ZEVSCALE_TRACE=%1: трассировка идёт в stderr, читать нечего",
   "ZEVSCALE_TRACE=%1: the trace goes to standard error, no file to read"},
  {M::ReportTraceUnreadable, "%1: не прочитать: %2", "%1: cannot be read: %2"},
  {M::ReportTraceLast, "%1: последние строки (%2):", "%1: its last %2 line(s):"},
  {M::ReportTraceEmpty, "%1: пуст", "%1: empty"},
  {M::ReportSectionFailed, "(код выхода %1)", "(exit status %1)"},
  {M::ReportWritten,
   "Отчёт записан в %1; отправьте его в поддержку.",
   "Report written to %1; send it to support."},
  {M::ReportCannotWrite, "не удаётся записать отчёт в %1: %2", "cannot write the report to %1: %2"},
  {M::WatchAfterSilence,
   "весы отвечают поздно: прежняя команда не получила ответа вовремя, это показание может "
   "относиться к ней",
   "the scale answers late: the command before got no reply in time, this reading may belong "
   "to it"},
  {M::WatchAfterLate,
   "весы отвечают поздно: предыдущее показание могло быть ответом на прежнюю команду, и это "
   "тоже",
   "the scale answers late: the reading before may have been an earlier command's reply, and "
   "so may this one"},
  {M::WatchSummary, "показаний: %1, сбоев: %2", "%1 readings, %2 failures"},
  {M::WatchSummaryLate,
   "показаний: %1, сбоев: %2, возможно запоздавших: %3",
   "%1 readings, %2 failures, %3 of them possibly late"},
  {M::WatchAfterPart,
   "весы отвечают поздно: прежняя команда получила вовремя только часть ответа, это показание "
   "может относиться к ней",
   "the scale answers late: the command before got only part of its reply in time, this reading "
   "may belong to it"},
  {M::ErrorNoText, "ошибка %1, драйвер не дал текста", "error %1, with no text from the driver"},
  {M::TareSent,
   "команда тарирования отправлена%1: весы берут за тару груз, который на них лежит; "
   "указанный вес (%2) не отправляется, в команде веса нет",
   "tare command sent%1: the scale tares the load on it; the weight given (%2) is not sent, "
   "the command carries none"},
  {M::TareCancelSent, "команда отмены тары отправлена%1", "tare cancel command sent%1"},
  {M::ZeroSent, "команда установки нуля отправлена%1", "zero command sent%1"},
  {M::NotConfirmed,
   "весы её не подтверждают; чтобы проверить, взвесьте: %1",
   "the scale does not confirm it; to check, weigh: %1"},
  {M::ZeroNone,
   "у %1 нет команды установки нуля; ничего не отправлено",
   "%1 has no zero command; nothing was sent"},
  {M::TareNeeds,
   "команде tare нужен --weight ВЕС (весы берут за тару груз на них) или --cancel (тара "
   "отменяется)",
   "tare needs --weight W (the scale tares the load on it) or --cancel (the tare is cancelled)"},
  {M::TareBoth,
   "--weight и --cancel не указываются вместе",
   "--weight and --cancel exclude each other"},
  {M::TareNoCancel,
   "--cancel: у %1 нет команды отмены тары (её единственная команда тары тарирует груз); "
   "отправлять нечего",
   "--cancel: %1 has no command that cancels a tare (its one tare command tares the load); "
   "nothing to send"},
  {M::TareZeroU,
   "--weight 0: драйвер понимает тару 0 у ZEV-U как команду отмены тары; для отмены укажите "
   "--cancel, иначе — вес груза",
   "--weight 0: the driver takes a tare of 0 on ZEV-U as the command that cancels the tare; "
   "give --cancel for that, or the weight of the load"},
  {M::ReplyShort, "%1 из %2 байт: ответ оборван", "%1 of %2 bytes: the reply was cut short"},
  {M::ReplyWholeAndMore,
   "целый ответ и после него лишние байты: %1",
   "a whole reply and %1 more bytes"},
  {M::ReplyLonger, "%1 байт, на %2 больше ответа из %3", "%1 bytes, %2 more than a reply of %3"},
  {M::ReplyComma,
   "вес с запятой («%1»): в локали %2 драйвер читает разделитель «%3»",
   "weight with a comma (\"%1\"): under the locale %2 the driver reads the decimal separator "
   "'%3'"},
  {M::ReplyClosed,
   "%1 из %2 байт, затем преобразователь закрыл соединение",
   "%1 of %2 bytes, then the converter closed the connection"},
  {M::ConverterBusy,
   "преобразователь занят другим соединением: он ответил «%1» и закрыл соединение; закройте "
   "программу, которая его держит (виртуальный COM-порт производителя, другой zevscale или "
   "сеанс 1С)",
   "the converter is busy with another connection: it answered \"%1\" and closed the "
   "connection; close the program that holds it (the maker's virtual COM port, another "
   "zevscale or 1C session)"},
  {M::ConverterClosesAtOnce,
   "преобразователь закрыл соединение, прежде чем ему что-либо отправили: скорее всего, он "
   "занят другим соединением",
   "the converter closed the connection before anything was sent to it: most likely it is "
   "busy with another connection"},
  {M::ConverterTelnet,
   "преобразователь в режиме Telnet (%1): драйвер отказывается от его параметров и взвешивает "
   "через него; если взвешивания всё же не проходят, переключите его в режим TCP-сервера без "
   "протокола (Raw)",
   "the converter is in Telnet mode (%1): the driver refuses its options and weighs through "
   "it; where weighings still fail, set it to a TCP server without a protocol (Raw)"},
  {M::PortConverterGreets,
   "преобразователь, принимает соединения; прежде чем ему что-либо отправили, он присылает %1",
   "converter, accepts connections; before anything is sent to it, it sends %1"},
  {M::ScanOutRefused,
   "отказ в соединении: проверьте TCP-порт и что преобразователь в режиме TCP-сервера; "
   "принимающий одно соединение отказывает остальным, пока оно есть",
   "refused the connection: check the TCP port and that the converter is a TCP server; one "
   "that takes a single connection refuses others while it has one"},
  {M::ScanOutConnectTimeout,
   "нет ответа на соединение за 1 с: проверьте адрес, питание преобразователя и сетевой экран",
   "no answer to the connection within 1 s: check the address, that the converter is on, and "
   "the firewall"},
  {M::ScanOutNoConnection, "нет соединения: %1", "no connection: %1"},
  {M::ScanOutNotSerial, "не последовательный порт: %1", "not a serial port: %1"},
  {M::ScanOutSameConverter, "тот же преобразователь, что %1", "same converter as %1"},
  {M::ListenBefore, "до команды: %1", "before the command: %1"},
  {M::ListenClosed,
   "преобразователь закрыл соединение через %1 мс после команды",
   "the converter closed the connection %1 ms after the command"},
  {M::EntryNearAddress,
   "почти адрес преобразователя: %1; первая строка должна быть tcp://УЗЕЛ:ПОРТ%2",
   "almost a converter's address: %1; the first line must read tcp://HOST:PORT%2"},
  {M::EntryFix, ", здесь %1", ", here %1"},
  {M::EntryBom,
   "она начинается с невидимой метки порядка байтов (EF BB BF), которую пишут некоторые "
   "редакторы: сохраните файл в UTF-8 без BOM",
   "it begins with an invisible byte order mark (EF BB BF) that some editors write: save the "
   "file as UTF-8 without BOM"},
  {M::EntryBlank, "она начинается с пробела", "it begins with a blank"},
  {M::EntryCapitals,
   "«%1» пишется строчными буквами: tcp://",
   "\"%1\" is written in small letters: tcp://"},
  {M::EntryNoScheme, "перед адресом нет tcp://", "the address stands without tcp:// before it"},
  {M::EntryNoPort, "после узла нет TCP-порта", "no TCP port after the host"},
  {M::EntryBadAddress,
   "после tcp:// идёт не УЗЕЛ:ПОРТ с портом от 1 до 65535",
   "what follows tcp:// is not HOST:PORT with a port from 1 to 65535"},
  {M::NeedClass,
   "1 (TZEV_SCALE_Class) или 4001 (TZEV_SCALE_4001_Class), а не '%1'",
   "1 (TZEV_SCALE_Class) or 4001 (TZEV_SCALE_4001_Class), not '%1'"},
  {M::TcpFirstClass,
   "--class 1 работает с преобразователем только через каталог портов, а в Windows его нет: "
   "не указывайте --class (с --tcp здесь по умолчанию 4001)",
   "--class 1 reaches a converter only through a ports directory, which Windows does not "
   "have: leave out --class (with --tcp the default here is 4001)"},
  {M::UsageClass,
   "  --class 1|4001     класс драйвера (по умолчанию %1): 1 — TZEV_SCALE_Class,\n"
   "                     4001 — TZEV_SCALE_4001_Class\n",
   "  --class 1|4001     the driver class (default %1): 1 TZEV_SCALE_Class,\n"
   "                     4001 TZEV_SCALE_4001_Class\n"},
  {M::UsageClassDefaultTcp, "1, с --tcp 4001", "1, with --tcp 4001"},
  {M::UsageDrives, "Работает через класс %1.\n", "Drives %1.\n"},
  {M::UsageDrivesBoth,
   "Работает через оба класса: TZEV_SCALE_Class и TZEV_SCALE_4001_Class.\n",
   "Drives both classes: TZEV_SCALE_Class and TZEV_SCALE_4001_Class.\n"},
  {M::UsageDrivesEither,
   "Работает через класс TZEV_SCALE_Class, %1 — через TZEV_SCALE_4001_Class.\n",
   "Drives TZEV_SCALE_Class; %1 TZEV_SCALE_4001_Class.\n"},
  {M::UsageWithTcp, "с --tcp или --class 4001", "with --tcp or --class 4001"},
  {M::UsageWithTcpOnly, "с --tcp", "with --tcp"},
  {M::UsageWithClass, "с --class 4001", "with --class 4001"},
  {M::UsageScanTcp,
   "  --tcp СПИСОК       адреса преобразователей, например 192.168.1.50:4001,192.168.1.51:4001\n",
   "  --tcp LIST         converters' addresses, e.g. 192.168.1.50:4001,192.168.1.51:4001\n"},
  {M::UsageRfc2217,
   "  --rfc2217 УЗЕЛ:ПОРТ преобразователь RFC 2217: параметры линии задаёт драйвер, вместо --port\n",
   "  --rfc2217 HOST:PORT a converter that takes the line settings from the driver (RFC 2217)\n"},
  {M::UsageScanRfc2217,
   "  --rfc2217 СПИСОК   адреса преобразователей RFC 2217 (параметры линии задаёт драйвер)\n",
   "  --rfc2217 LIST     converters' addresses, taking the line settings from the driver (RFC 2217)\n"},
  {M::ScanSettingsRfc2217,
   "настройки для библиотеки подключаемого оборудования (TZEV_SCALE_4001_Class): Модель (Model) "
   "«%1» (в списке «%2»), Подключение (Connection) «RFC2217», Адрес преобразователя (Host) «%3», "
   "TCP-порт (TCPPort) %4",
   "settings for the equipment library (TZEV_SCALE_4001_Class): Model \"%1\" (\"%2\" in the "
   "list), Connection \"RFC2217\", Host \"%3\", TCPPort %4"},
  {M::ScanTriedRfc2217,
   "%1 говорит по Telnet: опробован RFC 2217 (через TZEV_SCALE_4001_Class): ответили %2",
   "%1 speaks Telnet: tried RFC 2217 (through TZEV_SCALE_4001_Class): %2 answered"},
  {M::ScanTriedRfc2217None,
   "%1 говорит по Telnet: опробован RFC 2217 (через TZEV_SCALE_4001_Class): ни одна модель не "
   "ответила",
   "%1 speaks Telnet: tried RFC 2217 (through TZEV_SCALE_4001_Class): no model answered"},
  {M::UsageScanRest,
   "  --models СПИСОК    например ZEV-U,ZEV-AW (по умолчанию все три)\n"
   "  --simulate         имитаторы: ZEV-U на COM3, ZEV-AW на COM4, ZEV-NT(N) на COM5\n"
   "  --sim-weight КГ    их вес (по умолчанию 0,5)\n",
   "  --models LIST      e.g. ZEV-U,ZEV-AW (default: all three)\n"
   "  --simulate         ZEV-U on COM3, ZEV-AW on COM4, ZEV-NT(N) on COM5, simulated\n"
   "  --sim-weight KG    the weight they show (default 0.5)\n"},
  {M::UsageCheckWarning,
   "Внимание: с --with-tare и --with-zero реальным весам отправляются настоящие команды\n"
   "тары и установки нуля, они меняют показания весов. Без них check не отправляет\n"
   "весам ни одной команды, которая их меняет (только взвешивания).\n\n",
   "Caution: with --with-tare and --with-zero a real scale gets real tare and zero\n"
   "commands, which change what it shows. Without them check sends the scale no\n"
   "command that changes it (weighings only).\n\n"},
  {M::InfoDrives, "классы zevscale", "zevscale drives"},
  {M::InfoDrivesWhich,
   "TZEV_SCALE_Class; TZEV_SCALE_4001_Class: check, --class 4001, --tcp в Windows",
   "TZEV_SCALE_Class; TZEV_SCALE_4001_Class: check, --class 4001, --tcp on Windows"},
  {M::ReportClassTrace,
   "Файл трассировки TZEV_SCALE_4001_Class (TraceFile)",
   "The trace file of TZEV_SCALE_4001_Class (TraceFile)"},
  {M::ReportTraceNoDefault,
   "класс не назвал файла трассировки по умолчанию",
   "the class names no default trace file"},
};
// clang-format on
static_assert(platform::InIdOrder(kCatalogue, M::ReportTraceNoDefault),
              "every message, in the order of M");

}  // namespace

std::string Text(Lang lang, M id, std::initializer_list<std::string_view> args) {
  return platform::Substitute(platform::Wording(kCatalogue, lang, id), args);
}

Lang LanguageOf(const std::string& locale) {
  return locale.rfind("ru", 0) == 0 ? Lang::Ru : Lang::En;
}

}  // namespace zev::cli
