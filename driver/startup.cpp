// Library start-up: the driver class is registered while the library loads,
// before the platform can call any export.
#include "TZEV_SCALE_4001_Class.h"
#include "TZEV_SCALE_Class.h"

namespace {

struct DriverStartup {
  DriverStartup() {
    try {
      zev::driver::RegisterDriver(v8napi::ClassRegistry());
      zev::driver::RegisterDriver4001(v8napi::ClassRegistry());
    } catch (...) {
      // Out of memory at load: the library lists no class.
    }
  }
};

const DriverStartup startup;

}  // namespace
