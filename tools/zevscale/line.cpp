#include "line.h"

#include <algorithm>
#include <memory>

#include "SCALES_ZEV_NT.h"
#include "SCALE_ZEV_AW.h"
#include "SCALE_ZEV_U.h"
#include "TPort.h"
#include "TTrace.h"
#include "zev/platform/clock.h"
#include "zev/platform/serial.h"
#include "zev/platform/tcp.h"

namespace zev::cli {

const ModelLine* FindModelLine(const std::string& model) {
  static const ModelLine kLines[] = {
      {"ZEV-U", false, "P", "4800 8N1"},
      {"ZEV-AW", true, std::string("\0\0\3", 3), "4800 8O1"},
      {"ZEV-NT(N)", true, std::string("\0\0\3", 3), "4800 8O1"},
  };
  for (const auto& line : kLines) {
    if (model == line.name) return &line;
  }
  return nullptr;
}

std::string Listening::All() const {
  std::string all;
  for (const auto& h : heard) all += h.bytes;
  return all;
}

Listening Listen(int port, const ModelLine& model, int ms, bool quietFirst, bool untilFrame,
                 const std::atomic<bool>* interrupted) {
  Listening l;
  // Short attempts, so that each piece is stamped close to its arrival.
  platform::SerialTimeouts t;
  t.readInterval = 10;
  t.readTotalMultiplier = 0;
  t.readTotalConstant = 10;
  // COM<port> may stand for a converter's TCP address.
  std::unique_ptr<scales::TPort> line;
  if (const auto converter = platform::TcpEntry(static_cast<uint8_t>(port))) {
    platform::TcpStatus status;
    line = scales::OpenTcpPort(*converter, t, status);
    if (!line) l.error = converter->Url() + ": " + platform::TcpStatusText(status);
  } else {
    platform::OpenStatus status;
    platform::OpenProblem problem;
    line = scales::OpenSerialPort(static_cast<uint8_t>(port), 4800,
                                  model.oddParity ? platform::Parity::Odd : platform::Parity::None,
                                  t, status, problem, l.error);
    if (!line && l.error.empty()) l.error = "the line settings were refused";
  }
  if (!line) return l;
  l.opened = true;
  char buffer[64];
  auto stop = [&] { return interrupted != nullptr && *interrupted; };
  if (quietFirst) {
    const auto limit = platform::Now() + platform::Millis(1000);
    auto quietSince = platform::Now();
    while (platform::Now() < limit && platform::MillisBetween(quietSince, platform::Now()) < 300 &&
           !stop()) {
      if (line->ReadAttempt(buffer, sizeof buffer).count > 0) quietSince = platform::Now();
    }
  }
  line->Purge();
  line->Write(model.weigh.data(), model.weigh.size());
  const auto start = platform::Now();
  std::string all;
  while (platform::MillisBetween(start, platform::Now()) < ms && !stop()) {
    const platform::ReadResult r = line->ReadAttempt(buffer, sizeof buffer);
    if (r.failed) break;
    if (r.count == 0) continue;
    l.heard.push_back({platform::MillisBetween(start, platform::Now()), {buffer, r.count}});
    all += l.heard.back().bytes;
    if (untilFrame && IsFrame(model.name, all)) break;
  }
  return l;
}

Heard FrameAt(const Listening& l, const std::string& model, int64_t after) {
  const size_t size = model == "ZEV-U" ? 14 : 18;
  for (size_t i = 0; i < l.heard.size(); ++i) {
    if (l.heard[i].ms < after) continue;
    std::string from;
    for (size_t k = i; k < l.heard.size() && from.size() < size; ++k) from += l.heard[k].bytes;
    from.resize(std::min(from.size(), size));
    if (IsFrame(model, from) || (model == "ZEV-NT(N)" && IsFrame("ZEV-AW", from)))
      return {l.heard[i].ms, from};
  }
  return {-1, std::string()};
}

bool IsFrame(const std::string& model, const std::string& bytes) {
  if (model == "ZEV-U") return !zev_u::ParseReply(bytes, '.').empty();
  if (model == "ZEV-AW") return !zev_aw::ParseReply(bytes, '.').empty();
  if (model == "ZEV-NT(N)") return !zev_nt::ParseReply(bytes, '.').empty();
  return false;
}

std::string LooksLike(const std::string& bytes) {
  if (IsFrame("ZEV-U", bytes)) return "ZEV-U";
  // A ZEV-NT(N) frame carries "kg" after its six digits; the ZEV-NT(N) reader
  // also takes a ZEV-AW frame, without its sign.
  const bool kg = bytes.size() == 18 && bytes.compare(9, 2, "kg") == 0;
  if (kg && IsFrame("ZEV-NT(N)", bytes)) return "ZEV-NT(N)";
  if (IsFrame("ZEV-AW", bytes)) return "ZEV-AW";
  if (IsFrame("ZEV-NT(N)", bytes)) return "ZEV-NT(N)";
  return std::string();
}

std::string Dump(const std::string& bytes) {
  // The trace's own rendering; nothing at all is shown as empty bars here.
  return bytes.empty() ? "||" : scales::TTrace::Dump(bytes);
}

}  // namespace zev::cli
