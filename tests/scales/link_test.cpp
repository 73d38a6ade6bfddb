// The model adapters over real pseudo-terminals, with the simulator on the
// master side and the port reached through a COM<N> entry.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "first_class_link.h"
#include "simulator.h"
#include "zev/platform/text.h"

namespace {

using namespace std::chrono_literals;
using zev::sim::Model;

template <class A>
struct Traits;
template <>
struct Traits<TZEV_U> {
  static constexpr Model kModel = Model::ZevU;
  static std::string WeighCommand() { return "P"; }
  static std::string TareCommand() { return "T"; }
  static std::string Text(const char* kg) { return std::string("  ") + kg + " kg  "; }
};
template <>
struct Traits<TZEV_AW> {
  static constexpr Model kModel = Model::ZevAW;
  static std::string WeighCommand() { return std::string("\0\0\3", 3); }
  static std::string TareCommand() { return std::string("\0\0\1", 3); }
  static std::string Text(const char* kg) { return kg; }
};
template <>
struct Traits<TZEV_NT> : Traits<TZEV_AW> {
  static constexpr Model kModel = Model::ZevNT;
};

double CpuMillis() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
         usage.ru_stime.tv_usec / 1e3;
}

template <class F>
double MillisOf(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

template <class A>
class LinkTest : public ::testing::Test {
 protected:
  using T = Traits<A>;
  static constexpr uint8_t kPort = 3;

  void SetUp() override {
    ports.Export();
    sim = StartSimulator(kPort, 0.5);
    ASSERT_NE(sim, nullptr);
  }

  std::unique_ptr<zev::sim::Simulator> StartSimulator(int port, double kg) {
    auto s = std::make_unique<zev::sim::Simulator>(T::kModel, kg);
    std::string error;
    if (!s->Start(&error)) {
      ADD_FAILURE() << error;
      return nullptr;
    }
    ports.Map(port, s->DevicePath());
    return s;
  }

  std::string Error() const {
    std::u16string text;
    adapter.GetErrorText(text);
    return zev::platform::Utf16ToUtf8(text);
  }
  std::string WeightText() const {
    std::string text;
    adapter.GetWeightText(text);
    return text;
  }

  zev::sim::PortDirectory ports;
  std::unique_ptr<zev::sim::Simulator> sim;
  A adapter;
};

using Adapters = ::testing::Types<TZEV_U, TZEV_AW, TZEV_NT>;
TYPED_TEST_SUITE(LinkTest, Adapters);

TYPED_TEST(LinkTest, WeighsWhatTheScaleShows) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  EXPECT_EQ(this->Error(), "");
  this->sim->SetWeight(1.234);
  EXPECT_EQ(this->adapter.Weigh(), -1);
  EXPECT_EQ(this->WeightText(), TestFixture::T::Text("1.234"));
  EXPECT_EQ(this->Error(), "");
  EXPECT_EQ(this->sim->Received(), TestFixture::T::WeighCommand());
}

TYPED_TEST(LinkTest, ASilentScaleFailsAfterHalfASecondWithoutSpinning) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  zev::sim::Faults silent;
  silent.silent = true;
  this->sim->SetFaults(silent);
  const double cpuBefore = CpuMillis();
  const double ms = MillisOf([&] { EXPECT_EQ(this->adapter.Weigh(), 0); });
  const double cpu = CpuMillis() - cpuBefore;
  EXPECT_GE(ms, 495);
  EXPECT_LT(ms, 1500);
  EXPECT_LT(cpu, 50) << "the wait must sleep in the system";
  EXPECT_EQ(this->Error(), "Произошла ошибка взвешивания.");
}

