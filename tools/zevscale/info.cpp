// zevscale info: the add-in's class, component, version, description and methods.
#include "common.h"
#include "console.h"
#include "line.h"
#include "zev/platform/text.h"
#include "zev/platform/tracefile.h"

namespace zev::cli {

int RunInfo(Context& c) {
  Session s(*c.library);
  if (!Usable(c, s)) return 1;
  const auto& component = s.Component();
  const std::string classes = platform::Utf16ToUtf8(c.library->ClassNames());
  const std::string name = platform::Utf16ToUtf8(component.ExtensionName());
  const long version = component.InitDone().GetInfo(component.InitDoneSelf());
  const std::string driver = host::NarrowUtf8(s.Run(u"GetVersion")->ret);
  auto d = s.Run(u"GetDescription", std::vector<host::tVariant>(7, host::Empty()));

  std::vector<std::pair<M, std::string>> rows = {{M::InfoClasses, classes},
                                                 {M::InfoComponent, name},
                                                 {M::InfoInterface, std::to_string(version)},
                                                 {M::InfoVersion, driver},
                                                 {M::InfoName, d->Text(0)},
                                                 {M::InfoDescription, d->Text(1)},
                                                 {M::InfoType, d->Text(2)},
                                                 {M::InfoWeb, d->Text(6)}};
  // The library loaded, as the system names it, and each model's line.
  const std::string library = platform::ResolvedPath(
      c.o.library.empty() ? os::ProgramDirectory() + os::AddinFileName() : c.o.library);
  rows.push_back({M::InfoLibrary, library});
  std::string lineSettings;
  Json lineJson = Json::object();
  for (const auto& model : ModelNames()) {
    const ModelLine* line = FindModelLine(model);
    lineSettings += (lineSettings.empty() ? "" : ", ") + model + " " + line->settings;
    lineJson[model] = line->settings;
  }
  rows.push_back({M::InfoLines, lineSettings});
  size_t width = 0;
  for (const auto& row : rows) width = std::max(width, CharCount(c.T(row.first)) + 3);
  std::vector<std::string> lines;
  for (const auto& row : rows) lines.push_back(PadRight(c.T(row.first) + ":", width) + row.second);
  lines.push_back(c.T(M::InfoMethods) + ":");

  Json methods = Json::array();
  const long n = component.Language().GetNMethods(component.LanguageSelf());
  std::vector<std::string> english, russian;
  size_t wideEnglish = 0, wideRussian = 0;
  for (long i = 0; i < n; ++i) {
    english.push_back(platform::Utf16ToUtf8(component.MethodName(i, 0)));
    russian.push_back(platform::Utf16ToUtf8(component.MethodName(i, 1)));
    wideEnglish = std::max(wideEnglish, CharCount(english.back()));
    wideRussian = std::max(wideRussian, CharCount(russian.back()));
  }
  for (long i = 0; i < n; ++i) {
    const auto k = static_cast<size_t>(i);
    const long params = component.Language().GetNParams(component.LanguageSelf(), i);
    std::string number = std::to_string(i);
    if (number.size() < 2) number.insert(0, 1, ' ');
    lines.push_back("  " + number + "  " + PadRight(english[k], wideEnglish + 2) +
                    PadRight(russian[k], wideRussian + 2) + std::to_string(params));
    methods.push_back(
        {{"number", i}, {"english", english[k]}, {"russian", russian[k]}, {"parameters", params}});
  }
  Json fields;
  fields["classNames"] = classes;
  fields["componentName"] = name;
  fields["interfaceVersion"] = version;
  fields["version"] = driver;
  fields["name"] = d->Text(0);
  fields["description"] = d->Text(1);
  fields["equipmentType"] = d->Text(2);
  fields["webAddress"] = d->Text(6);
  fields["methods"] = methods;
  fields["library"] = library;
  fields["lineSettings"] = lineJson;
  return Finish(c, lines, fields, nullptr);
}

}  // namespace zev::cli
