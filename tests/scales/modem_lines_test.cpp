// DTR and RTS while an adapter holds its port. A pseudo-terminal has no modem
// lines, so this program stands in for a UART's: it replaces the C library's
// ioctl() and answers the modem-line requests itself while `uart` is set.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cstdarg>

#include "first_class_link.h"
#include "simulator.h"

namespace {

std::atomic<bool> uart{false};
std::atomic<int> lines{0};
std::atomic<int> clears{0};  // TIOCMBIC requests, answered here or not

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  if (request == TIOCMBIC) ++clears;
  if (uart && (request == TIOCMBIC || request == TIOCMBIS || request == TIOCMGET)) {
    int* value = static_cast<int*>(arg);
    if (request == TIOCMBIC) lines &= ~*value;
    if (request == TIOCMBIS) lines |= *value;
    if (request == TIOCMGET) *value = lines;
    return 0;
  }
  using Ioctl = int (*)(int, unsigned long, ...);
  static const auto next = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
  return next(fd, request, arg);
}

namespace {

constexpr int kRaised = TIOCM_DTR | TIOCM_RTS;

TEST(ModemLines, StayOffWhileThePortIsHeld) {
  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator scale(zev::sim::Model::ZevU, 0.5);
  ASSERT_TRUE(scale.Start());
  ports.Map(3, scale.DevicePath());

  TZEV_U adapter;
  uart = true;
  lines = kRaised;  // every open() of a UART raises them
  ASSERT_EQ(adapter.OpenPort(3), -1);
  EXPECT_EQ(lines, 0);
  // A second opener that the lock turns away raises them again; the next
  // command lowers them with one request.
  using Command = int16_t (TZEV_U::*)();
  for (Command command :
       {Command{&TZEV_U::Tare}, Command{&TZEV_U::Weigh}, Command{&TZEV_U::CancelTare}}) {
    lines = kRaised;
    const int before = clears;
    EXPECT_EQ((adapter.*command)(), -1);
    EXPECT_EQ(lines, 0);
    EXPECT_EQ(clears - before, 1);
  }
  adapter.ClosePort();

  // Without modem lines (the pseudo-terminal as it is) commands ask nothing.
  uart = false;
  ASSERT_EQ(adapter.OpenPort(3), -1);
  const int before = clears;
  EXPECT_EQ(adapter.Weigh(), -1);
  EXPECT_EQ(adapter.Tare(), -1);
  EXPECT_EQ(clears, before);
}

}  // namespace
