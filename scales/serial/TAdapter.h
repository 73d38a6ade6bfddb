// What every model adapter shares: the port, the weighing and the two text
// getters, with results as 16-bit truth values (-1 success, 0 failure) and the
// message of the last failure kept in Windows-1251.
#pragma once

#include <cstdint>
#include <string>

#include "TCommunication.h"
#include "zev/platform/text.h"

namespace zev::scales {

constexpr int16_t kTrue = -1;
constexpr int16_t kFalse = 0;

// Messages, as the user sees them.
inline const char16_t* const kMsgPortUnavailable = u"Порт недоступен";
inline const char16_t* const kMsgDcb = u"Ошибка DCB-структуры";
inline const char16_t* const kMsgTimeouts = u"Ошибка таймаутов";
inline const char16_t* const kMsgBadHandle = u"Ошибка дескриптора COM порта";
inline const char16_t* const kMsgTare = u"Произошла ошибка функции тарирования.";
inline const char16_t* const kMsgCancelTare = u"Произошла ошибка отмены функции тарирования.";
inline const char16_t* const kMsgZero = u"Произошла ошибка установки нулевой массы.";
inline const char16_t* const kMsgZeroUnsupported = u"Функция установки нуля <0> не поддерживается.";
inline const char16_t* const kMsgWeigh = u"Произошла ошибка взвешивания.";

// Why a converter could not be reached or went away, for a class that says
// more than "Порт недоступен"; null for Ok.
inline const char16_t* LinkErrorText(platform::TcpStatus status) {
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
    case platform::TcpStatus::Failed:
      break;
  }
  return u"Не удалось соединиться с преобразователем";
}

template <class ScaleT, uint8_t Parity>
class TAdapter {
 public:
  static constexpr uint32_t kBaudRate = 4800;

  int16_t OpenPort(uint8_t port) { return Opened(Scale.OpenCom(port, kBaudRate, Parity)); }
  // A COM port or a converter's TCP address, one call either way; after a
  // failed connect Scale.LinkStatus() tells why (LinkErrorText).
  int16_t OpenPort(const TEndpoint& endpoint) {
    return Opened(Scale.Open(endpoint, kBaudRate, Parity));
  }

  int16_t ClosePort() { return Scale.CloseCom() == kCloseOk ? Succeed() : Fail(kMsgBadHandle); }

  int16_t Weigh() { return Run(Scale.CmdWeigh(), kMsgWeigh); }

  void GetWeightText(std::string& out) const { out = Scale.ReplyText; }
  void GetErrorText(std::u16string& out) const { out = platform::Cp1251ToUtf16(ErrorText); }

  ScaleT Scale;
  std::string ErrorText;  // Windows-1251

 protected:
  int16_t Opened(uint8_t code) {
    switch (code) {
      case kOpenOk:
        return Succeed();
      case kOpenLineSettingsFailed:
        return Fail(kMsgDcb);
      case kOpenTimeoutsFailed:
        return Fail(kMsgTimeouts);
      default:
        return Fail(kMsgPortUnavailable);
    }
  }
  int16_t Succeed() {
    ErrorText.clear();
    return kTrue;
  }
  int16_t Fail(const char16_t* message) {
    ErrorText = platform::Utf16ToCp1251(message);
    return kFalse;
  }
  // The pattern of the scale commands: clear the text, run, report.
  int16_t Run(bool ok, const char16_t* failure) { return ok ? Succeed() : Fail(failure); }
};

}  // namespace zev::scales
