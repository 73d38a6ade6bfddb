// The device core that both driver classes stand on: the table of the models,
// the adapter of the chosen model, its port, and what went wrong where it went
// wrong. Each class only adds its own conventions (parameters, identifiers,
// texts) on top.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "TCommunication.h"

namespace zev::driver {

// Why the last operation of a device failed.
enum class Fault : uint8_t {
  None,
  NoModel,               // no model chosen, or a name that is not in the table
  PortMissing,           // the port does not exist
  PortNoAccess,          // the user may not open it
  PortBusy,              // another program holds it
  PortRefused,           // any other refusal to open
  LineSettings,          // the line settings were refused
  Timeouts,              // the time-outs were refused
  NotOpen,               // no port held
  CommandFailed,         // the command could not be written
  NothingArrived,        // no reply before the deadline
  NotAReply,             // bytes arrived that are not this model's reply
  LineGone,              // the line went away while waiting
  NotAWeight,            // a reply of the right form whose weight text is no number
  Unsupported,           // the model has no such command
  NoAnswerAfterCommand,  // a command without a reply, and no reply to the weighing after it
  LinkFailed,            // a converter could not be reached or closed the connection
};

struct DeviceError {
  Fault fault = Fault::None;
  std::string bytes;       // what arrived (NotAReply, NotAWeight)
  std::string weightText;  // the text that was read as a number (NotAWeight)
  platform::TcpStatus link = platform::TcpStatus::Ok;  // why (LinkFailed)
};

// A model adapter behind one interface; results as the adapters give them.
class IScaleAdapter {
 public:
  virtual ~IScaleAdapter() = default;
  virtual int16_t OpenPort(uint8_t port) = 0;
  virtual int16_t OpenPort(const scales::TEndpoint& endpoint) = 0;
  virtual int16_t ClosePort() = 0;
  // A tare of `kg`; ZEV-U cancels the tare for 0.
  virtual int16_t Tare(double kg) = 0;
  // The tare of what lies on the pan, and the cancel (where the model has one).
  virtual int16_t TareLoad() = 0;
  virtual int16_t CancelTare() = 0;
  virtual int16_t SetZero() = 0;
  virtual int16_t Weigh() = 0;
  virtual std::string WeightText() const = 0;
  virtual std::u16string ErrorText() const = 0;
  virtual scales::TCommunication& Link() = 0;
};

// One row per model: everything that differs between them.
struct ModelRow {
  const char16_t* name;     // the model's name, as "Model" is set
  const char16_t* caption;  // the model in a settings page's choice list
  const char16_t* source;   // names the scale in error reports to the platform
  bool zeroing;             // the scale has a zero command
  bool cancelTare;          // the scale has a command that removes the tare
  bool kgSuffix;            // the weight text ends in "kg" with blanks around
  scales::FrameRule frame;  // a whole weight reply, for reads that end with it
  std::unique_ptr<IScaleAdapter> (*make)();
};

inline constexpr size_t kModelCount = 3;
const std::array<ModelRow, kModelCount>& Models();

// The index of the model called `name` (the user locale's case-sensitive
// comparison of the Windows-1251 texts), or -1.
int FindModel(std::u16string_view name);

// The message of a weight text that does not read as a number.
std::string UnreadableWeightMessage(const std::string& text);

class TScaleDevice {
 public:
  // Chooses the model. Its adapter is made here, once, and every later
  // operation goes to it; the adapter of an earlier model is released and a
  // port it held closed. False for a name that is not in the table.
  bool SetModel(std::u16string_view name);
  int ModelIndex() const { return model_; }
  // The row of the chosen model, or null.
  const ModelRow* Model() const;
  bool HasAdapter() const { return adapter_ != nullptr; }

  // Replies read as soon as they are complete instead of when the line falls
  // quiet; taken at the next Open.
  void SetFastReplies(bool fast) { fast_ = fast; }
  // Where the line trace goes from the next Open; empty follows ZEVSCALE_TRACE.
  void SetTraceTarget(std::string target) { traceTarget_ = std::move(target); }

  bool Open(uint8_t port);
  // A COM port (as Open(uint8_t), a ports-directory entry may stand for a
  // converter) or a converter's TCP address.
  bool Open(const scales::TEndpoint& endpoint);
  bool Close();
  bool IsOpen() const;
  // The port of the last Open (0 for a converter's address).
  uint8_t Port() const { return port_; }
  // Where the last Open went: "COM3" or "tcp://HOST:PORT".
  const scales::TEndpoint& Endpoint() const { return endpoint_; }

  bool Tare(double kg);
  bool Zero();
  // The tare of the load on the pan; the tare removed (Unsupported, nothing
  // sent, where the model has no such command).
  bool TareLoad();
  bool CancelTare();
  // Whether the scale answers after a command that has no reply of its own:
  // one weighing; false (NoAnswerAfterCommand) when nothing came back.
  bool Heard();
  // A weighing with the weight text as the model's unit gave it.
  bool WeighText(std::string& text);
  // A weighing read as kilograms.
  bool Weigh(double& kg);

  const DeviceError& Error() const { return error_; }
  // The adapter's own message of its last failure; empty without an adapter.
  std::u16string AdapterText() const;

 private:
  bool Done(int16_t result, Fault fault);
  void Fail(Fault fault);
  // A failure on a converter whose connection is down is told by why it is.
  void LinkFault();
  // Why a weighing got no weight text.
  Fault WeighingFault() const;

  int model_ = -1;
  std::unique_ptr<IScaleAdapter> adapter_;
  uint8_t port_ = 0;
  scales::TEndpoint endpoint_;
  bool fast_ = false;
  std::string traceTarget_;
  DeviceError error_;
};

}  // namespace zev::driver
