#include <atomic>
#include <iostream>

#include "cli.h"
#include "console.h"
#include "process_locale.h"

namespace {
std::atomic<bool> g_interrupted{false};
}  // namespace

int main(int argc, char** argv) {
  const zev::cli::os::ConsoleText console;
  const std::vector<std::string> args = zev::cli::os::Arguments(argc, argv);
  const zev::cli::Lang lang = zev::cli::os::UserLanguage();
  zev::cli::Parsed parsed = zev::cli::Parse(args, lang);
  if (!parsed.ok) {
    std::cerr << "zevscale: " << parsed.error << "\n\n"
              << zev::cli::Usage(args.empty() ? std::string() : args[0], lang);
    return 2;
  }
  // The add-in reads a weight's decimal separator as it would in the
  // platform's process; the tool's own numbers do not depend on it.
  zev::cli::os::UsePlatformLocale();
  parsed.options.terminal = zev::cli::os::OutputIsTerminal();
  parsed.options.columns = zev::cli::os::TerminalColumns();
  // Only weighing and watching stop by themselves when interrupted, and end
  // tidily; every other command is ended by Ctrl-C or a termination request
  // as any program is (what it leaves in the temporary folder, the next run
  // removes).
  const std::string& command = parsed.options.command;
  if (command == "weigh" || command == "watch") zev::cli::os::SetInterruptFlag(&g_interrupted);
  return zev::cli::Run(parsed.options, std::cout, std::cerr, &g_interrupted);
}
