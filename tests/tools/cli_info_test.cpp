// zevscale info and settings: the add-in's description and its settings page.
#include <unistd.h>

#include <cstdlib>
#include <set>

#include "cli_fixture.h"
#include "zev/platform/text.h"

namespace zev::cli {
namespace {

TEST(CliOutput, JsonIsValidAndCarriesTheResults) {
  std::string out, err;
  ASSERT_EQ(RunLine("weigh --model ZEV-U --simulate --count 2 --interval 0 --json", out, err), 0);
  const auto j = nlohmann::json::parse(out);
  EXPECT_EQ(j["command"], "weigh");
  EXPECT_EQ(j["ok"], true);
  EXPECT_EQ(j["weights"], nlohmann::json::array({0.5, 0.5}));
  EXPECT_EQ(j["error"]["code"], 0);

  ASSERT_EQ(RunLine("info --json", out, err), 0);
  const auto info = nlohmann::json::parse(out);
  EXPECT_EQ(info["classNames"], "TZEV_SCALE_Class|TZEV_SCALE_4001_Class");
  EXPECT_EQ(info["componentName"], "ZEVScale");
  EXPECT_EQ(info["interfaceVersion"], 2000);
  EXPECT_EQ(info["equipmentType"], "ЭлектронныеВесы");
  ASSERT_EQ(info["methods"].size(), 13u);
  EXPECT_EQ(info["methods"][11]["russian"], "ПолучитьВес");
  EXPECT_EQ(info["methods"][11]["parameters"], 2);
  ASSERT_EQ(info["otherClasses"].size(), 1u);
  EXPECT_EQ(info["otherClasses"][0]["className"], "TZEV_SCALE_4001_Class");
  EXPECT_EQ(info["otherClasses"][0]["interfaceRevision"], 4001);
  EXPECT_EQ(info["otherClasses"][0]["methods"].size(), 14u);
  EXPECT_EQ(info["lineSettings"]["ZEV-U"], "4800 8N1");
  EXPECT_EQ(info["lineSettings"]["ZEV-NT(N)"], "4800 8O1");
  char* library = realpath(ZEV_ADDIN_PATH, nullptr);
  EXPECT_EQ(info["library"], std::string(library != nullptr ? library : ""));
  free(library);

  ASSERT_EQ(RunLine("settings --model A\"B --port 4 --json", out, err), 0);
  const auto settings = nlohmann::json::parse(out);
  EXPECT_NE(settings["page"].get<std::string>().find("DefaultValue=\"A&quot;B\""),
            std::string::npos);
}

// settings shows the page of the class asked for; info says which the tool drives.
TEST(CliOutput, SettingsAndInfoNameTheClass) {
  struct Case {
    const char* line;
    std::vector<std::string> holds, lacks;
  } cases[] = {
      {"settings --json", {"\"class\":\"TZEV_SCALE_Class\""}, {"TCPPort"}},
      {"settings --class 4001 --json", {"\"class\":\"TZEV_SCALE_4001_Class\""}, {}},
      {"settings --class 4001",
       {"Name=\"TCPPort\"", "Name=\"TraceFile\"", "Caption=\"Scale connection\""},
       {}},
      {"settings --class 4001 --model ZEV-AW --port 4",
       {"Name=\"Connection\"", "Name=\"Model\"", "ZEV-AW"},
       {}},
      {"info",
       {"zevscale drives:     TZEV_SCALE_Class; TZEV_SCALE_4001_Class: check, --class 4001, --tcp "
        "on Windows\n"},
       {}},
  };
  for (const auto& c : cases) {
    std::string out, err;
    ASSERT_EQ(RunLine(c.line, out, err), 0) << c.line << err;
    for (const auto& text : c.holds)
      EXPECT_NE(out.find(text), std::string::npos) << c.line << ": " << text << " in\n" << out;
    for (const auto& text : c.lacks)
      EXPECT_EQ(out.find(text), std::string::npos) << c.line << ": " << text << " in\n" << out;
  }
}

TEST(CliOutput, LibrariesItCannotUseAreNamedAsSuch) {
  // An ELF header of the other word size, with the x86 processor of that size.
  char otherArch[] = "/tmp/zevscale-other-XXXXXX";
  const int fd = mkstemp(otherArch);
  ASSERT_GE(fd, 0);
  const bool is64 = sizeof(void*) == 8;
  const unsigned char header[20] = {
      0x7f, 'E', 'L', 'F', static_cast<unsigned char>(is64 ? 1 : 2),  1, 1, 0, 0, 0, 0, 0, 0, 0,
      0,    0,   3,   0,   static_cast<unsigned char>(is64 ? 3 : 62), 0};
  ASSERT_EQ(write(fd, header, sizeof header), static_cast<ssize_t>(sizeof header));
  close(fd);
  const std::string otherBits = is64 ? "is a 32-bit library and this zevscale is 64-bit"
                                     : "is a 64-bit library and this zevscale is 32-bit";
  struct Case {
    std::string library;
    std::string message;
  } cases[] = {
      {"/nonexistent/libZEVScale.so", "cannot load"},
      {otherArch, otherBits},
      {"libm.so.6",
       "lacks the exports GetClassNames, GetClassObject, DestroyObject, "
       "SetPlatformCapabilities"},
  };
  for (const auto& c : cases) {
    const Parsed p = Parse({"info", "--library", c.library});
    std::ostringstream o, e;
    EXPECT_EQ(zev::cli::Run(p.options, o, e), 1) << c.library;
    EXPECT_NE(e.str().find(c.message), std::string::npos) << e.str();
  }
  unlink(otherArch);
}

TEST(CliOutput, SettingsPageIsIndentedByNesting) {
  const std::string xml =
      "<?xml version=\"1.0\" ?><A x=\"1\"><B><Item Value=\"1\">COM1</Item></B></A>";
  EXPECT_EQ(IndentXml(xml),
            "<?xml version=\"1.0\" ?>\n<A x=\"1\">\n  <B>\n    <Item Value=\"1\">COM1</Item>\n"
            "  </B>\n</A>\n");
  EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
}

TEST(CliOutput, InfoAlignsColumnsByCharacters) {
  for (Lang lang : {Lang::En, Lang::Ru}) {
    std::string out, err;
    ASSERT_EQ(RunLine("info", out, err, lang), 0);
    std::istringstream lines(out);
    std::set<size_t> countColumns;
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("  ", 0) != 0) continue;  // method lines only
      const std::u16string chars = zev::platform::Utf8ToUtf16(line);
      countColumns.insert(chars.find_last_of(u' '));
    }
    EXPECT_EQ(countColumns.size(), 1u) << out;
  }
  EXPECT_EQ(Text(Lang::Ru, M::Kg), "кг");
  EXPECT_EQ(LanguageOf("ru_RU.UTF-8"), Lang::Ru);
  EXPECT_EQ(LanguageOf("en_US.UTF-8"), Lang::En);
  EXPECT_EQ(LanguageOf("C"), Lang::En);
}

}  // namespace
}  // namespace zev::cli
