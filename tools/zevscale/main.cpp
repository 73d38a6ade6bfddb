#include <signal.h>

#include <atomic>
#include <iostream>

#include "cli.h"

namespace {
std::atomic<bool> g_interrupted{false};
void OnSignal(int) {
  g_interrupted = true;
}
}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const zev::cli::Parsed parsed = zev::cli::Parse(args);
  if (!parsed.ok) {
    std::cerr << "zevscale: " << parsed.error << "\n\n"
              << zev::cli::Usage(args.empty() ? std::string() : args[0]);
    return 2;
  }
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  return zev::cli::Run(parsed.options, std::cout, std::cerr, &g_interrupted);
}
