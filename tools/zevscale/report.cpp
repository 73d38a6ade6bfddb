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
    return Text(lang, M::ReportTraceUnreadable, {Printable(value), SystemWords(lang, error)}) +
           "\n";
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

// Creates the report's file: the one --output names, or a new one of a name
// of its own, never one already there; `where` gets its name.
bool CreateFile(const Options& o, os::ReportFile& file, std::string& where, std::string& error) {
  where = o.output;
  bool made = false, exists = false;
  if (o.output.empty()) {
    const std::string base = DefaultName();
    for (int n = 1; n <= 100 && !made; ++n) {
      where = base + (n > 1 ? "-" + std::to_string(n) : "") + ".txt";
      made = file.Create(where, true, error, exists);
      if (!made && !exists) break;
    }
  } else {
    made = file.Create(where, false, error, exists);
  }
  return made;
}

// The report as it is made: the part being made is written out (to the file,
// or to standard output with --output -) when the next one begins.
class Parts {
 public:
  Parts(const Options& o, std::ostream& out, std::ostream& err, os::ReportFile& file)
      : o_(o),
        out_(out),
        err_(err),
        file_(file),
        toOutput_(o.output == "-"),
        progress_(o.terminal && !toOutput_) {}

  std::ostringstream& Part() { return part_; }
  std::string T(M id, std::initializer_list<std::string_view> args = {}) const {
    return Text(o_.lang, id, args);
  }
  // A new part under its heading; on a terminal the part being made shows on
  // standard error, one line rewritten.
  void Heading(M id) {
    Flush();
    sections_.push_back({id, true, 0});
    part_ << "\n== " << T(id) << " ==\n";
    if (progress_) err_ << "\r" << T(id) << "…\033[K" << std::flush;
  }
  // A command's exit status, when it failed.
  void Status(int exit) {
    sections_.back().exit = exit;
    if (exit != 0) part_ << T(M::ReportSectionFailed, {std::to_string(exit)}) << "\n";
  }
  // The part says why it was not done.
  void NotDone(const std::string& why) {
    sections_.back().done = false;
    part_ << why << "\n";
  }
  // Each part's outcome, as report --json gives it.
  Json Outcomes() const {
    Json list = Json::array();
    for (const Section& s : sections_) {
      list.push_back({{"section", Text(Lang::En, s.heading)}, {"done", s.done}, {"exit", s.exit}});
    }
    return list;
  }
  // The last part written out; false, with `error` saying why, when the file
  // could not be written.
  bool End(std::string& error) {
    Flush();
    if (progress_) err_ << "\r\033[K" << std::flush;
    error = error_;
    return written_;
  }

 private:
  void Flush() {
    const std::string text = part_.str();
    part_.str(std::string());
    if (toOutput_) {
      out_ << text << std::flush;
    } else if (written_) {
      written_ = file_.Write(text, error_);
    }
  }

  struct Section {
    M heading;
    bool done;
    int exit;
  };

  const Options& o_;
  std::vector<Section> sections_;
  std::ostream& out_;
  std::ostream& err_;
  os::ReportFile& file_;
  const bool toOutput_;
  const bool progress_;
  std::ostringstream part_;
  bool written_ = true;
  std::string error_;
};

// Runs `command` as `o` with the report's part for its output.
int RunInto(Parts& p, Options o, const char* command, const host::Library* library, TraceTap& tap,
            int (*run)(Context&)) {
  o.command = command;
  o.json = false;  // report --json: the report's own object only
  Context c{o, p.Part(), p.Part(), nullptr, library, tap};
  return run(c);
}

// The tool, and the add-in as info shows it (or why it cannot be loaded).
std::unique_ptr<host::Library> ToolAndAddin(Parts& p, const Options& o, TraceTap& tap,
                                            std::string& loadError) {
  p.Heading(M::ReportTool);
  p.Part() << VersionText() << p.T(M::ReportProgram) << ": " << os::ProgramDirectory() << "\n";

  p.Heading(M::ReportAddin);
  std::unique_ptr<host::Library> library = LoadAddin(o, loadError);
  if (library != nullptr) {
    p.Status(RunInto(p, o, "info", library.get(), tap, RunInfo));
  } else {
    p.Part() << p.T(M::InfoLibrary) << ": " << AddinPath(o) << "\n" << loadError << "\n";
  }
  return library;
}

// The system, the ports directory and the ports as ports shows them.
void SystemAndPorts(Parts& p, const Options& o, const host::Library* library, TraceTap& tap) {
  p.Heading(M::ReportSystem);
  p.Part() << p.T(M::ReportOs) << ": " << os::SystemName() << "\n"
           << p.T(M::ReportCLibrary) << ": " << os::CLibrary() << "\n"
           << p.T(M::ReportUser) << ": " << os::UserAndGroups() << "\n";

  p.Heading(M::ReportPortsDirectory);
  p.Part() << PortsDirectoryText(o.lang);

  p.Heading(M::ReportPorts);
  p.Status(RunInto(p, o, "ports", library, tap, RunPorts));
}

