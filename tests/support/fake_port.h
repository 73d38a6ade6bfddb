// A port in memory for tests of the link and the device core: every read
// answers at once from a script, writes are recorded, and the link's state
// (Close's result, LinkStatus, Drop) is what the test sets.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "TPort.h"

namespace zev::test {

// What the port is told to do and what it saw. The test keeps it, so that it
// outlives the port that the link owns and destroys.
struct FakeLine {
  enum class Kind : uint8_t { Bytes, Nothing, Fail };
  struct Read {
    Kind kind = Kind::Nothing;
    std::string bytes;  // Bytes: what arrives in one burst
  };
  struct Call {
    bool within = false;  // ReadWithin, not ReadAttempt
    size_t size = 0;      // bytes asked for
    uint32_t ms = 0;      // ReadWithin's wait
  };
  static constexpr size_t kCallsKept = 64;

  // Told. Reads answer in order, ReadAttempt and ReadWithin alike; a burst
  // longer than asked for is taken over several reads.
  std::deque<Read> reads;
  Kind whenEmpty = Kind::Nothing;  // once the script is used up
  size_t writeLimit = SIZE_MAX;    // bytes one Write takes at most
  platform::TcpStatus status = platform::TcpStatus::Ok;
  bool closes = true;  // Close's result
  bool drops = false;  // Drop's result

  // Seen.
  std::string written;
  int purges = 0, closeCalls = 0, dropCalls = 0;
  bool destroyed = false;
  std::vector<Call> calls;  // the first kCallsKept reads

  void Reply(std::string bytes) { reads.push_back({Kind::Bytes, std::move(bytes)}); }
  void Then(Kind kind) { reads.push_back({kind, std::string()}); }
  // Back to a healthy port with nothing seen.
  void Reset() {
    reads.clear();
    whenEmpty = Kind::Nothing;
    writeLimit = SIZE_MAX;
    status = platform::TcpStatus::Ok;
    written.clear();
    purges = dropCalls = 0;
    calls.clear();
  }
};

class FakePort : public scales::TPort {
 public:
  explicit FakePort(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}
  ~FakePort() override { line_->destroyed = true; }

  bool Close() override {
    ++line_->closeCalls;
    return line_->closes;
  }
  void Purge() override { ++line_->purges; }
  size_t Write(const void* data, size_t size) override {
    const size_t n = std::min(size, line_->writeLimit);
    line_->written.append(static_cast<const char*>(data), n);
    return n;
  }
  platform::ReadResult ReadAttempt(void* buffer, size_t size) override {
    return Next(buffer, size, false, 0);
  }
  platform::ReadResult ReadWithin(void* buffer, size_t size, uint32_t ms) override {
    return Next(buffer, size, true, ms);
  }
  bool Drop() override {
    ++line_->dropCalls;
    return line_->drops;
  }
  platform::TcpStatus LinkStatus() const override { return line_->status; }

 private:
  platform::ReadResult Next(void* buffer, size_t size, bool within, uint32_t ms) {
    if (line_->calls.size() < FakeLine::kCallsKept) line_->calls.push_back({within, size, ms});
    platform::ReadResult r;
    FakeLine::Kind kind = line_->reads.empty() ? line_->whenEmpty : line_->reads.front().kind;
    if (line_->reads.empty() && kind == FakeLine::Kind::Bytes) kind = FakeLine::Kind::Nothing;
    if (kind == FakeLine::Kind::Fail) r.failed = true;
    if (kind != FakeLine::Kind::Bytes) {
      if (!line_->reads.empty()) line_->reads.pop_front();
      return r;
    }
    std::string& burst = line_->reads.front().bytes;
    r.count = std::min(size, burst.size());
    std::memcpy(buffer, burst.data(), r.count);
    burst.erase(0, r.count);
    // A burst used up before the bytes asked for: the line fell quiet after it.
    r.byInterval = r.count < size;
    if (burst.empty()) line_->reads.pop_front();
    return r;
  }

  std::shared_ptr<FakeLine> line_;
};

}  // namespace zev::test
