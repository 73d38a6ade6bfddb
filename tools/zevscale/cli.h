// zevscale: the driver outside the platform. The add-in is loaded and called
// exactly as the platform does it, through its exports and tables.
#pragma once

#include <atomic>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "messages.h"
#include "simulator.h"

namespace zev::cli {

// The driver class a command drives: TZEV_SCALE_Class, or the equipment
// library's TZEV_SCALE_4001_Class, which takes a converter's address in its
// settings.
enum class DriverClass { First, Equipment };

// The class's name as the add-in registers it.
const char* ClassName(DriverClass driver);

// What the system offers the tool: simulated scales need pseudo-terminals,
// and the first class reaches a converter only through a ports directory.
struct System {
  bool simulate = true;
  bool portsDirectory = true;
};
System ThisSystem();

struct Options {
  std::string command;  // info, settings, test, weigh, watch, tare, zero, ports, scan, ...
  bool help = false;
  bool version = false;
  Lang lang = Lang::En;
  std::string library;  // empty: the add-in beside the program
  std::string model;
  int port = -1;
  bool json = false;
  bool trace = false;  // the add-in's line trace on standard error
  bool watch = false;
  bool terminal = false;  // standard output is a terminal (--watch updates one line)
  int columns = 0;        // the terminal's width; 0: unknown
  int intervalMs = 500;
  int seconds = 3;     // listen
  std::string output;  // report: the file to write ("-": standard output), empty: a new one
  int count = 1;       // weighings; 0 with --watch: until interrupted
  double tareWeight = 0.0;
  bool tareWeightGiven = false;
  bool tareCancel = false;
  bool withTare = false;                // check on a real scale: send the tare too
  bool withZero = false;                // check on a real scale: send the zero too
  bool english = false;                 // check: the methods' English names
  std::vector<int> scanPorts;           // empty: COM1 to COM8 and every mapped COM<N>
  std::vector<std::string> tcp;         // converters (HOST:PORT) instead of --port or --ports
  std::map<int, std::string> tcpNames;  // the COM numbers the converters are reached by, and
                                        // their addresses (tcp://HOST:PORT); set by Run
  std::vector<std::string> scanModels;  // empty: all three
  DriverClass driverClass = DriverClass::First;
  bool classGiven = false;  // --class given (else chosen by the system and --tcp)
  bool tcpDirect = false;   // the converters of --tcp are reached by their address, not
                            // through entries of a ports directory (a system without one)
  bool simulate = false;
  double simWeight = 0.5;
  sim::Faults simFaults;
};

struct Parsed {
  bool ok = false;
  std::string error;  // what was wrong with the arguments
  Options options;
};

Parsed Parse(const std::vector<std::string>& args, Lang lang = Lang::En,
             const System& system = ThisSystem());
// A command's usage as it reads on `system` (zevscale --help on Windows has no
// --simulate, ...).
std::string Usage(const std::string& command, Lang lang = Lang::En,
                  const System& system = ThisSystem());
std::string VersionText();

// Runs the command; the exit status: 0 success, 1 the operation failed, 2 bad
// usage, 130 interrupted while watching.
int Run(const Options& options, std::ostream& out, std::ostream& err,
        const std::atomic<bool>* interrupted = nullptr);

// The settings page with one element per line, indented by nesting.
std::string IndentXml(const std::string& xml);

// `text` padded with blanks to `width` characters (UTF-8 characters, not bytes).
std::string PadRight(const std::string& text, size_t width);

// A JSON string literal of UTF-8 text.
std::string JsonString(const std::string& utf8);

// Names of the models the driver serves, exactly as written.
const std::vector<std::string>& ModelNames();

}  // namespace zev::cli
