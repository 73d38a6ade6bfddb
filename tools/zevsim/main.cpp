// zevsim: a simulated ZEV scale on a pseudo-terminal or behind a simulated
// Ethernet-to-serial converter, for trying the driver (or a terminal program)
// without a scale.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "simulator.h"

namespace {

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

[[noreturn]] void Refuse(const std::string& why) {
  std::fprintf(stderr, "zevsim: %s\n", why.c_str());
  std::exit(2);
}

int Whole(const std::string& option, const char* text, long low, long high) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || errno != 0 || v < low || v > high) {
    Refuse(option + " needs a whole number from " + std::to_string(low) + " to " +
           std::to_string(high) + ", not '" + text + "'");
  }
  return static_cast<int>(v);
}

double Kilograms(const char* text) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (*text == '\0' || *end != '\0' || !std::isfinite(v)) {
    Refuse(std::string("--weight needs a number of kilograms such as 12.345, not '") + text + "'");
  }
  return v;
}

void Usage(FILE* out) {
  std::fputs(
      "usage: zevsim [--version] [--model ZEV-U|ZEV-AW|ZEV-NT(N)] [--weight KG] [--port N --ports "
      "DIR]\n"
      "              [--silent] [--delay MS] [--pause-after N --pause MS] [--extra N]\n"
      "              [--missing N] [--noise] [--hang-up-after N] [--raw HEX]\n"
      "              [--tcp HOST:PORT [--refuse | --no-accept | --busy] [--copy-to-all]\n"
      "               [--telnet] [--banner TEXT] [--rfc2217 [--refuse-setting S]]]\n"
      "\n"
      "Serves a simulated scale on a pseudo-terminal and prints the device path.\n"
      "With --port and --ports it also makes DIR/COM<N> point at it, so the driver\n"
      "finds it as COM<N> when ZEVSCALE_PORTS=DIR. Runs until interrupted.\n"
      "With --tcp it serves the scale on a TCP port instead, as an Ethernet-to-serial\n"
      "converter in raw TCP server mode does, and prints tcp://HOST:PORT (port 0:\n"
      "a free one); with --rfc2217 it prints rfc2217://HOST:PORT.\n"
      "\n"
      "  --model M          scale model (default ZEV-U)\n"
      "  --weight KG        weight to report (default 0.5)\n"
      "  --silent           never answer\n"
      "  --delay MS         answer MS milliseconds late\n"
      "  --pause-after N    pause after N bytes of the reply for --pause MS\n"
      "  --extra N          send N further bytes after the frame\n"
      "  --missing N        leave out the last N bytes of the frame\n"
      "  --noise            send random bytes without end\n"
      "  --hang-up-after N  close the line after N bytes of the next reply\n"
      "  --raw HEX          answer with these bytes instead of the frame (hex pairs)\n"
      "  --tcp HOST:PORT    serve on this TCP address (numeric; HOST alone: a free port)\n"
      "  --refuse           with --tcp: refuse every connection\n"
      "  --no-accept        with --tcp: never answer a connection (full backlog)\n"
      "  --busy             with --tcp: answer \"Port already in use\" and close, as a\n"
      "                     converter whose port another client holds\n"
      "  --copy-to-all      with --tcp: one serial line for several connections at once;\n"
      "                     each receives all the scale sends, all commands reach it\n"
      "  --telnet           with --tcp: speak Telnet (negotiate on connecting, FF doubled)\n"
      "  --banner TEXT      with --tcp: send TEXT and CR LF on each connection first\n"
      "  --rfc2217          with --tcp: speak Telnet with RFC 2217 serial-port control:\n"
      "                     the line starts at 9600 8N1 and takes the settings a client\n"
      "                     sets; the scale hears nothing while they are not its own\n"
      "  --refuse-setting S with --rfc2217: keep setting S (baud, datasize, parity,\n"
      "                     stopsize) whatever is asked, answering the one kept\n"
      "  --show             show the bytes received on standard error (always on a terminal)\n"
      "\n"
      "A line on standard input such as 1.25 changes the weight at once.\n",
      out);
}

}  // namespace