TYPED_TEST(LinkTest, APauseInsideTheReplyCutsIt) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  zev::sim::Faults pause;
  pause.pauseAfterBytes = 5;
  pause.pauseMs = 350;
  this->sim->SetFaults(pause);
  EXPECT_EQ(this->adapter.Weigh(), 0);
  EXPECT_EQ(this->WeightText(), "");    // a rejected reply empties the text
  ASSERT_TRUE(this->sim->WaitQuiet());  // the rest of the reply arrives, unread
  this->sim->SetFaults({});
  EXPECT_EQ(this->adapter.Weigh(), -1) << "the next command purges the leftover";
  EXPECT_EQ(this->WeightText(), TestFixture::T::Text("0.500"));
}

TYPED_TEST(LinkTest, ALateReplyIsNotSeenAndIsPurged) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  ASSERT_EQ(this->adapter.Weigh(), -1);
  zev::sim::Faults late;
  late.delayMs = 620;
  this->sim->SetFaults(late);
  EXPECT_EQ(this->adapter.Weigh(), 0);
  // A weighing that got nothing keeps the previous text.
  EXPECT_EQ(this->WeightText(), TestFixture::T::Text("0.500"));
  ASSERT_TRUE(this->sim->WaitQuiet());
  this->sim->SetFaults({});
  this->sim->SetWeight(2.0);
  EXPECT_EQ(this->adapter.Weigh(), -1);
  EXPECT_EQ(this->WeightText(), TestFixture::T::Text("2.000"));
}

TYPED_TEST(LinkTest, AReplyLongerThanOneReadFails) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  zev::sim::Faults longer;
  longer.extraBytes = 30;
  this->sim->SetFaults(longer);
  EXPECT_EQ(this->adapter.Weigh(), 0);
  // One attempt takes 32 bytes at most; on a loaded machine a simulator that
  // starts late can leave the attempt's end inside the reply, which cuts it.
  EXPECT_LE(this->adapter.Scale.RawReply().size(), 32u);
  ASSERT_TRUE(this->sim->WaitQuiet());
  this->sim->SetFaults({});
  EXPECT_EQ(this->adapter.Weigh(), -1);
}

TYPED_TEST(LinkTest, ShortAndPaddedRepliesFail) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  for (int missing : {1, 0}) {
    zev::sim::Faults f;
    f.missingBytes = missing;
    f.extraBytes = 1 - missing;
    this->sim->SetFaults(f);
    EXPECT_EQ(this->adapter.Weigh(), 0) << missing;
    EXPECT_EQ(this->Error(), "Произошла ошибка взвешивания.");
  }
}

TYPED_TEST(LinkTest, StaleBytesArePurgedBeforeEachCommand) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  this->sim->SendUnsolicited("stale bytes from the scale");
  ASSERT_TRUE(this->sim->WaitQuiet());
  EXPECT_EQ(this->adapter.Weigh(), -1);
  EXPECT_EQ(this->WeightText(), TestFixture::T::Text("0.500"));
}

TYPED_TEST(LinkTest, SendsExactlyTheCommandBytes) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  // On a pseudo-terminal the next command's purge also discards what the
  // scale has not read yet, so let it read each command first.
  const auto settle = [this] { ASSERT_TRUE(this->sim->WaitQuiet()); };
  EXPECT_EQ(this->adapter.Tare(), -1);
  EXPECT_EQ(this->Error(), "");
  settle();
  std::string expected = TestFixture::T::TareCommand();
  if constexpr (std::is_same_v<TypeParam, TZEV_U>) {
    EXPECT_EQ(this->adapter.CancelTare(), -1);
    settle();
    EXPECT_EQ(this->adapter.SetZero(), -1);
    settle();
    expected += "CZ";
  } else {
    EXPECT_EQ(this->adapter.SetZero(), 0);
    EXPECT_EQ(this->Error(), "Функция установки нуля <0> не поддерживается.");
  }
  EXPECT_EQ(this->adapter.Weigh(), -1);
  expected += TestFixture::T::WeighCommand();
  EXPECT_EQ(this->sim->Received(), expected);
}

