// The whole driver through its exports and tables, on one driver object (of
// either class) with no scale attached. The input is a program of calls: method number,
// parameter count, parameter tags and contents, and which allocations the
// memory manager refuses. Nothing may crash, and at the end every block the
// driver took from the memory manager must have been given back or handed out
// in a value that the platform then clears.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "simulator.h"

namespace {

struct Reader {
  const uint8_t* p;
  size_t n;
  uint8_t Byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  std::string Bytes(size_t max) {
    const size_t k = std::min<size_t>(Byte() % (max + 1), n);
    std::string s(reinterpret_cast<const char*>(p), k);
    p += k;
    n -= k;
    return s;
  }
};

// Every COM port leads nowhere, so no call reaches a real device.
const std::string& DeadPorts() {
  static const std::string dir = [] {
    static zev::sim::PortDirectory ports;
    for (int port = 0; port < 256; ++port) ports.Map(port, ports.Path() + "/none");
    ports.Export();
    return ports.Path();
  }();
  return dir;
}

const char16_t* const kNames[] = {
    u"Model",   u"Port", u"ZEV-U", u"ZEV-AW",       u"ZEV-NT(N)",     u"NoDeviceID",
    u"",        u"0.5",  u"Trace", u"TraceFile",    u"EquipmentType", u"ЭлектронныеВесы",
    u"Zeroing", u"en",   u"3",     u"ZEV-U@COM3#1", u"Connection",    u"TCP",
    u"TCPPort"};

zev::host::tVariant MakeValue(Reader& in, zev::host::MemoryManager& mm) {
  using namespace zev::host;
  switch (in.Byte() % 9) {
    case 0:
      return Empty();
    case 1:
      return Int(static_cast<int32_t>(in.Byte() | (in.Byte() << 8)) - 1000);
    case 2:
      return Double(static_cast<double>(static_cast<int8_t>(in.Byte())) / 4.0);
    case 3:
      return Bool(in.Byte() & 1);
    case 4:
      return WStr(mm, kNames[in.Byte() % (sizeof kNames / sizeof kNames[0])]);
    case 5: {
      const std::string s = in.Bytes(24);
      std::u16string w(s.begin(), s.end());
      return WStr(mm, w);
    }
    case 6:
      return PStr(mm, in.Bytes(24));
    default: {
      tVariant v = Empty();
      v.vt = in.Byte();  // any other tag, payload left empty
      return v;
    }
  }
}

// Whether a parameter name is "Host" as the class reads it (blanks around
// it do not count).
bool SetsHost(const zev::host::tVariant& name) {
  std::string text;
  if (name.vt == v8abi::VTYPE_PWSTR) text = zev::host::WideUtf8(name);
  if (name.vt == v8abi::VTYPE_PSTR) text = zev::host::NarrowUtf8(name);
  return text.find("Host") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DeadPorts();
  static zev::host::Library library(&GetClassNames, &GetClassObject, &DestroyObject,
                                    &SetPlatformCapabilities);
  zev::host::MemoryManager mm;
  zev::host::Connection connection;
  Reader in{data, size};
  const uint8_t flags = in.Byte();
  const bool withConnection = flags & 1;
  const bool revision4001 = flags & 2;
  {
    zev::host::Component c(library, mm, withConnection ? &connection : nullptr,
                           revision4001 ? u"TZEV_SCALE_4001_Class" : u"TZEV_SCALE_Class");
    if (!c.Valid()) std::abort();
    for (int call = 0; call < 24 && in.n > 0; ++call) {
      // One number past the last method, on purpose.
      const long method = in.Byte() % (revision4001 ? 15 : 14);
      const size_t count = in.Byte() % 9;
      std::vector<zev::host::tVariant> params;
      for (size_t i = 0; i < count; ++i) params.push_back(MakeValue(in, mm));
      // A converter's address would reach beyond this machine: never set.
      if (revision4001 && method == 5 && count >= 1 && SetsHost(params[0])) {
        for (auto& p : params) zev::host::Clear(mm, p);
        continue;
      }
      const uint8_t refuse = in.Byte();
      mm.RefuseNth(refuse < 64 ? refuse % 4 : 0);
      zev::host::tVariant ret = zev::host::Empty();
      if (in.Byte() % 4 == 0) {
        c.Language().CallAsProc(c.LanguageSelf(), method, params.data(), static_cast<long>(count));
      } else {
        c.Language().CallAsFunc(c.LanguageSelf(), method, &ret, params.data(),
                                static_cast<long>(count));
      }
      mm.RefuseNth(0);
      zev::host::Clear(mm, ret);
      for (auto& p : params) zev::host::Clear(mm, p);
      if (!mm.Faults().empty() || mm.LiveBlocks() != 0) std::abort();
    }
  }
  if (!mm.Faults().empty() || mm.LiveBlocks() != 0) std::abort();
  return 0;
}
