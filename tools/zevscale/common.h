// Pieces the commands share: the run context, a driver object of the add-in,
// the add-in's own line trace as the tool reads it, and the explanations of
// failures.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli.h"
#include "host.h"
#include "line.h"
#include "messages.h"
#include "zev/platform/ports.h"
#include "zev/platform/tcp.h"

namespace zev::cli {

using Json = nlohmann::ordered_json;

class TraceTap;

struct Context {
  const Options& o;
  std::ostream& out;
  std::ostream& err;
  const std::atomic<bool>* interrupted;
  const host::Library* library;  // null for commands that need no add-in
  TraceTap& tap;

  std::string T(M id, std::initializer_list<std::string_view> args = {}) const {
    return Text(o.lang, id, args);
  }
  bool Interrupted() const { return interrupted != nullptr && *interrupted; }
  // "12.345 kg" in the user's language.
  std::string Kilograms(double kg) const;
  // A number written with the user's decimal separator.
  std::string Decimal(std::string number) const;
};

// The number --tcp's converter goes by when the class takes its address in
// its settings: beyond every COM number.
constexpr int kConverterPort = 256;

// One driver object with a memory manager and a connection of its own, so
// that objects on different threads share nothing. Either class behind the
// same operations: the first class's device is "NoDeviceID", the equipment
// library's the identifier its "Open" gave.
class Session {
 public:
  explicit Session(const host::Library& library,
                   std::u16string_view className = u"TZEV_SCALE_Class");
  Session(const host::Library& library, DriverClass driver);
  bool Valid() const { return component_.Valid(); }
  bool Equipment() const { return equipment_; }
  std::string ClassName() const { return cli::ClassName(Driver()); }
  DriverClass Driver() const { return equipment_ ? DriverClass::Equipment : DriverClass::First; }
  const host::Component& Component() const { return component_; }

  std::unique_ptr<host::Call> Run(std::u16string_view method,
                                  std::vector<host::tVariant> params = {});
  host::tVariant Wide(const std::string& utf8) { return host::WStrUtf8(mm_, utf8); }
  bool Set(const std::string& name, host::tVariant value);
  // "GetLastError": the code and the text (UTF-8).
  std::pair<int, std::string> LastError();
  // What the driver last reported to the platform through its connection
  // (an exception's message, UTF-8), or empty.
  std::string LastReport() const;
  // The equipment library's class's texts in `lang` (the first class's are Russian).
  void Localize(Lang lang);
  // Model and port; false when the driver refuses them.
  bool Configure(const std::string& model, int port);
  // Model and converter (the equipment library's class only).
  bool Configure(const std::string& model, const platform::TcpAddress& converter);
  bool Open();
  bool Close();
  // One weighing; true with `kg` set on success.
  bool Weigh(double& kg);
  // The tare of the load on the scale (`weight` as the platform would pass
  // it), or the tare cancelled.
  bool Tare(double weight, bool cancel);
  bool Zero();
  // The device test; `text` gets what it says.
  bool Test(std::string& text);
  // The settings page (XML).
  std::string Page();
  // A text parameter of `call` (UTF-8), as this class gives its texts.
  std::string TextOf(const host::Call& call, size_t i) const;

 private:
  host::MemoryManager mm_;
  host::Connection connection_;
  host::Component component_;
  bool equipment_ = false;
  std::string device_ = "NoDeviceID";
};

// The value of `attribute` of the settings page's element named `name`, or empty.
std::string AttributeOf(const std::string& xml, const std::string& name,
                        const std::string& attribute);

// A failure as the user sees it: the driver's code and text, never empty, and
// what the tool found out about why.
struct Failure {
  int code = 0;
  std::string text;         // the driver's, as it gave it (may be empty)
  std::string explanation;  // the tool's own words when the driver gave none
  std::vector<std::string> reasons;

