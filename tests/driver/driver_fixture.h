// End-to-end fixture: the built add-in in the test host, scales simulated on
// pseudo-terminals reached through COM<N> entries.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

#include <memory>
#include <string>
#include <vector>

#include "host.h"
#if !defined(_WIN32)
#include "simulator.h"
#endif
#include "zev/platform/text.h"

namespace zev::e2e {

using host::tVariant;

using host::Call;

#if !defined(_WIN32)
// The three models as the driver names them, with their command bytes.
struct ModelCase {
  const char* name;
  zev::sim::Model model;
  std::string weigh;
  std::string tare;
};
inline void PrintTo(const ModelCase& c, std::ostream* os) {
  *os << c.name;
}

inline const ModelCase kModels[] = {
    {"ZEV-U", zev::sim::Model::ZevU, "P", "T"},
    {"ZEV-AW", zev::sim::Model::ZevAW, std::string("\0\0\3", 3), std::string("\0\0\1", 3)},
    {"ZEV-NT(N)", zev::sim::Model::ZevNT, std::string("\0\0\3", 3), std::string("\0\0\1", 3)},
};

// Test names for the three models.
inline std::string ModelTestName(const ::testing::TestParamInfo<ModelCase>& info) {
  return info.param.model == zev::sim::Model::ZevU    ? "ZevU"
         : info.param.model == zev::sim::Model::ZevAW ? "ZevAW"
                                                      : "ZevNT";
}

// Open file descriptors and resident memory of this process.
int OpenDescriptors();
long ResidentKiB();
#endif

class DriverTest : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(library.Loaded()) << library.Error();
#if !defined(_WIN32)
    ports.Export();
#endif
    component = std::make_unique<host::Component>(library, mm, &connection);
    ASSERT_TRUE(component->Valid());
  }
  void TearDown() override {
    component.reset();
#if !defined(_WIN32)
    for (auto& s : sims) s->Stop();
#endif
    EXPECT_TRUE(mm.Faults().empty()) << mm.Faults().front();
    EXPECT_EQ(mm.LiveBlocks(), 0u) << "platform buffers left behind";
  }

  std::unique_ptr<Call> Run(std::u16string_view method, std::vector<tVariant> params = {}) {
    return RunOn(*component, method, std::move(params));
  }
  std::unique_ptr<Call> RunOn(const host::Component& c, std::u16string_view method,
                              std::vector<tVariant> params = {}) {
    return std::make_unique<Call>(c, mm, method, std::move(params));
  }

  tVariant W(std::string_view utf8) {
    return host::WStrUtf8(mm, utf8);
  }

  bool SetParameter(std::string_view name, tVariant value) {
    return Run(u"SetParameter", {W(name), value})->ok;
  }
  void Configure(const std::string& model, int port) {
    ASSERT_TRUE(SetParameter("Model", W(model)));
    ASSERT_TRUE(SetParameter("Port", host::Int(port)));
  }
#if !defined(_WIN32)
  zev::sim::Simulator& Scale(zev::sim::Model model, int port, double kg = 0.5) {
    sims.push_back(std::make_unique<zev::sim::Simulator>(model, kg));
    std::string error;
    EXPECT_TRUE(sims.back()->Start(&error)) << error;
    ports.Map(port, sims.back()->DevicePath());
    return *sims.back();
  }
  // A scale behind a simulated converter on the loopback address; COM<port>
  // holds its address.
  zev::sim::Simulator& TcpScale(zev::sim::Model model, int port, double kg = 0.5,
                                zev::sim::TcpMode mode = zev::sim::TcpMode::Serve) {
    sims.push_back(std::make_unique<zev::sim::Simulator>(model, kg));
    std::string error;
    EXPECT_TRUE(sims.back()->StartTcp("127.0.0.1", 0, mode, &error)) << error;
    ports.MapTcp(port, sims.back()->TcpUrl());
    return *sims.back();
  }
#endif
  std::pair<int32_t, std::string> LastError() {
    auto call = Run(u"GetLastError", {host::Empty()});
    EXPECT_TRUE(call->ok);
    return {call->ret.lVal, call->Text(0)};
  }

  // ZEV_TEST_ADDIN runs the tests against another build of the add-in.
  host::Library library{std::getenv("ZEV_TEST_ADDIN") != nullptr ? std::getenv("ZEV_TEST_ADDIN")
                                                                  : ZEV_ADDIN_PATH};
  host::MemoryManager mm;
  host::Connection connection;
#if !defined(_WIN32)
  zev::sim::PortDirectory ports;
  std::vector<std::unique_ptr<zev::sim::Simulator>> sims;
#endif
  std::unique_ptr<host::Component> component;
};

}  // namespace zev::e2e
