// What a scale's link needs of a port, whichever it is: a serial port of the
// system (serial.h) or a connection to an Ethernet-to-serial converter. The
// link never knows which one it has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zev::platform {

struct ReadResult {
  size_t count = 0;     // bytes read in this attempt
  bool failed = false;  // the attempt failed in the system (no port, line gone)
  // The interval time-out after a byte ended the attempt, not the total one.
  bool byInterval = false;
};

// How a connection to a converter stands or why it failed.
enum class TcpStatus {
  Ok = 0,
  ResolveFailed,    // the name is unknown, or the host cannot be one
  ResolveTimedOut,  // the name server did not answer in time
  Refused,          // nobody listens on the port, or the converter refused
  TimedOut,         // no answer to the connection in time
  Unreachable,      // no route to the network or the host
  Closed,           // the other side closed or reset the connection
  Busy,             // the converter said it serves another connection and closed this one
  NoLineControl,    // the converter does not take line settings over the connection (RFC 2217)
  LineRefused,      // the converter kept line settings other than the scale's (RFC 2217)
  Failed,           // any other failure of the system
};

class Port {
 public:
  virtual ~Port() = default;
  // False when the system refused to close.
  virtual bool Close() = 0;
  // Discards what waits to be read.
  virtual void Purge() = 0;
  // A connection that went away since the last operation is made again here;
  // Ok when nothing had to be done.
  virtual TcpStatus Restore() { return TcpStatus::Ok; }
  virtual bool Restorable() const { return false; }
  virtual size_t Write(const void* data, size_t size) = 0;
  // One read attempt under the port's time-outs.
  virtual ReadResult ReadAttempt(void* buffer, size_t size) = 0;
  // One attempt that takes what arrives within `ms`, up to `size` bytes.
  virtual ReadResult ReadWithin(void* buffer, size_t size, uint32_t ms) = 0;
  // Gives a connection up after a reply that did not come (it may be dead
  // without either side knowing): the next command connects again. False
  // where there is nothing to give up (a serial port).
  virtual bool Drop() { return false; }
  // How the connection last failed (Ok for a serial port).
  virtual TcpStatus LinkStatus() const { return TcpStatus::Ok; }
  // With LinkStatus LineRefused, at the first connection or a later one:
  // why, in English ("the converter kept 9600 8N1: parity odd refused"), and
  // the line the converter kept ("9600 8N1"); empty otherwise.
  virtual std::string LineRefusal() const { return std::string(); }
  virtual std::string KeptLine() const { return std::string(); }
  // What the port saw or did beside the data since the last call (a
  // converter's negotiation or greeting), for the trace; empty for most.
  virtual std::string TakeNotes() { return std::string(); }
};

}  // namespace zev::platform
