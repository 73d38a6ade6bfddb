// zevscale: the driver outside the platform. The add-in is loaded and called
// exactly as the platform does it, through its exports and tables.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "simulator.h"

namespace zev::cli {

struct Options {
  std::string command;  // info, settings, test, weigh, tare, zero
  bool help = false;
  std::string library;  // empty: the add-in beside the program
  std::string model;
  int port = -1;
  bool json = false;
  bool watch = false;
  int intervalMs = 500;
  int count = 1;  // weighings; 0 with --watch: until interrupted
  double tareWeight = 0.0;
  bool simulate = false;
  double simWeight = 0.5;
  sim::Faults simFaults;
};

struct Parsed {
  bool ok = false;
  std::string error;  // what was wrong with the arguments
  Options options;
};

Parsed Parse(const std::vector<std::string>& args);
std::string Usage(const std::string& command);

// Runs the command; the exit status: 0 success, 1 the operation failed, 2 bad usage.
int Run(const Options& options, std::ostream& out, std::ostream& err,
        const std::atomic<bool>* interrupted = nullptr);

// The settings page with one element per line, indented by nesting.
std::string IndentXml(const std::string& xml);

// A JSON string literal of UTF-8 text.
std::string JsonString(const std::string& utf8);

}  // namespace zev::cli
