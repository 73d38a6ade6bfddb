// Soak: Open, GetWeight and Close, over and over, on all three models at once
// (one driver object and one simulated scale per model, each on a thread of
// its own). The process's open descriptors and resident memory must be the
// same at the end as after the first cycles. ZEV_SOAK_CYCLES sets the cycles
// per model (default 100).
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <thread>

#include <gtest/gtest.h>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

using zev::host::tVariant;
using zev::sim::Model;

struct Worker {
  const char16_t* model;
  int port;
  std::atomic<int> failures{0};
  std::atomic<int> cycles{0};

  // Runs `count` cycles on a driver object of its own.
  void Run(const host::Library& library, int count) {
    host::MemoryManager mm;
    host::Connection connection;
    {
      host::Component c(library, mm, &connection);
      auto call = [&](std::u16string_view method, std::vector<tVariant> params) {
        tVariant ret = host::Empty();
        const bool ok = c.Call(method, params, ret) && ret.vt == v8abi::VTYPE_BOOL && ret.bVal;
        host::Clear(mm, ret);
        for (auto& p : params) host::Clear(mm, p);
        return ok;
      };
      call(u"SetParameter", {host::WStr(mm, u"Model"), host::WStr(mm, model)});
      call(u"SetParameter", {host::WStr(mm, u"Port"), host::Int(port)});
      for (int i = 0; i < count; ++i) {
        const bool ok = call(u"Open", {host::Empty()}) &&
                        call(u"GetWeight", {host::WStr(mm, u"NoDeviceID"), host::Empty()}) &&
                        call(u"Close", {host::WStr(mm, u"NoDeviceID")});
        if (!ok) ++failures;
        ++cycles;
      }
    }
    if (mm.LiveBlocks() != 0 || !mm.Faults().empty()) ++failures;
  }
};

TEST(Soak, ThreeHundredCyclesLeaveNothingBehind) {
  const char* env = std::getenv("ZEV_SOAK_CYCLES");
  const int perModel = env != nullptr ? std::max(2, std::atoi(env)) : 100;
  const int warmUp = std::max(1, perModel / 10);

  zev::sim::PortDirectory ports;
  ports.Export();
  zev::sim::Simulator scales[] = {{Model::ZevU, 0.5}, {Model::ZevAW, 1.5}, {Model::ZevNT, 2.5}};
  Worker workers[] = {{u"ZEV-U", 3}, {u"ZEV-AW", 4}, {u"ZEV-NT(N)", 5}};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(scales[i].Start());
    ports.Map(workers[i].port, scales[i].DevicePath());
  }
  host::Library library(ZEV_ADDIN_PATH);
  ASSERT_TRUE(library.Loaded()) << library.Error();

  auto phase = [&](int count) {
    std::vector<std::thread> threads;
    for (auto& w : workers) threads.emplace_back([&w, &library, count] { w.Run(library, count); });
    for (auto& t : threads) t.join();
  };
  phase(warmUp);
  const int fdsAfterWarmUp = OpenDescriptors();
  const long rssAfterWarmUp = ResidentKiB();
  phase(perModel - warmUp);
  const int fdsAtEnd = OpenDescriptors();
  const long rssAtEnd = ResidentKiB();

  int cycles = 0;
  for (auto& w : workers) {
    EXPECT_EQ(w.failures, 0) << w.port;
    cycles += w.cycles;
  }
  std::cout << "soak: " << cycles << " cycles; descriptors " << fdsAfterWarmUp << " -> " << fdsAtEnd
            << "; resident " << rssAfterWarmUp << " KiB -> " << rssAtEnd << " KiB\n";
  EXPECT_EQ(cycles, 3 * perModel);
  EXPECT_EQ(fdsAtEnd, fdsAfterWarmUp);
#if !defined(__SANITIZE_ADDRESS__)
  // (AddressSanitizer keeps freed memory in quarantine; it checks for leaks itself.)
  EXPECT_LE(rssAtEnd - rssAfterWarmUp, 512) << "resident memory grew";
#endif
}

}  // namespace
}  // namespace zev::e2e

namespace zev::e2e {
namespace {

// A host may load and unload the add-in many times in one process.
TEST(Soak, LoadingAndUnloadingTheAddinRepeatedlyLosesNothing) {
  auto cycle = [] {
    host::Library library(ZEV_ADDIN_PATH);
    ASSERT_TRUE(library.Loaded()) << library.Error();
    host::MemoryManager mm;
    host::Component c(library, mm, nullptr);
    ASSERT_TRUE(c.Valid());
  };
  for (int i = 0; i < 5; ++i) cycle();
  const size_t before = mallinfo2().uordblks;  // bytes allocated and not freed
  for (int i = 0; i < 100; ++i) cycle();
  const size_t after = mallinfo2().uordblks;
  EXPECT_LE(after, before + 64 * 1024) << "each load of the add-in must not keep memory";
}

}  // namespace
}  // namespace zev::e2e
