// What every driver class of the component says about it alike: the version,
// the names, the web address, the equipment type it serves and the error
// codes of the last error.
#pragma once

#include <cstdint>
#include <string>

#include "models.h"
#include "product_version.h"

namespace zev::driver {

inline const char16_t* const kVersion = ZEV_VERSION_U;
inline const char16_t* const kEquipmentType = u"ЭлектронныеВесы";
inline const char16_t* const kDriverName = u"1С: Драйвер для весов ZEV (версия 2)";
// "... для весов ZEV-У, ZEV-AW, ZEV-NT(N) с интерфейсом RS-232": the models of the table.
inline std::u16string DriverDescription() {
  return u"Драйвер выполнен по технологии NativeAPI и предназначен для весов " +
         scales::WrittenNames() + u" с интерфейсом RS-232";
}
inline const char16_t* const kWebAddress = u"https://zevscale.example/";
inline const char16_t* const kComponentName = u"ZEVScale";

// Last error codes.
constexpr int32_t kErrNone = 0;
constexpr int32_t kErrOperation = 1001;
constexpr int32_t kErrDeviceID = 65535;

}  // namespace zev::driver
