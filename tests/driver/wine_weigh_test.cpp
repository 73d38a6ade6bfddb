// Weighings through Windows COM ports, run under Wine with each port mapped to
// a pseudo-terminal that a simulated scale serves. ZEV_WINE_SCALES lists them
// as PORT:MODEL:KG, separated by commas; without it there is nothing to weigh.
// The user profile there is named in Cyrillic (see tools/wine-test.sh), and the
// revision 4001 class's line trace is written under it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

struct WineScale {
  int port;
  std::string model;
  double kg;
};

std::vector<WineScale> ScalesFromEnvironment() {
  std::vector<WineScale> scales;
  const char* list = std::getenv("ZEV_WINE_SCALES");
  if (list == nullptr) return scales;
  std::stringstream in(list);
  for (std::string item; std::getline(in, item, ',');) {
    const size_t a = item.find(':');
    const size_t b = item.rfind(':');
    if (a == std::string::npos || b == a) continue;
    scales.push_back({std::atoi(item.substr(0, a).c_str()), item.substr(a + 1, b - a - 1),
                      std::atof(item.substr(b + 1).c_str())});
  }
  return scales;
}

TEST_F(DriverTest, WeighsThroughWindowsComPorts) {
  const auto scales = ScalesFromEnvironment();
  if (scales.empty()) GTEST_SKIP() << "ZEV_WINE_SCALES names no scale";
  for (const auto& s : scales) {
    SCOPED_TRACE(s.model + " on COM" + std::to_string(s.port));
    Configure(s.model, s.port);
    auto open = Run(u"Open", {host::Empty()});
    ASSERT_TRUE(open->Flag()) << LastError().second;
    auto weigh = Run(u"ПолучитьВес", {W("NoDeviceID"), host::Empty()});
    EXPECT_TRUE(weigh->ok);
    EXPECT_TRUE(weigh->Flag()) << LastError().second;
    EXPECT_EQ(weigh->params[1].vt, v8abi::VTYPE_R8);
    EXPECT_DOUBLE_EQ(weigh->params[1].dblVal, s.kg);
    auto close = Run(u"Close", {W("NoDeviceID")});
    EXPECT_TRUE(close->Flag()) << LastError().second;
    std::printf("weighed %s on COM%d: %.3f kg\n", s.model.c_str(), s.port, weigh->params[1].dblVal);
  }
}

std::string Utf8(const std::wstring& wide) {
  return platform::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::wstring Wide(const std::string& utf8) {
  const std::u16string text = platform::Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

// An environment variable of this process as the system holds it, in UTF-16.
std::wstring Variable(const wchar_t* name) {
  std::wstring value(32767, L'\0');
  const DWORD n = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
  value.resize(n < value.size() ? n : 0);
  return value;
}

std::string FileText(const std::wstring& path) {
  std::string text;
  if (std::FILE* f = _wfopen(path.c_str(), L"rb")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

// With the profile named «Кассир» (LOCALAPPDATA and TEMP under
// C:\users\Кассир), the trace is written: to its default file in
// %LOCALAPPDATA%\ZEVScale, a folder made by the first trace and not before,
// and to a file named in Cyrillic in %TEMP%.
TEST_F(DriverTest, TracesUnderACyrillicProfile) {
  const auto scales = ScalesFromEnvironment();
  const std::wstring local = Variable(L"LOCALAPPDATA");
  const std::wstring temp = Variable(L"TEMP");
  if (scales.empty() || Utf8(local).find("Кассир") == std::string::npos) {
    GTEST_SKIP() << "no scale, or the profile is not named in Cyrillic: " << Utf8(local);
  }
  ASSERT_NE(Utf8(temp).find("Кассир"), std::string::npos) << Utf8(temp);
  const WineScale& s = scales.front();
  const std::wstring folder = local + L"\\ZEVScale";
  struct Case {
    const char* what;
    std::wstring file;
    bool named;  // set as TraceFile; else the default
  };
  const Case cases[] = {
      {"the default trace file", folder + L"\\zevscale-trace.txt", false},
      {"a trace file named in Cyrillic", temp + Wide("\\трасса весов.txt"), true}};
  for (const Case& c : cases) DeleteFileW(c.file.c_str());
  RemoveDirectoryW(folder.c_str());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    component =
        std::make_unique<host::Component>(library, mm, &connection, u"TZEV_SCALE_4001_Class");
    ASSERT_TRUE(component->Valid());
    Configure(s.model, s.port);
    if (c.named) {
      ASSERT_TRUE(SetParameter("TraceFile", W(Utf8(c.file))));
    }
    ASSERT_TRUE(SetParameter("Trace", host::Bool(true)));
    auto d = Run(u"GetDescription", {host::Empty()});
    EXPECT_NE(d->WText(0).find("LogIsEnabled=\"true\" LogPath=\"" + Utf8(c.file) + "\""),
              std::string::npos)
        << d->WText(0);
    if (!c.named) {
      EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES)
          << "the folder is made before the first trace";
    }
    auto test = Run(u"DeviceTest", {host::Empty(), host::Empty()});
    EXPECT_TRUE(test->Flag()) << test->WText(0);
    const std::string trace = FileText(c.file);
    const std::string sent = "COM" + std::to_string(s.port) + " " + s.model + " -> ";
    EXPECT_NE(trace.find(sent), std::string::npos) << "no \"" << sent << "\" in " << Utf8(c.file);
    if (trace.find(sent) != std::string::npos) {
      std::printf("traced %s on COM%d to %s\n", s.model.c_str(), s.port, Utf8(c.file).c_str());
    }
  }
}

}  // namespace
}  // namespace zev::e2e