// The scan, and a weighing with its line trace when a scale is named.
void ScanAndWeighing(Parts& p, const Options& o, const host::Library* library, TraceTap& tap,
                     const std::string& loadError) {
  const std::string notLoaded = p.T(M::ReportNotLoaded, {loadError});
  // The converter, from here on, stands behind a COM<N> of the tool's own, or
  // in the equipment library's class's settings (which scan does not drive:
  // it tries the COM ports then).
  Options scale = o;
  scale.terminal = false;
  Options scan = o;
  scan.terminal = false;
  std::unique_ptr<ConverterEntries> converters;
  std::string converterError;
  if (!o.tcp.empty() && o.driverClass == DriverClass::Equipment) {
    scale.port = kConverterPort;
    scale.tcpNames[kConverterPort] = ConverterUrl(o);
    tap.Rename(scale.tcpNames);
    scan.tcp.clear();
  } else if (!o.tcp.empty()) {
    converters = MapConverters(o.tcp, scale.tcpNames, converterError);
    if (converters == nullptr) {
      if (converterError.empty()) converterError = p.T(M::TcpNotHere);
    } else {
      scale.port = scale.tcpNames.begin()->first;
      scan = scale;
      tap.Rename(scale.tcpNames);
    }
  }

  p.Heading(M::ReportScan);
  if (library == nullptr) {
    p.NotDone(notLoaded);
  } else if (!converterError.empty()) {
    p.NotDone(converterError);
  } else {
    p.Status(RunInto(p, scan, "scan", library, tap, RunScan));
  }

  p.Heading(M::ReportWeighing);
  if (o.model.empty()) {
    p.NotDone(p.T(M::ReportNoWeighing));
  } else if (library == nullptr) {
    p.NotDone(notLoaded);
  } else if (!converterError.empty()) {
    p.NotDone(converterError);
  } else {
    Options weigh = scale;
    weigh.trace = true;
    // Its own trace, every line of it into the report.
    TraceTap traced(true, p.Part(), o.lang);
    traced.Rename(scale.tcpNames);
    p.Status(RunInto(p, weigh, "weigh", library, traced, RunWeigh));
  }
}

// The last lines of the equipment library's class's trace file: the one its
// settings page gives by default.
void ClassTrace(Parts& p, const Options& o, const host::Library* library,
                const std::string& loadError) {
  p.Heading(M::ReportClassTrace);
  if (library == nullptr) return p.NotDone(p.T(M::ReportNotLoaded, {loadError}));
  Session s(*library, DriverClass::Equipment);
  if (!s.Valid()) return p.NotDone(p.T(M::NoObject, {s.ClassName()}));
  const std::string path = AttributeOf(s.Page(), "TraceFile", "DefaultValue");
  if (path.empty()) return p.NotDone(p.T(M::ReportTraceNoDefault));
  p.Part() << TraceTail(o.lang, path);
}

// The JSON object report --json prints: where the report went (and with
// --output - the report itself) and each part's outcome.
Json Outcome(const Parts& p, bool ok, const std::string& where, const std::string& report) {
  Json j;
  j["command"] = "report";
  j["ok"] = ok;
  j["file"] = where;
  if (!report.empty()) j["report"] = report;
  j["sections"] = p.Outcomes();
  return j;
}

}  // namespace

int RunReport(const Options& o, std::ostream& out, std::ostream& err) {
  // What the user's trace holds before this run adds to it.
  const std::string traceTail = TraceTail(o.lang, platform::EnvironmentVariable("ZEVSCALE_TRACE"));

  os::ReportFile file;
  const bool toOutput = o.output == "-";
  std::string where = o.output, error;
  if (!toOutput && !CreateFile(o, file, where, error)) {
    err << "zevscale: " << Text(o.lang, M::ReportCannotWrite, {where, error}) << "\n";
    return 1;
  }
  // With --json and --output -, the report goes into the JSON object.
  std::ostringstream buffered;
  Parts p(o, o.json ? buffered : out, err, file);
  p.Part() << p.T(M::ReportTitle, {platform::LocalDateTime().substr(0, 19)}) << "\n";
  // The line trace of what the report runs, read back by the commands; a
  // trace file that cannot be written is told here.
  TraceTap tap(false, p.Part(), o.lang);
  std::string loadError;
  const std::unique_ptr<host::Library> library = ToolAndAddin(p, o, tap, loadError);
  SystemAndPorts(p, o, library.get(), tap);
  ScanAndWeighing(p, o, library.get(), tap, loadError);

  p.Heading(M::ReportTraceFile);
  p.Part() << traceTail;
  ClassTrace(p, o, library.get(), loadError);
  const bool written = p.End(error);
  if (!written) err << "zevscale: " << p.T(M::ReportCannotWrite, {where, error}) << "\n";
  if (o.json) {
    const std::string path = toOutput ? where : file.FullPath();
    out << Outcome(p, written, path, buffered.str())
               .dump(-1, ' ', false, Json::error_handler_t::replace)
        << "\n";
  } else if (written && !toOutput) {
    out << p.T(M::ReportWritten, {file.FullPath()}) << "\n";
  }
  return written ? 0 : 1;
}

}  // namespace zev::cli