int main(int argc, char** argv) {
  zev::sim::Model model = zev::sim::Model::ZevU;
  double weight = 0.5;
  zev::sim::Faults faults;
  int port = -1;
  std::string ports;
  std::string tcpHost;
  int tcpPort = -1;
  zev::sim::TcpOptions tcpOptions;
  bool showCommands = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "zevsim: %s needs a value\n", arg.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("zevsim %s\n", ZEV_VERSION);
      return 0;
    } else if (arg == "--model") {
      const std::string name = value();
      const auto m = zev::sim::ModelFromName(name);
      if (!m || name == "ZEV-NT") {
        Refuse("unknown model \"" + name +
               "\"; the models are ZEV-U, ZEV-AW, ZEV-NT(N) (exactly so written)");
      }
      model = *m;
    } else if (arg == "--weight") {
      weight = Kilograms(value());
    } else if (arg == "--port") {
      port = Whole(arg, value(), 0, 255);
    } else if (arg == "--ports") {
      ports = value();
    } else if (arg == "--silent") {
      faults.silent = true;
    } else if (arg == "--delay") {
      faults.delayMs = Whole(arg, value(), 0, 600000);
    } else if (arg == "--pause-after") {
      faults.pauseAfterBytes = Whole(arg, value(), 0, 600000);
    } else if (arg == "--pause") {
      faults.pauseMs = Whole(arg, value(), 0, 600000);
    } else if (arg == "--extra") {
      faults.extraBytes = Whole(arg, value(), 0, 600000);
    } else if (arg == "--missing") {
      faults.missingBytes = Whole(arg, value(), 0, 600000);
    } else if (arg == "--show") {
      showCommands = true;
    } else if (arg == "--noise") {
      faults.noise = true;
    } else if (arg == "--raw") {
      std::string bytes;
      const std::string hex = value();
      if (hex.size() % 2 != 0 ||
          hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        Refuse("--raw needs hex pairs such as 0D0A, not '" + hex + "'");
      }
      for (size_t k = 0; k + 1 < hex.size(); k += 2) {
        bytes += static_cast<char>(std::strtol(hex.substr(k, 2).c_str(), nullptr, 16));
      }
      faults.raw = bytes;
    } else if (arg == "--tcp") {
      // HOST:PORT, [IPv6]:PORT, or a host alone for a free port.
      const std::string address = value();
      const size_t colon = address.rfind(':');
      const bool hostOnly = colon == std::string::npos;
      tcpHost = hostOnly ? address : address.substr(0, colon);
      if (tcpHost.size() > 1 && tcpHost.front() == '[' && tcpHost.back() == ']')
        tcpHost = tcpHost.substr(1, tcpHost.size() - 2);
      if (tcpHost.empty()) Refuse("--tcp needs HOST:PORT, not '" + address + "'");
      tcpPort = hostOnly ? 0 : Whole(arg, address.c_str() + colon + 1, 0, 65535);
    } else if (arg == "--refuse") {
      tcpOptions.mode = zev::sim::TcpMode::Refuse;
    } else if (arg == "--no-accept") {
      tcpOptions.mode = zev::sim::TcpMode::NoAccept;
    } else if (arg == "--busy") {
      tcpOptions.mode = zev::sim::TcpMode::Busy;
    } else if (arg == "--copy-to-all") {
      tcpOptions.copyToAll = true;
    } else if (arg == "--telnet") {
      tcpOptions.telnet = true;
    } else if (arg == "--banner") {
      tcpOptions.banner = value();
    } else if (arg == "--rfc2217") {
      tcpOptions.rfc2217 = true;
    } else if (arg == "--refuse-setting") {
      const std::string setting = value();
      if (setting != "baud" && setting != "datasize" && setting != "parity" &&
          setting != "stopsize")
        Refuse("--refuse-setting takes baud, datasize, parity or stopsize, not '" + setting + "'");
      tcpOptions.refuseSetting = setting;
    } else if (arg == "--hang-up-after") {
      faults.hangUpAfterBytes = Whole(arg, value(), 0, 600000);
    } else {
      std::fprintf(stderr, "zevsim: unknown option %s\n", arg.c_str());
      Usage(stderr);
      return 2;
    }
  }

  zev::sim::Simulator sim(model, weight);
  sim.SetFaults(faults);
  std::string error;
  const bool tcp = tcpPort >= 0;
  if (!tcp && (tcpOptions.mode != zev::sim::TcpMode::Serve || tcpOptions.copyToAll ||
               tcpOptions.telnet || !tcpOptions.banner.empty() || tcpOptions.rfc2217)) {
    Refuse(
        "--refuse, --no-accept, --busy, --copy-to-all, --telnet, --rfc2217 and --banner need "
        "--tcp");
  }
  if (!tcpOptions.refuseSetting.empty() && !tcpOptions.rfc2217)
    Refuse("--refuse-setting needs --rfc2217");
  if (tcp ? !sim.StartTcp(tcpHost, tcpPort, tcpOptions, &error) : !sim.Start(&error)) {
    std::fprintf(stderr, "zevsim: %s\n", error.c_str());
    return 1;
  }
  std::string link;
  if ((port >= 0) != !ports.empty()) Refuse("--port and --ports go together");
  if (port >= 0 && !ports.empty()) {
    link = ports + "/COM" + std::to_string(port);
    unlink(link.c_str());
    if (tcp) {
      FILE* entry = std::fopen(link.c_str(), "w");
      if (entry == nullptr || std::fprintf(entry, "%s\n", sim.TcpUrl().c_str()) < 0 ||
          std::fclose(entry) != 0) {
        std::fprintf(stderr, "zevsim: cannot create %s: %s\n", link.c_str(), std::strerror(errno));
        return 1;
      }
    } else if (symlink(sim.DevicePath().c_str(), link.c_str()) != 0) {
      std::fprintf(stderr, "zevsim: cannot create %s: %s\n", link.c_str(), std::strerror(errno));
      return 1;
    }
  }
  std::printf("%s\n", tcp ? sim.TcpUrl().c_str() : sim.DevicePath().c_str());
  std::fflush(stdout);
  signal(SIGINT, OnSignal);
  signal(SIGTERM, OnSignal);
  // A line on standard input is a new weight; the commands received are
  // shown on standard error (on a terminal, or with --show).
  const bool show = showCommands || isatty(STDERR_FILENO);
  bool input = true;
  size_t shown = 0;
  std::string line;
  while (!g_stop) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, input ? 1 : 0, 50) > 0 && (p.revents & (POLLIN | POLLHUP)) != 0) {
      char buffer[256];
      const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
      if (n <= 0) input = false;
      for (ssize_t k = 0; k < n; ++k) {
        if (buffer[k] != '\n') {
          line += buffer[k];
          continue;
        }
        char* end = nullptr;
        const double kg = std::strtod(line.c_str(), &end);
        if (!line.empty() && *end == '\0' && std::isfinite(kg)) {
          sim.SetWeight(kg);
          std::fprintf(stderr, "zevsim: weight %.3f kg\n", kg);
        } else if (!line.empty()) {
          std::fprintf(stderr, "zevsim: a weight in kilograms such as 12.345, not '%s'\n",
                       line.c_str());
        }
        line.clear();
      }
    }
    const std::string received = sim.Received();
    if (show && received.size() > shown) {
      std::string hex;
      for (size_t k = shown; k < received.size(); ++k) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X ", static_cast<unsigned char>(received[k]));
        hex += pair;
      }
      std::fprintf(stderr, "zevsim: received %s\n", hex.c_str());
    }
    shown = received.size();
  }
  if (!link.empty()) unlink(link.c_str());
  return 0;
}