  Json ToJson() const;
  void Print(const Context& c) const;
  // "error 1001: text", or the code and the tool's explanation when the
  // driver gave no text.
  std::string Line(const Context& c) const;
};

enum class Operation { Open, Weigh, Test, Command, Close };

// "COM3", or the converter's address when COM<port> stands for one of --tcp.
std::string PortName(const Options& o, int port);

// The converter COM<port> stands for: one of --tcp, or a ports entry's.
std::optional<platform::TcpAddress> ConverterOf(const Options& o, int port);

// The first converter of --tcp as tcp://HOST:PORT, or empty.
std::string ConverterUrl(const Options& o);

// A converter's connection status in the user's language.
std::string TcpReason(Lang lang, platform::TcpStatus status);

// Why COM<port> does not open, as far as the system tells.
std::vector<std::string> WhyNoOpen(const Context& c, int port);

// How the last connection to `converter` (behind COM<port>) ended: as the
// add-in's trace tells, else by a connection of the tool's own. `why` gets the
// reason in the user's language, with the system's words where they help.
platform::TcpStatus ConnectOutcome(const Context& c, int port,
                                   const platform::TcpAddress& converter, std::string& why);

// What a converter's greeting tells: that it is busy with another
// connection, closes every connection, or speaks Telnet; empty when it is
// quiet (or only greets) as a converter in raw TCP mode is.
std::string GreetingTrouble(const Context& c, const Greeting& g);

// What keeps the first line of a ports entry from being a converter's address
// when it is almost one (a byte order mark, capitals, no port, ...), and what
// it must look like; empty when it is nothing like an address.
std::string NearAddress(Lang lang, const std::string& firstLine);

// "PID 1234 (picocom), PID 99 (cat)".
std::string HolderList(const std::vector<platform::PortHolder>& holders);
// "root:dialout 0660", or empty when unknown.
std::string AccessText(const platform::PortAccess& access);
// The ports directory's state and the remedy (an entry for COM<port>, or
// COM3 when port < 0) when it maps nothing; empty when it is usable.
std::vector<std::string> PortsDirectoryNotes(const Context& c, int port = -1);
// "COM3 is open by PID 1234 (picocom) without a lock: ...", or empty.
std::string OpenWithoutLockNote(const Context& c, int port);

// A system error's words (strerror) fit for the user's language: in Russian
// output its Russian words and its name ("EACCES"), where the tool knows it.
std::string SystemWords(Lang lang, const std::string& words);

// `text` cut to fit a line of `columns` characters without wrapping (0: 80).
std::string FitLine(const std::string& text, int columns);

// Explains the driver's last error after `operation` failed on COM<port>.
Failure Explain(Context& c, Session& s, Operation operation, int port, const std::string& model);

// The add-in's line trace of this run: ZEVSCALE_TRACE is pointed at a file of
// the tool's own (or left where the user pointed it); the lines are read back
// after each call, copied to standard error with --trace, and tell what
// happened on the line when an operation fails.
class TraceTap {
 public:
  TraceTap(bool echo, std::ostream& err, Lang lang = Lang::En);
  ~TraceTap();
  TraceTap(const TraceTap&) = delete;
  TraceTap& operator=(const TraceTap&) = delete;

  // Reads the lines written since the last call (and echoes them).
  void Drain();
  // Echoed lines name these COM<N> of the tool's own by the converter's address.
  void Rename(const std::map<int, std::string>& names) { names_ = names; }

