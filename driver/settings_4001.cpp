// The revision 4001 class's description, settings page and parameters. The
// page is made from the table of parameters: a new setting is one row.
#include <algorithm>

#include "TZEV_SCALE_4001_Class.h"
#include "zev/platform/system.h"
#include "zev/platform/tcp.h"
#include "zev/platform/text.h"

namespace zev::driver {

using platform::Utf8ToUtf16;

// The rows: each reads and sets its setting of the object.
struct TZEV_SCALE_4001_Class::Settings {
  using O = TZEV_SCALE_4001_Class;

  static bool SetModel(O& o, const v8napi::tVariant& value) {
    if (!IsText(value)) {
      o.model_.clear();
      return o.Fail(o.T(Msg::BadText, {u"Model"}));
    }
    // For the next connection or test; the devices connected keep theirs.
    o.model_ = Trimmed(v8napi::GetVariantText(&value));
    return true;
  }

  static Choices ModelChoices(const O&) {
    Choices c;
    for (const ModelRow& m : scales::Models()) c.emplace_back(NameOf(m), CaptionOf(m));
    return c;
  }

  static bool SetPort(O& o, const v8napi::tVariant& value) {
    const std::optional<int> n = WholeNumberOf(value, 1, 255);
    o.port_ = n.value_or(0);
    return n || o.Fail(o.T(Msg::BadPort, {Shown(value)}));
  }

  static Choices PortChoices(const O&) {
    Choices c;
    std::vector<platform::PresentPort> present = platform::PresentSerialPorts();
    for (int n = 1; n <= 255; ++n) {
      std::u16string name;
      bool there = n <= 8;
      for (const auto& p : present) {
        if (p.number == n) {
          there = true;
          name = Utf8ToUtf16(p.name);
        }
      }
      if (!there) continue;
      std::u16string shown = u"COM" + Decimal(n);
      if (!name.empty()) shown += u" (" + name + u")";
      c.emplace_back(Decimal(n), shown);
    }
    return c;
  }

  static bool SetConnection(O& o, const v8napi::tVariant& value) {
    const std::u16string text = IsText(value) ? Trimmed(v8napi::GetVariantText(&value)) : u"";
    const bool rfc2217 = SameIgnoringCase(text, u"RFC2217");
    if (SameIgnoringCase(text, u"COM") || SameIgnoringCase(text, u"TCP") || rfc2217) {
      o.tcp_ = !SameIgnoringCase(text, u"COM");
      o.rfc2217_ = rfc2217;
      return true;
    }
    return o.Fail(o.T(Msg::BadConnection, {Shown(value)}));
  }

  static Choices ConnectionChoices(const O& o) {
    return {{u"COM", o.T(Msg::ConnectionCom)},
            {u"TCP", o.T(Msg::ConnectionTcp)},
            {u"RFC2217", o.T(Msg::ConnectionRfc2217)}};
  }

  // An IP address (IPv6 also between brackets) or a name, without a port.
  static bool SetHost(O& o, const v8napi::tVariant& value) {
    o.host_.clear();
    if (!IsText(value)) return o.Fail(o.T(Msg::BadText, {u"Host"}));
    std::u16string host = Trimmed(v8napi::GetVariantText(&value));
    if (host.size() > 2 && host.front() == u'[' && host.back() == u']')
      host = host.substr(1, host.size() - 2);
    const std::string utf8 = platform::Utf16ToUtf8(host);
    // One colon is a port after a name or an IPv4 address, not an IPv6 address.
    const size_t colons = std::count(utf8.begin(), utf8.end(), ':');
    const bool v6 = colons >= 2;
    if (!host.empty() && (colons == 1 || host.size() > 255 ||
                          !platform::ParseTcpAddress((v6 ? "[" + utf8 + "]" : utf8) + ":1"))) {
      return o.Fail(o.T(Msg::BadHost, {Shown(value)}));
    }
    o.host_ = host;
    return true;
  }

  static bool SetTcpPort(O& o, const v8napi::tVariant& value) {
    const std::optional<int> n = WholeNumberOf(value, 1, 65535);
    o.tcpPort_ = n.value_or(0);
    return n || o.Fail(o.T(Msg::BadTcpPort, {Shown(value)}));
  }

  static bool SetTrace(O& o, const v8napi::tVariant& value) {
    const std::optional<bool> b = BooleanOf(value);
    if (!b) return o.Fail(o.T(Msg::BadBoolean, {u"Trace", Shown(value)}));
    o.trace_ = *b;
    o.traceError_.clear();
    return true;
  }

  static bool SetTraceFile(O& o, const v8napi::tVariant& value) {
    if (!IsText(value)) return o.Fail(o.T(Msg::BadText, {u"TraceFile"}));
    o.traceFile_ = Trimmed(v8napi::GetVariantText(&value));
    o.traceError_.clear();
    return true;
  }

