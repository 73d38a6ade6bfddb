// zevscale listen: one weighing command, then every byte that arrives with its
// time, straight from the port (the add-in is not used).
#include "common.h"
#include "line.h"

namespace zev::cli {

int RunListen(Context& c) {
  const Options& o = c.o;
  const ModelLine* model = FindModelLine(o.model);
  if (model == nullptr) return 2;
  if (!o.json) {
    c.out << c.T(M::ListenHeading, {o.model, std::to_string(o.port), model->settings,
                                    Dump(model->weigh), std::to_string(o.seconds)})
          << std::endl;
  }
  const Listening l = Listen(o.port, *model, o.seconds * 1000, false, false, c.interrupted);
  if (!l.opened) {
    Failure f;
    f.code = 1;
    f.text = l.error;
    f.reasons = WhyNoOpen(c, o.port);
    return Finish(c, {}, Json::object(), &f);
  }
  std::vector<std::string> lines;
  Json pieces = Json::array();
  for (const auto& h : l.heard) {
    std::string ms = std::to_string(h.ms);
    if (ms.size() < 5) ms.insert(0, 5 - ms.size(), ' ');
    lines.push_back("+" + ms + " ms  " + Dump(h.bytes));
    pieces.push_back({{"ms", h.ms}, {"bytes", Dump(h.bytes)}});
  }
  const std::string all = l.All();
  // The first reply frame in what arrived, and when it began.
  const Heard frame = FrameAt(l, o.model);
  const std::string frameModel = LooksLike(frame.bytes);
  const int64_t frameMs = frame.ms;
  if (all.empty()) {
    lines.push_back(c.T(M::ListenNothing, {std::to_string(o.seconds)}));
  } else {
    lines.push_back(
        c.T(M::ListenSummary, {std::to_string(all.size()), std::to_string(l.heard.size())}));
    if (frameMs < 0) {
      lines.push_back(c.T(M::ListenNoFrame, {o.model}));
    } else if (frameModel != o.model && !(frameModel == "ZEV-AW" && o.model == "ZEV-NT(N)")) {
      lines.push_back(c.T(M::ListenOtherFrame, {frameModel, o.model}));
    } else {
      lines.push_back(c.T(frameMs > 500 ? M::ListenLateFrame : M::ListenFrame,
                          {frameModel, std::to_string(frameMs)}));
    }
  }
  Json fields;
  fields["settings"] = model->settings;
  fields["sent"] = Dump(model->weigh);
  fields["seconds"] = o.seconds;
  fields["pieces"] = pieces;
  fields["bytes"] = all.size();
  fields["frame"] = frameMs >= 0 ? Json(frameModel) : Json(nullptr);
  fields["frameMs"] = frameMs >= 0 ? Json(frameMs) : Json(nullptr);
  Finish(c, lines, fields, nullptr);
  return all.empty() ? 1 : 0;
}

}  // namespace zev::cli