  enum class LineOutcome { Unknown, Nothing, NotAReply, Gone };
  // What the last command on COM<port> met; `bytes` gets what arrived.
  LineOutcome LastExchange(int port, std::string* bytes = nullptr) const;
  // The first bytes that arrived on COM<port> during this run, or empty.
  std::string AnyBytes(int port) const;
  // Whether `model` read on COM<port> during this run and every read attempt
  // brought nothing.
  bool OnlySilence(int port, const std::string& model) const;
  // Every byte that arrived after the last command on COM<port>.
  std::string ReplyBytes(int port) const;
  // Whether the line of COM<port> went away (a converter closed the
  // connection) since the last command was sent.
  bool GoneSinceLastCommand(int port) const;
  // The lines read so far (after reading what is new), for SentSince.
  size_t Mark();
  // The first command sent on COM<port> after `mark`, as the trace shows it
  // ("54 |T|"), or empty.
  std::string SentSince(int port, size_t mark) const;
  // The last command sent on COM<port> since the last open, as the trace shows
  // it ("54 |T|"), or empty.
  std::string LastSent(int port) const;
  // What the last "open" of COM<port> in this run said after its colon
  // ("ok", or why not), or empty.
  std::string LastOpen(int port) const;
  // The Telnet commands the driver had from the converter on COM<port>, as its
  // "telnet:" lines name them ("WILL ECHO, DO BINARY"); empty when none.
  std::string TelnetSeen(int port) const;

 private:
  // Whether a trace line's link (COM3, tcp://HOST:PORT) is COM<port>'s.
  bool Is(const std::string& link, int port) const;

  std::string path_;
  intptr_t file_ = -1;    // the trace file, held open while the tap lives
  std::string previous_;  // the variable's value before this run
  bool own_ = false;
  bool echo_ = false;
  std::ostream& err_;
  long long offset_ = 0;
  std::string partial_;
  std::vector<std::string> lines_;
  std::map<int, std::string> names_;
};

// Characters (not bytes) of UTF-8 text.
size_t CharCount(const std::string& utf8);

// Text from outside (a program's name, a device's) fit for a terminal:
// control characters shown as \u001b as JSON shows them, bytes that are not
// UTF-8 as \xff; everything else as it is.
std::string Printable(const std::string& text);

// The heading of a command on one scale: "ZEV-U on COM3 (simulated)".
std::string Heading(const Context& c);
// The JSON object every one-shot command prints.
Json Envelope(const Context& c, bool ok);

// False, with a word to the user, when the add-in gave no driver object.
bool Usable(Context& c, const Session& s);
// Sets the model and the port (or the converter) of `s` as `c` names them,
// with the texts in the user's language.
bool SetScale(Context& c, Session& s);
// Sets the model and the port of `s` and opens the port; on failure fills `failure`.
bool OpenScale(Context& c, Session& s, Failure& failure);
// A command that the scale does not answer (tare, zero): open, `command`,
// close; on success `said` tells what was sent (given the bytes as the trace
// shows them, " (54 |T|)", or empty), and that the scale does not confirm it.
// Returns the exit status.
int RunCommand(Context& c, const std::function<std::string(const std::string& sent)>& said,
               const std::function<bool(Session&)>& command);
// Prints the heading of a command on one scale (not with --json), before
// anything the line trace shows.
void Begin(Context& c);
// Prints a one-shot command's result: `lines`, or one JSON
// object with `fields`; a failure goes to standard error (or into the JSON).
// Returns the exit status.
int Finish(Context& c, const std::vector<std::string>& lines, const Json& fields,
           const Failure* failure);

// The add-in that `o` names (or the one beside the program), and where it is.
std::string AddinPath(const Options& o);
// Null with `error` saying why when it cannot be used.
std::unique_ptr<host::Library> LoadAddin(const Options& o, std::string& error);

// The commands, one file each.
int RunInfo(Context& c);
int RunSettings(Context& c);
int RunTest(Context& c);
int RunWeigh(Context& c);
int RunWatch(Context& c);
int RunTare(Context& c);
int RunZero(Context& c);
int RunPorts(Context& c);
int RunScan(Context& c);
int RunCheck(Context& c);
int RunListen(Context& c);
// The report for support: runs the commands above into one file of its own.
int RunReport(const Options& o, std::ostream& out, std::ostream& err);

}  // namespace zev::cli
