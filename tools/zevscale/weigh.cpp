// zevscale weigh and zevscale watch: "GetWeight" once, K times, or until Ctrl-C.
#include <chrono>
#include <thread>

#include "common.h"
#include "line.h"
#include "zev/platform/tracefile.h"

namespace zev::cli {
namespace {

// Sleeps `ms`, waking early when interrupted.
void Pause(const Context& c, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!c.Interrupted() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// One reading: a weight, or the failure in its place.
struct Reading {
  bool weighed = false;  // the port was open for the command
  bool ok = false;
  double kg = 0;
  Failure failure;
  std::string warning;  // why the reading may be a late reply, or empty
};

// Weighs once, opening the port when it is not open and closing it after a failure.
Reading ReadOnce(Context& c, Session& s, bool& open) {
  Reading r;
  if (!open) open = OpenScale(c, s, r.failure);
  r.weighed = open;
  if (open) {
    r.ok = s.Weigh(r.kg);
    if (!r.ok) {
      r.failure = Explain(c, s, Operation::Weigh, c.o.port, c.o.model);
      s.Close();
      open = false;
    }
  }
  c.tap.Drain();
  return r;
}

// What a failed command may still get: nothing came in time, or bytes that
// are not one whole reply (part of one, or the tail of an earlier one), and
// the rest may be on its way. A whole reply that does not read as a weight
// came in time, and nothing follows it.
enum class Pending { None, Reply, Rest };

Pending PendingAfter(const Context& c, const Reading& r) {
  if (r.ok || !r.weighed) return Pending::None;
  const auto outcome = c.tap.LastExchange(c.o.port);
  if (outcome == TraceTap::LineOutcome::Nothing) return Pending::Reply;
  if (outcome != TraceTap::LineOutcome::NotAReply) return Pending::None;
  const scales::ModelRow* row = ModelNamed(c.o.model);
  const std::string bytes = c.tap.ReplyBytes(c.o.port);
  const bool whole = row != nullptr && bytes.size() == row->frame.length &&
                     bytes.compare(bytes.size() - 2, 2, "\r\n") == 0;
  return whole ? Pending::None : Pending::Rest;
}

// Reading number `number`: a JSON object of its own with --json, else a line
// with its time, rewritten in place on a terminal.
void ShowReading(Context& c, const Reading& r, int number, bool inPlace) {
  const Options& o = c.o;
  const std::string time = platform::LocalTimeOfDay();
  if (o.json) {
    Json j;
    j["time"] = time;
    j["ok"] = r.ok;
    if (r.ok) {
      j["weight"] = r.kg;
      if (!r.warning.empty()) {
        j["late"] = true;
        j["warning"] = r.warning;
      }
    } else {
      j["error"] = r.failure.ToJson();
    }
    c.out << j.dump(-1, ' ', false, Json::error_handler_t::replace) << std::endl;
    return;
  }
  std::string line = r.ok ? c.Kilograms(r.kg) : r.failure.Line(c);
  std::string why = r.warning;
  if (!r.ok && !r.failure.explanation.empty()) why = r.failure.explanation;
  for (const auto& reason : r.failure.reasons) {
    if (reason != c.T(M::SeeTrace)) why += (why.empty() ? "" : "; ") + reason;
  }
  if (!why.empty()) line += " (" + why + ")";
  if (inPlace) {
    // The reading's number and time, the whole line within the terminal's width.
    line = FitLine("#" + std::to_string(number) + " " + time.substr(0, 8) + " " + line, o.columns);
    c.out << "\r" << line << "\033[K" << std::flush;
  } else {
    c.out << time << " " << line << std::endl;
  }
}

// The heading first, then each reading as it comes: a weight, or the failure
// in its place; the port is opened again after a failure. A reading that may
// be a late reply to an earlier command says so: the port's input is cleared
// before each command, but the reply to a command that got none (or only
// part of one) in time may still be on its way and arrive after the next
// one. That next command goes at once, whatever the interval, so that a
// late reply comes within its wait instead of being cleared away: a late
// scale still gives readings. Once only, so that a silent scale is asked
// at the interval's pace.
int Watch(Context& c, Session& s) {
  const Options& o = c.o;
  // Trace lines need whole lines of their own: no reading in place beside them.
  const bool inPlace = o.terminal && !o.json && !o.trace;
  if (!o.json) c.out << Heading(c) << std::endl;
  bool open = false;
  bool lastOk = false;
  Pending pending = Pending::None;  // what the last command may still get
  bool atOnce = false;              // the last command went without a pause
  bool behind = false;              // the last reading may have answered an earlier command
  int readings = 0, failures = 0, late = 0;
  for (int done = 0; o.count == 0 || done < o.count; ++done) {
    if (c.Interrupted()) break;
    atOnce = done > 0 && pending != Pending::None && !atOnce;
    if (done > 0 && !atOnce) Pause(c, o.intervalMs);
    if (c.Interrupted()) break;
    Reading r = ReadOnce(c, s, open);
    if (r.ok) {
      // Once a command went unanswered, each reply may be the one before's:
      // the replies then run one command behind until a reading fails.
      if (pending != Pending::None) {
        r.warning = c.T(pending == Pending::Rest ? M::WatchAfterPart : M::WatchAfterSilence);
      } else if (behind) {
        r.warning = c.T(M::WatchAfterLate);
      }
      behind = !r.warning.empty();
    } else {
      behind = false;
    }
    pending = PendingAfter(c, r);
    ++readings;
    failures += r.ok ? 0 : 1;
    late += r.warning.empty() ? 0 : 1;
    lastOk = r.ok;
    ShowReading(c, r, readings, inPlace);
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
  Session s(*c.library, c.o.driverClass);
  if (!Usable(c, s)) return 1;
  Begin(c);
  Failure failure;
  if (!OpenScale(c, s, failure)) return Finish(c, {}, Json::object(), &failure);
  Json weights = Json::array();
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
    if (!c.o.json) c.out << c.Kilograms(kg) << std::endl;
  }
  if (!s.Close() && ok) {
    failure = Explain(c, s, Operation::Close, c.o.port, c.o.model);
    ok = false;
  }
  Json fields;
  fields["weights"] = weights;
  return Finish(c, {}, fields, ok ? nullptr : &failure);
}

int RunWatch(Context& c) {
  Session s(*c.library, c.o.driverClass);
  if (!Usable(c, s)) return 1;
  return Watch(c, s);
}

}  // namespace zev::cli
