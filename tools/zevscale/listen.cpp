// zevscale listen: one weighing command, then every byte that arrives with its
// time, straight from the port (the add-in is not used). A converter's own
// words come apart from the scale's: what it sends before the command, its
// Telnet negotiation, and its closing the connection.
#include "common.h"
#include "line.h"

namespace zev::cli {
namespace {

// What arrived, in words: how much, the reply frame in it and when it began,
// the converter's Telnet commands and its closing the connection.
void ResultLines(const Context& c, const Listening& l, const std::string& frameModel,
                 int64_t frameMs, const std::vector<std::string>& commands,
                 std::vector<std::string>& lines) {
  const Options& o = c.o;
  if (l.heard.empty()) {
    lines.push_back(c.T(M::ListenNothing, {std::to_string(o.seconds)}));
  } else {
    lines.push_back(
        c.T(M::ListenSummary, {std::to_string(l.All().size()), std::to_string(l.heard.size())}));
    if (frameMs < 0) {
      lines.push_back(c.T(M::ListenNoFrame, {o.model}));
    } else if (frameModel != o.model && !RepliesLike(o.model, frameModel)) {
      lines.push_back(c.T(M::ListenOtherFrame, {frameModel, o.model}));
    } else {
      lines.push_back(c.T(frameMs > 500 ? M::ListenLateFrame : M::ListenFrame,
                          {frameModel, std::to_string(frameMs)}));
    }
  }
  if (!commands.empty()) {
    std::string named;
    for (const auto& command : commands) named += (named.empty() ? "" : ", ") + command;
    lines.push_back(c.T(M::ConverterTelnet, {"telnet: " + named}));
  }
  if (l.closed) lines.push_back(c.T(M::ListenClosed, {std::to_string(l.closedMs)}));
}

}  // namespace

int RunListen(Context& c) {
  const Options& o = c.o;
  const scales::ModelRow* model = ModelNamed(o.model);
  if (model == nullptr) return 2;
  if (!o.json) {
    c.out << c.T(M::ListenHeading, {o.model, PortName(o, o.port), scales::LineText(model->line),
                                    Dump(std::string(model->weigh)), std::to_string(o.seconds)})
          << std::endl;
  }
  // COM<N> may stand for a converter; one of --tcp is reached by its address.
  const Listening l =
      Listen(o.port, ConverterOf(o, o.port), *model, o.seconds * 1000, false, false, c.interrupted);
  if (!l.opened) {
    Failure f;
    f.code = 1;
    f.text = l.error;
    f.reasons = WhyNoOpen(c, o.port);
    return Finish(c, {}, Json::object(), &f);
  }
  std::vector<std::string> lines;
  Json fields;
  fields["settings"] = scales::LineText(model->line);
  fields["sent"] = Dump(std::string(model->weigh));
  fields["seconds"] = o.seconds;
  TelnetReader telnet;
  std::vector<std::string> commands;  // every Telnet command, in order
  if (!l.before.empty()) {
    const auto parts = telnet.Read(l.before);
    const auto named = CommandsOf(parts);
    commands.insert(commands.end(), named.begin(), named.end());
    lines.push_back(c.T(M::ListenBefore, {Shown(parts)}));
    fields["before"] = {{"bytes", Dump(DataOf(parts))}, {"telnet", named}};
  }
  if (l.closed && l.closedMs < 0) {
    // The converter closed the connection before the command: nothing was sent.
    Greeting g;
    g.bytes = l.before;
    g.closed = true;
    Failure f;
    f.code = 1;
    f.text = GreetingTrouble(c, g);
    return Finish(c, lines, fields, &f);
  }
  // The scale's bytes alone, with their times, for the reply frame.
  Listening data = l;
  data.heard.clear();
  Json pieces = Json::array();
  auto show = [&](int64_t ms, const std::vector<TelnetReader::Part>& parts) {
    if (parts.empty()) return;
    std::string time = std::to_string(ms);
    if (time.size() < 5) time.insert(0, 5 - time.size(), ' ');
    lines.push_back("+" + time + " ms  " + Shown(parts));
    Json piece{{"ms", ms}, {"bytes", Dump(DataOf(parts))}};
    const auto named = CommandsOf(parts);
    if (!named.empty()) piece["telnet"] = named;
    commands.insert(commands.end(), named.begin(), named.end());
    pieces.push_back(piece);
    if (!DataOf(parts).empty()) data.heard.push_back({ms, DataOf(parts)});
  };
  for (const auto& h : l.heard) show(h.ms, telnet.Read(h.bytes));
  // A Telnet command cut short by the end of listening is data after all.
  if (!telnet.Rest().empty()) show(l.heard.back().ms, {{false, telnet.Rest()}});
  const std::string all = data.All();
  // The first reply frame in what arrived, and when it began.
  const Heard frame = FrameAt(data, o.model);
  const std::string frameModel = LooksLike(frame.bytes);
  const int64_t frameMs = frame.ms;
  ResultLines(c, l, frameModel, frameMs, commands, lines);
  fields["pieces"] = pieces;
  fields["bytes"] = l.All().size();
  fields["frame"] = frameMs >= 0 ? Json(frameModel) : Json(nullptr);
  fields["frameMs"] = frameMs >= 0 ? Json(frameMs) : Json(nullptr);
  if (l.converter) {
    fields["telnet"] = telnet.Seen();
    fields["closedMs"] = l.closed ? Json(l.closedMs) : Json(nullptr);
  }
  Finish(c, lines, fields, nullptr);
  return all.empty() ? 1 : 0;
}

}  // namespace zev::cli