// A command is never lost to the purge before the next one, even where the
// line passes bytes on late: a pseudo-terminal with every core busy.
TYPED_TEST(LinkTest, EveryCommandReachesTheScaleUnderLoad) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  std::atomic<bool> stop{false};
  std::vector<std::thread> load;
  for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i) {
    load.emplace_back([&stop] {
      volatile uint64_t spin = 0;
      while (!stop) spin = spin + 1;
    });
  }
  constexpr int kRounds = 40;
  int tared = 0, weighed = 0;
  for (int i = 0; i < kRounds; ++i) {
    tared += this->adapter.Tare() == -1;
    weighed += this->adapter.Weigh() == -1;
  }
  stop = true;
  for (auto& t : load) t.join();
  EXPECT_EQ(tared, kRounds);
  EXPECT_EQ(weighed, kRounds);
  std::string expected;
  for (int i = 0; i < kRounds; ++i) {
    expected += TestFixture::T::TareCommand() + TestFixture::T::WeighCommand();
  }
  const std::string received = this->sim->Received();
  EXPECT_EQ(this->sim->Commands(), 2 * kRounds);
  EXPECT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected) << "the scale received other bytes than were sent";
}

// Closing gives the device back the settings it had: a port opened by mistake
// (the system console, a login line) is left working.
TYPED_TEST(LinkTest, ClosingGivesTheDeviceItsSettingsBack) {
  const auto settings = [this](termios* tio, bool set) {
    const int fd = open(this->sim->DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    if (set) {
      cfsetispeed(tio, B9600);
      cfsetospeed(tio, B9600);
      tio->c_iflag = ICRNL | IXON;
      tio->c_oflag = OPOST | ONLCR;
      tio->c_lflag = ICANON | ISIG | IEXTEN;
      tio->c_cflag = (tio->c_cflag & ~CSIZE) | CS7 | CREAD | HUPCL;
      tio->c_cc[VMIN] = 1;
      EXPECT_EQ(tcsetattr(fd, TCSANOW, tio), 0);
    }
    EXPECT_EQ(tcgetattr(fd, tio), 0);
    close(fd);
  };
  termios before{}, after{};
  settings(&before, true);
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
    EXPECT_EQ(this->adapter.Weigh(), -1);
    if (round == 1) {
      ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);  // opened again while open
    }
    EXPECT_EQ(this->adapter.ClosePort(), -1);
    settings(&after, false);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before)) << round;
    EXPECT_EQ(after.c_iflag, before.c_iflag) << round;
    EXPECT_EQ(after.c_oflag, before.c_oflag) << round;
    EXPECT_EQ(after.c_lflag, before.c_lflag) << round;
    EXPECT_EQ(after.c_cflag, before.c_cflag) << round;
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]) << round;
  }
}

TYPED_TEST(LinkTest, ThePortIsHeldExclusively) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  TypeParam second;
  EXPECT_EQ(second.OpenPort(this->kPort), 0);
  std::u16string text;
  second.GetErrorText(text);
  EXPECT_EQ(text, u"Порт недоступен");
  EXPECT_EQ(this->adapter.ClosePort(), -1);
  EXPECT_EQ(second.OpenPort(this->kPort), -1);
  second.GetErrorText(text);
  EXPECT_EQ(text, u"");
  // Opening again while open closes the held port first.
  EXPECT_EQ(second.OpenPort(this->kPort), -1);
  EXPECT_EQ(this->adapter.OpenPort(this->kPort), 0);
}

TYPED_TEST(LinkTest, ClosingTwiceReportsTheSecond) {
  EXPECT_EQ(this->adapter.ClosePort(), 0);
  EXPECT_EQ(this->Error(), "Ошибка дескриптора COM порта");
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  EXPECT_EQ(this->adapter.ClosePort(), -1);
  EXPECT_EQ(this->Error(), "");
  EXPECT_EQ(this->adapter.ClosePort(), 0);
  EXPECT_EQ(this->Error(), "Ошибка дескриптора COM порта");
}

