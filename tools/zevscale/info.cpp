// zevscale info: the add-in's class, component, version, description and methods.
#include "common.h"
#include "console.h"
#include "line.h"
#include "zev/platform/text.h"
#include "zev/platform/tracefile.h"

namespace zev::cli {
namespace {

std::vector<std::string> Split(const std::string& names) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= names.size()) {
    const size_t bar = names.find('|', start);
    out.push_back(names.substr(start, bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return out;
}

struct MethodNames {
  std::vector<std::string> english, russian;
  std::vector<long> params;
};

MethodNames NamesOf(const host::Component& component) {
  MethodNames m;
  const long n = component.Language().GetNMethods(component.LanguageSelf());
  for (long i = 0; i < n; ++i) {
    m.english.push_back(platform::Utf16ToUtf8(component.MethodName(i, 0)));
    m.russian.push_back(platform::Utf16ToUtf8(component.MethodName(i, 1)));
    m.params.push_back(component.Language().GetNParams(component.LanguageSelf(), i));
  }
  return m;
}

// The methods, one line each in columns `wideEnglish` and `wideRussian` wide,
// and as JSON.
Json Methods(const MethodNames& m, size_t wideEnglish, size_t wideRussian,
             std::vector<std::string>& lines) {
  Json methods = Json::array();
  for (size_t k = 0; k < m.english.size(); ++k) {
    std::string number = std::to_string(k);
    if (number.size() < 2) number.insert(0, 1, ' ');
    lines.push_back("  " + number + "  " + PadRight(m.english[k], wideEnglish + 2) +
                    PadRight(m.russian[k], wideRussian + 2) + std::to_string(m.params[k]));
    methods.push_back({{"number", k},
                       {"english", m.english[k]},
                       {"russian", m.russian[k]},
                       {"parameters", m.params[k]}});
  }
  return methods;
}

// A class beside the first: its revision, version and methods.
struct Other {
  std::string name;
  long revision;
  std::string version;
  MethodNames methods;
};

// Every class of `classes` beside TZEV_SCALE_Class that gives an object.
std::vector<Other> OtherClasses(const Context& c, const std::string& classes) {
  std::vector<Other> others;
  for (const std::string& other : Split(classes)) {
    if (other == "TZEV_SCALE_Class") continue;
    Session o(*c.library, platform::Utf8ToUtf16(other));
    if (!o.Valid()) continue;
    others.push_back({other, o.Run(u"GetInterfaceRevision")->ret.lVal,
                      host::WideUtf8(o.Run(u"GetVersion")->ret), NamesOf(o.Component())});
  }
  return others;
}

// The further classes, each under the first class's rows in columns `width`
// wide, its methods in those of the first class's methods.
Json OtherLines(const Context& c, const std::vector<Other>& others, size_t width,
                size_t wideEnglish, size_t wideRussian, std::vector<std::string>& lines) {
  Json otherClasses = Json::array();
  for (const Other& o : others) {
    lines.push_back("");
    lines.push_back(PadRight(c.T(M::InfoClass) + ":", width) + o.name);
    lines.push_back(PadRight(c.T(M::InfoRevision) + ":", width) + std::to_string(o.revision));
    lines.push_back(PadRight(c.T(M::InfoVersion) + ":", width) + o.version);
    lines.push_back(c.T(M::InfoMethods) + ":");
    otherClasses.push_back({{"className", o.name},
                            {"interfaceRevision", o.revision},
                            {"version", o.version},
                            {"methods", Methods(o.methods, wideEnglish, wideRussian, lines)}});
  }
  return otherClasses;
}

// Each model's line settings: "ZEV-U 4800 8N1, ...", and as JSON.
std::string LineSettings(Json& json) {
  std::string text;
  for (const scales::ModelRow& row : scales::Models()) {
    const std::string settings = scales::LineText(row.line);
    text += (text.empty() ? "" : ", ") + std::string(row.name) + " " + settings;
    json[row.name] = settings;
  }
  return text;
}

}  // namespace

int RunInfo(Context& c) {
  Session s(*c.library);
  if (!Usable(c, s)) return 1;
  const auto& component = s.Component();
  const std::string classes = platform::Utf16ToUtf8(c.library->ClassNames());
  const std::string name = platform::Utf16ToUtf8(component.ExtensionName());
  const long version = component.InitDone().GetInfo(component.InitDoneSelf());
  const std::string driver = host::NarrowUtf8(s.Run(u"GetVersion")->ret);
  auto d = s.Run(u"GetDescription", std::vector<host::tVariant>(7, host::Empty()));

  std::vector<std::pair<M, std::string>> rows = {
      {M::InfoClasses, classes},        {M::InfoDrives, c.T(M::InfoDrivesWhich)},
      {M::InfoComponent, name},         {M::InfoInterface, std::to_string(version)},
      {M::InfoVersion, driver},         {M::InfoName, d->Text(0)},
      {M::InfoDescription, d->Text(1)}, {M::InfoType, d->Text(2)},
      {M::InfoWeb, d->Text(6)}};
  // The library loaded, as the system names it, and each model's line.
  const std::string library = platform::ResolvedPath(AddinPath(c.o));
  rows.push_back({M::InfoLibrary, library});
  Json lineJson = Json::object();
  rows.push_back({M::InfoLines, LineSettings(lineJson)});
  size_t width = CharCount(c.T(M::InfoRevision)) + 3;
  for (const auto& row : rows) width = std::max(width, CharCount(c.T(row.first)) + 3);
  std::vector<std::string> lines;
  for (const auto& row : rows) lines.push_back(PadRight(c.T(row.first) + ":", width) + row.second);
  lines.push_back(c.T(M::InfoMethods) + ":");

  // Every further class: its revision, version and methods, in the columns
  // of the first class's methods.
  const MethodNames first = NamesOf(component);
  const std::vector<Other> others = OtherClasses(c, classes);
  size_t wideEnglish = 0, wideRussian = 0;
  const auto widen = [&](const MethodNames& m) {
    for (const auto& e : m.english) wideEnglish = std::max(wideEnglish, CharCount(e));
    for (const auto& r : m.russian) wideRussian = std::max(wideRussian, CharCount(r));
  };
  widen(first);
  for (const Other& o : others) widen(o.methods);
  Json methods = Methods(first, wideEnglish, wideRussian, lines);
  const Json otherClasses = OtherLines(c, others, width, wideEnglish, wideRussian, lines);
  Json fields;
  fields["classNames"] = classes;
  fields["drives"] = c.T(M::InfoDrivesWhich);
  fields["componentName"] = name;
  fields["interfaceVersion"] = version;
  fields["version"] = driver;
  fields["name"] = d->Text(0);
  fields["description"] = d->Text(1);
  fields["equipmentType"] = d->Text(2);
  fields["webAddress"] = d->Text(6);
  fields["methods"] = methods;
  fields["otherClasses"] = otherClasses;
  fields["library"] = library;
  fields["lineSettings"] = lineJson;
  return Finish(c, lines, fields, nullptr);
}

}  // namespace zev::cli
