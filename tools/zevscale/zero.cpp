// zevscale zero: "Zeroing".
#include "common.h"

namespace zev::cli {

int RunZero(Context& c) {
  return RunCommand(c, M::Zeroed, [](Session& s) { return s.Run(u"Zeroing")->Succeeded(); });
}

}  // namespace zev::cli
