// zevscale report: one text file for support, made of what the other commands
// show, each under a heading of its own. A part that cannot be done says why
// and the report goes on; each part is written out as soon as it is done.
#include <cctype>
#include <sstream>

#include "common.h"
#include "console.h"
#include "converters.h"
#include "report.h"
#include "zev/platform/ports.h"
#include "zev/platform/tracefile.h"

namespace zev::cli {
namespace {

constexpr size_t kTraceLines = 50;
constexpr size_t kTraceBytes = 64 * 1024;  // enough for the last lines, whatever the file's size

// zevscale-report-YYYYMMDD-HHMMSS, from the local time.
std::string DefaultName() {
  std::string digits;
  for (char ch : platform::LocalDateTime().substr(0, 19)) {
    if (ch >= '0' && ch <= '9') digits += ch;
  }
  if (digits.size() != 14) return "zevscale-report";
  return "zevscale-report-" + digits.substr(0, 8) + "-" + digits.substr(8);
}

// The last lines of the file that ZEVSCALE_TRACE named when the report began.
std::string TraceTail(Lang lang, const std::string& value) {
  std::string lower = value;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (value.empty()) return Text(lang, M::ReportTraceUnset) + "\n";
  if (lower == "stderr") return Text(lang, M::ReportTraceStderr, {value}) + "\n";
  std::string tail, error;
  bool cut = false;
  if (!os::ReadFileTail(value, kTraceBytes, tail, cut, error))
    return Text(lang, M::ReportTraceUnreadable, {Printable(value), error}) + "\n";
  std::vector<std::string> lines;
  std::istringstream in(tail);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  if (cut && !lines.empty()) lines.erase(lines.begin());  // begun before what was read
  if (lines.empty()) return Text(lang, M::ReportTraceEmpty, {Printable(value)}) + "\n";
  if (lines.size() > kTraceLines) lines.erase(lines.begin(), lines.end() - kTraceLines);
  std::string text =
      Text(lang, M::ReportTraceLast, {Printable(value), std::to_string(lines.size())}) + "\n";
  for (const auto& line : lines) text += Printable(line) + "\n";
  return text;
}

std::string PortsDirectoryText(Lang lang) {
  const platform::PortsDirectory d = platform::PortsDirectoryState();
  if (d.path.empty()) return Text(lang, M::ReportDirNone) + "\n";
  std::string text =
      Text(lang, d.fromVariable ? M::ReportDirFromVariable : M::ReportDirDefault, {d.path}) + "\n";
  switch (d.state) {
    case platform::PortsDirectory::Missing:
      return text + Text(lang, M::ReportDirMissing, {d.error, d.path}) + "\n";
    case platform::PortsDirectory::NotDirectory:
      return text + Text(lang, M::ReportDirNotDirectory) + "\n";
    case platform::PortsDirectory::Unreadable:
      return text + Text(lang, M::ReportDirUnreadable, {d.error}) + "\n";
    case platform::PortsDirectory::Usable:
    case platform::PortsDirectory::Empty:
      break;
  }
  const auto entries = os::PortsDirectoryEntries(d.path);
  if (entries.empty()) return text + Text(lang, M::ReportDirEmpty) + "\n";
  for (const auto& [name, what] : entries) text += "  " + Printable(name + " " + what) + "\n";
  return text;
}

}  // namespace

int RunReport(const Options& o, std::ostream& out, std::ostream& err) {
  auto T = [&o](M id, std::initializer_list<std::string> args = {}) {
    return Text(o.lang, id, args);
  };
  // What the user's trace holds before this run adds to it.
  const std::string traceTail = TraceTail(o.lang, platform::EnvironmentVariable("ZEVSCALE_TRACE"));

  os::ReportFile file;
  const bool toOutput = o.output == "-";
  std::string where = o.output, error;
  if (!toOutput) {
    bool made = false, exists = false;
    if (o.output.empty()) {
      // A new file, never one already there.
      const std::string base = DefaultName();
      for (int n = 1; n <= 100 && !made; ++n) {
        where = base + (n > 1 ? "-" + std::to_string(n) : "") + ".txt";
        made = file.Create(where, true, error, exists);
        if (!made && !exists) break;
      }
    } else {
      made = file.Create(where, false, error, exists);
    }
    if (!made) {
      err << "zevscale: " << T(M::ReportCannotWrite, {where, error}) << "\n";
      return 1;
    }
  }
  std::ostringstream part;
  bool written = true;
  auto flush = [&] {
    const std::string text = part.str();
    part.str(std::string());
    if (toOutput) {
      out << text << std::flush;
    } else if (written) {
      written = file.Write(text, error);
    }
  };
  // On a terminal the part being made shows on standard error, one line rewritten.
  const bool progress = o.terminal && !toOutput;
  auto heading = [&](M id) {
    flush();
    part << "\n== " << T(id) << " ==\n";
    if (progress) err << "\r" << T(id) << "…\033[K" << std::flush;
  };
  auto status = [&](int exit) {
    if (exit != 0) part << T(M::ReportSectionFailed, {std::to_string(exit)}) << "\n";
  };

  part << T(M::ReportTitle, {platform::LocalDateTime().substr(0, 19)}) << "\n";
  // The line trace of what the report runs, read back by the commands; a
  // trace file that cannot be written is told here.
  TraceTap tap(false, part, o.lang);

  heading(M::ReportTool);
  part << VersionText() << T(M::ReportProgram) << ": " << os::ProgramDirectory() << "\n";

  heading(M::ReportAddin);
  std::string loadError;
  const std::unique_ptr<host::Library> library = LoadAddin(o, loadError);
  if (library != nullptr) {
    Options info = o;
    info.command = "info";
    Context c{info, part, part, nullptr, library.get(), tap};
    status(RunInfo(c));
  } else {
    part << T(M::InfoLibrary) << ": " << AddinPath(o) << "\n" << loadError << "\n";
  }
  const std::string notLoaded = T(M::ReportNotLoaded, {loadError}) + "\n";

  heading(M::ReportSystem);
  part << T(M::ReportOs) << ": " << os::SystemName() << "\n"
       << T(M::ReportCLibrary) << ": " << os::CLibrary() << "\n"
       << T(M::ReportUser) << ": " << os::UserAndGroups() << "\n";

  heading(M::ReportPortsDirectory);
  part << PortsDirectoryText(o.lang);

  heading(M::ReportPorts);
  {
    Options ports = o;
    ports.command = "ports";
    Context c{ports, part, part, nullptr, library.get(), tap};
    status(RunPorts(c));
  }

  // The converter, from here on, stands behind a COM<N> of the tool's own.
  Options scale = o;
  scale.terminal = false;
  std::unique_ptr<ConverterEntries> converters;
  std::string converterError;
  if (!o.tcp.empty()) {
    converters = MapConverters(o.tcp, scale.tcpNames, converterError);
    if (converters == nullptr) {
      if (converterError.empty()) converterError = T(M::TcpNotHere);
    } else {
      scale.port = scale.tcpNames.begin()->first;
      tap.Rename(scale.tcpNames);
    }
  }

  heading(M::ReportScan);
  if (library == nullptr) {
    part << notLoaded;
  } else if (!converterError.empty()) {
    part << converterError << "\n";
  } else {
    Options scan = scale;
    scan.command = "scan";
    Context c{scan, part, part, nullptr, library.get(), tap};
    status(RunScan(c));
  }

  heading(M::ReportWeighing);
  if (o.model.empty()) {
    part << T(M::ReportNoWeighing) << "\n";
  } else if (library == nullptr) {
    part << notLoaded;
  } else if (!converterError.empty()) {
    part << converterError << "\n";
  } else {
    Options weigh = scale;
    weigh.command = "weigh";
    weigh.trace = true;
    // Its own trace, every line of it into the report.
    TraceTap traced(true, part, o.lang);
    traced.Rename(scale.tcpNames);
    Context c{weigh, part, part, nullptr, library.get(), traced};
    status(RunWeigh(c));
  }

  heading(M::ReportTraceFile);
  part << traceTail;
  flush();
  if (progress) err << "\r\033[K" << std::flush;
  if (!written) {
    err << "zevscale: " << T(M::ReportCannotWrite, {where, error}) << "\n";
    return 1;
  }
  if (!toOutput) out << T(M::ReportWritten, {file.FullPath()}) << "\n";
  return 0;
}

}  // namespace zev::cli