  static const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        {u"Model", Msg::ModelCaption, Msg::ModelDescription, ParamType::String,
         [](const O& o) { return o.model_; }, &ModelChoices, &SetModel},
        {u"Connection", Msg::ConnectionCaption, Msg::ConnectionDescription, ParamType::String,
         [](const O& o) {
           return std::u16string(o.rfc2217_ ? u"RFC2217" : o.tcp_ ? u"TCP" : u"COM");
         },
         &ConnectionChoices, &SetConnection},
        {u"Port", Msg::PortCaption, Msg::PortDescription, ParamType::Number,
         [](const O& o) { return o.port_ > 0 ? Decimal(o.port_) : u""; }, &PortChoices, &SetPort},
        {u"Host", Msg::HostCaption, Msg::HostDescription, ParamType::String,
         [](const O& o) { return o.host_; }, nullptr, &SetHost},
        {u"TCPPort", Msg::TcpPortCaption, Msg::TcpPortDescription, ParamType::Number,
         [](const O& o) { return o.tcpPort_ > 0 ? Decimal(o.tcpPort_) : u""; }, nullptr,
         &SetTcpPort},
        {u"Trace", Msg::TraceCaption, Msg::TraceDescription, ParamType::Boolean,
         [](const O& o) { return std::u16string(BoolText(o.trace_)); }, nullptr, &SetTrace},
        {u"TraceFile", Msg::TraceFileCaption, Msg::TraceFileDescription, ParamType::String,
         [](const O& o) { return o.traceFile_; }, nullptr, &SetTraceFile},
    };
    return rows;
  }
};

std::u16string TZEV_SCALE_4001_Class::SettingsXml() const {
  return SettingsPageXml(*this, T(Msg::PageCaption), T(Msg::GroupCaption), Settings::Rows(),
                         [this](Msg id) { return T(id); });
}

std::u16string TZEV_SCALE_4001_Class::DescriptionXml() const {
  const std::u16string log = TraceTarget();
  // The trace's file; a trace to the standard error stream has none.
  const bool stderrTrace = SameIgnoringCase(log, u"stderr");
  return u"<?xml version=\"1.0\" encoding=\"UTF-8\"?><DriverDescription" +
         XmlAttribute(u"Name", kDriverName) + XmlAttribute(u"Description", DriverDescription()) +
         XmlAttribute(u"EquipmentType", kEquipmentType) +
         XmlAttribute(u"IntegrationComponent", u"false") +
         XmlAttribute(u"MainDriverInstalled", u"true") + XmlAttribute(u"DriverVersion", kVersion) +
         XmlAttribute(u"IntegrationComponentVersion", kVersion) +
         // No page the driver can be downloaded from yet: the library then offers none.
         XmlAttribute(u"DownloadURL", u"") +
         // Not while the file did not open at the last connection or test.
         XmlAttribute(u"LogIsEnabled", log.empty() || !traceError_.empty() ? u"false" : u"true") +
         XmlAttribute(u"LogPath", stderrTrace ? std::u16string() : log) +
         XmlAttribute(u"LocalizationSupported", u"true") + XmlAttribute(u"IsEmulator", u"false") +
         u"/>";
}

bool TZEV_SCALE_4001_Class::GetDescription(v8napi::tVariant* ret, v8napi::tVariant* params,
                                           int32_t count) {
  return RunMethod(*this, u"GetDescription", count, 1, ret, [&] {
    std::lock_guard<std::recursive_mutex> lock(state_);
    return SetText(&params[0], DescriptionXml());
  });
}

bool TZEV_SCALE_4001_Class::GetParameters(v8napi::tVariant* ret, v8napi::tVariant* params,
                                          int32_t count) {
  return RunMethod(*this, u"GetParameters", count, 1, ret, [&] {
    std::lock_guard<std::recursive_mutex> lock(state_);
    return SetText(&params[0], SettingsXml());
  });
}

bool TZEV_SCALE_4001_Class::SetParameter(v8napi::tVariant* ret, v8napi::tVariant* params,
                                         int32_t count) {
  return RunMethod(*this, u"SetParameter", count, 2, ret, [&] {
    const std::u16string name = Trimmed(v8napi::GetVariantText(&params[0]));
    if (name == u"EquipmentType") {
      // The enumeration's name in a Russian or an English configuration.
      const std::u16string type = Trimmed(v8napi::GetVariantText(&params[1]));
      for (const char16_t* known : {kEquipmentType, u"ElectronicScales", u"WeighingScales"}) {
        if (SameIgnoringCase(type, known)) return true;
      }
      return Fail(T(Msg::WrongEquipmentType, {Shown(params[1])}));
    }
    std::lock_guard<std::recursive_mutex> lock(state_);
    const Row* p = FindParameter(Settings::Rows(), name);
    if (p == nullptr) return true;  // a parameter of another driver or edition: accepted
    const bool taken = p->set(*this, params[1]);
    if (taken) {
      refused_.erase(p->name);
    } else {
      refused_[p->name] = lastErrorText_;
    }
    return taken;
  });
}

}  // namespace zev::driver
