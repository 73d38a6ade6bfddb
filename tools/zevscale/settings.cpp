// zevscale settings: the settings page the driver gives the platform.
#include "common.h"

namespace zev::cli {

std::string IndentXml(const std::string& xml) {
  std::string out;
  int depth = 0;
  size_t i = 0;
  while (i < xml.size()) {
    if (xml[i] != '<') {
      const size_t next = xml.find('<', i);
      out += xml.substr(i, next - i);
      i = next == std::string::npos ? xml.size() : next;
      continue;
    }
    const size_t end = xml.find('>', i);
    const std::string tag =
        xml.substr(i, end == std::string::npos ? std::string::npos : end - i + 1);
    i = end == std::string::npos ? xml.size() : end + 1;
    const bool closing = tag.size() > 1 && tag[1] == '/';
    const bool selfContained = tag.size() > 2 && (tag[tag.size() - 2] == '/' || tag[1] == '?');
    if (closing) --depth;
    // Text content stays on the line of its element: <Item ...>COM1</Item>.
    const bool inline_ = closing && !out.empty() && out.back() != '\n';
    if (!inline_ && !out.empty() && out.back() != '\n') out += '\n';
    if (!inline_) out.append(static_cast<size_t>(std::max(depth, 0)) * 2, ' ');
    out += tag;
    if (!closing && !selfContained) {
      ++depth;
      if (i < xml.size() && xml[i] != '<') continue;  // text follows
    }
    out += '\n';
  }
  return out;
}

int RunSettings(Context& c) {
  Session s(*c.library, c.o.driverClass);
  if (!Usable(c, s)) return 1;
  s.Localize(c.o.lang);
  Failure failure;
  bool failed = false;
  if (!c.o.model.empty() && !s.Set("Model", s.Wide(c.o.model))) failed = true;
  if (!failed && c.o.port >= 0 && !s.Set("Port", host::Int(c.o.port))) failed = true;
  if (failed) failure = Explain(c, s, Operation::Open, c.o.port, c.o.model);
  const std::string page = s.Page();
  Json fields;
  fields["class"] = s.ClassName();
  fields["page"] = page;
  return Finish(c, {IndentXml(page)}, fields, failed ? &failure : nullptr);
}

}  // namespace zev::cli