TYPED_TEST(LinkTest, PortsThatCannotBeOpened) {
  EXPECT_EQ(this->adapter.OpenPort(0), 0);
  EXPECT_EQ(this->Error(), "Порт недоступен");
  this->ports.Map(5, this->ports.Path() + "/no-such-device");
  EXPECT_EQ(this->adapter.OpenPort(5), 0);
  EXPECT_EQ(this->Error(), "Порт недоступен");
  this->ports.Map(6, "/dev/null");  // not a terminal
  EXPECT_EQ(this->adapter.OpenPort(6), 0);
  EXPECT_EQ(this->adapter.ClosePort(), 0);
}

TYPED_TEST(LinkTest, WithoutAPortCommandsFailAtOnce) {
  EXPECT_EQ(this->adapter.Tare(), 0);
  EXPECT_EQ(this->Error(), "Произошла ошибка функции тарирования.");
  const double ms = MillisOf([&] { EXPECT_EQ(this->adapter.Weigh(), 0); });
  EXPECT_LT(ms, 100);
  EXPECT_EQ(this->Error(), "Произошла ошибка взвешивания.");
  EXPECT_EQ(this->sim->Received(), "");
}

TYPED_TEST(LinkTest, AScaleThatHangsUpFailsAtOnceAndANewOneWorks) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  ASSERT_EQ(this->adapter.Weigh(), -1);
  this->sim->HangUp();
  ASSERT_TRUE(this->sim->WaitQuiet());
  const double ms = MillisOf([&] { EXPECT_EQ(this->adapter.Weigh(), 0); });
  EXPECT_LT(ms, 1000);
  EXPECT_EQ(this->adapter.ClosePort(), -1);
  auto other = this->StartSimulator(4, 3.5);
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(this->adapter.OpenPort(4), -1);
  EXPECT_EQ(this->adapter.Weigh(), -1);
  EXPECT_EQ(this->WeightText(), TestFixture::T::Text("3.500"));
}

TYPED_TEST(LinkTest, AScaleThatHangsUpInTheMiddleOfAReply) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  zev::sim::Faults f;
  f.hangUpAfterBytes = 5;
  this->sim->SetFaults(f);
  const double ms = MillisOf([&] { EXPECT_EQ(this->adapter.Weigh(), 0); });
  EXPECT_LT(ms, 1000);
  EXPECT_EQ(this->adapter.Weigh(), 0);
  EXPECT_EQ(this->adapter.ClosePort(), -1);
}

TYPED_TEST(LinkTest, NoiseWithoutEndFailsEveryWeighingInTime) {
  ASSERT_EQ(this->adapter.OpenPort(this->kPort), -1);
  zev::sim::Faults f;
  f.noise = true;
  this->sim->SetFaults(f);
  for (int i = 0; i < 3; ++i) {
    const double ms = MillisOf([&] { EXPECT_EQ(this->adapter.Weigh(), 0); });
    EXPECT_LT(ms, 1000);
  }
  this->sim->SetFaults({});
  ASSERT_TRUE(this->sim->WaitQuiet());
  EXPECT_EQ(this->adapter.Weigh(), -1);
}

// The exclusive mode of a pseudo-terminal outlives a close; only root passes
// it. Opened and closed twice by a user without root, the port opens twice.
TEST(ExclusiveUse, EndsWithTheCloseForAUserWithoutRoot) {
  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator scale(Model::ZevU, 0.5);
  ASSERT_TRUE(scale.Start());
  ports.Map(3, scale.DevicePath());
  const auto twice = [] {
    TZEV_U adapter;
    int opened = 0;
    for (int i = 0; i < 2; ++i) {
      opened += adapter.OpenPort(3) == -1 && adapter.Weigh() == -1;
      adapter.ClosePort();
    }
    return opened;
  };
  if (geteuid() != 0) {
    EXPECT_EQ(twice(), 2);
    return;
  }
  ASSERT_EQ(chmod(scale.DevicePath().c_str(), 0666), 0);
  ASSERT_EQ(chmod(ports.Path().c_str(), 0755), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const gid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(9);
    _exit(twice());
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2) << "opens that worked as nobody (9: could not become nobody)";
}

}  // namespace
