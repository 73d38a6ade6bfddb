// zevscale weigh and zevscale watch: "GetWeight" once, K times, or until Ctrl-C.
#include <chrono>
#include <thread>

#include "common.h"
#include "zev/platform/tracefile.h"

namespace zev::cli {
namespace {

// How long after a command the driver waits for its reply.
constexpr int kReplyDeadlineMs = 500;

// Sleeps `ms`, waking early when interrupted.
void Pause(const Context& c, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!c.Interrupted() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// The heading first, then each reading as it comes: a weight, or the failure
// in its place; the port is opened again after a failure. A reading that may
// be a late reply to an earlier command says so: one that came after the
// reply deadline, or right after a command that got no reply in time (the
// port's input is cleared before each command, but a reply still on its way
// arrives after that).
int Watch(Context& c, Session& s) {
  const Options& o = c.o;
  // Trace lines need whole lines of their own: no reading in place beside them.
  const bool inPlace = o.terminal && !o.json && !o.trace;
  if (!o.json) c.out << Heading(c) << std::endl;
  bool open = false;
  bool lastOk = false;
  bool unanswered = false;  // the last command got nothing in time
  bool commanded = false;   // a weigh command was sent
  bool wasLate = false;     // the last reading came late or after an unanswered command
  int readings = 0, failures = 0, late = 0;
  for (int done = 0; o.count == 0 || done < o.count; ++done) {
    if (c.Interrupted()) break;
    if (done > 0) Pause(c, o.intervalMs);
    if (c.Interrupted()) break;
    Failure failure;
    double kg = 0;
    bool ok = false;
    if (!open) open = OpenScale(c, s, failure);
    const bool sent = commanded;  // an earlier command of this run went out
    if (open) {
      commanded = true;
      ok = s.Weigh(kg);
      if (!ok) {
        failure = Explain(c, s, Operation::Weigh, o.port, o.model);
        s.Close();
        open = false;
      }
    }
    c.tap.Drain();
    std::string warning;
    if (ok) {
      // A late reply is followed by a quick one when the replies run one
      // command behind: the one after a late reading is suspect too.
      const int ms = c.tap.ReplyMs(o.port);
      const bool lateBefore = wasLate;
      wasLate = ms > kReplyDeadlineMs || unanswered;
      if (ms > kReplyDeadlineMs) {
        warning = c.T(sent ? M::WatchLateReply : M::WatchLateFirst, {std::to_string(ms)});
      } else if (unanswered) {
        warning = c.T(M::WatchAfterSilence);
      } else if (lateBefore) {
        warning = c.T(M::WatchAfterLate);
      }
      unanswered = false;
    } else {
      unanswered = c.tap.LastExchange(o.port) == TraceTap::LineOutcome::Nothing;
      wasLate = false;
    }
    ++readings;
    failures += ok ? 0 : 1;
    late += warning.empty() ? 0 : 1;
    lastOk = ok;
    const std::string time = platform::LocalTimeOfDay();
    if (o.json) {
      Json j;
      j["time"] = time;
      j["ok"] = ok;
      if (ok) {
        j["weight"] = kg;
        if (!warning.empty()) {
          j["late"] = true;
          j["warning"] = warning;
        }
      } else {
        j["error"] = failure.ToJson();
      }
      c.out << j.dump(-1, ' ', false, Json::error_handler_t::replace) << std::endl;
      continue;
    }
    std::string line = ok ? c.Kilograms(kg) : failure.Line(c);
    std::string why = warning;
    if (!ok && !failure.explanation.empty()) why = failure.explanation;
    for (const auto& reason : failure.reasons) {
      if (reason != c.T(M::SeeTrace)) why += (why.empty() ? "" : "; ") + reason;
    }
    if (!why.empty()) line += " (" + why + ")";
    if (inPlace) {
      // The reading's number and time, the whole line within the terminal's width.
      line =
          FitLine("#" + std::to_string(readings) + " " + time.substr(0, 8) + " " + line, o.columns);
      c.out << "\r" << line << "\033[K" << std::flush;
    } else {
      c.out << time << " " << line << std::endl;
    }
  }
  if (open) s.Close();
  c.tap.Drain();
  if (inPlace) c.out << "\n";
  if (!o.json && (inPlace || c.Interrupted())) {
    const std::string counts = std::to_string(readings);
    c.out << (late > 0 ? c.T(M::WatchSummaryLate,
                             {counts, std::to_string(failures), std::to_string(late)})
                       : c.T(M::WatchSummary, {counts, std::to_string(failures)}))
          << std::endl;
  }
  if (c.Interrupted()) return 130;
  return lastOk ? 0 : 1;
}

}  // namespace

int RunWeigh(Context& c) {
  if (c.o.watch) return RunWatch(c);
  Session s(*c.library);
  if (!Usable(c, s)) return 1;
  Begin(c);
  Failure failure;
  if (!OpenScale(c, s, failure)) return Finish(c, {}, Json::object(), &failure);
  Json weights = Json::array();
  Json warnings = Json::array();
  bool ok = true;
  for (int done = 0; done < c.o.count && !c.Interrupted(); ++done) {
    if (done > 0) Pause(c, c.o.intervalMs);
    double kg = 0;
    if (!s.Weigh(kg)) {
      failure = Explain(c, s, Operation::Weigh, c.o.port, c.o.model);
      ok = false;
      break;
    }
    weights.push_back(kg);
    c.tap.Drain();  // the trace of this reading first, then the reading
    const int ms = c.tap.ReplyMs(c.o.port);
    const std::string warning =
        ms > kReplyDeadlineMs
            ? c.T(done == 0 ? M::WatchLateFirst : M::WatchLateReply, {std::to_string(ms)})
            : std::string();
    if (!warning.empty()) warnings.push_back(warning);
    if (!c.o.json)
      c.out << c.Kilograms(kg) << (warning.empty() ? "" : " (" + warning + ")") << std::endl;
  }
  if (!s.Close() && ok) {
    failure = Explain(c, s, Operation::Close, c.o.port, c.o.model);
    ok = false;
  }
  Json fields;
  fields["weights"] = weights;
  if (!warnings.empty()) fields["warnings"] = warnings;
  return Finish(c, {}, fields, ok ? nullptr : &failure);
}

int RunWatch(Context& c) {
  Session s(*c.library);
  if (!Usable(c, s)) return 1;
  return Watch(c, s);
}

}  // namespace zev::cli
