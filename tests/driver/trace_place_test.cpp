// Where the revision 4001 class writes its line trace by default: the user's
// own folder ($XDG_STATE_HOME/zevscale, else ~/.local/state/zevscale, else the
// temporary folder), made owner-only by the first trace and not before; a
// trace file that cannot be made is said so, not claimed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include "driver_fixture.h"

namespace zev::e2e {
namespace {

// An environment variable set (or unset) while it lives, given back after.
class Variable {
 public:
  Variable(const char* name, const std::optional<std::string>& value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~Variable() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  Variable(const Variable&) = delete;
  Variable& operator=(const Variable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(DriverTest, TheDefaultTraceFileIsInTheUsersOwnFolder) {
  Scale(zev::sim::Model::ZevU, 3);
  const std::string root = ports.Path();
  const std::string blocked = root + "/a-file";  // no folder can be made under it
  std::ofstream(blocked) << "x";
  struct Case {
    const char* what;
    std::optional<std::string> xdg, home;
    std::string folder;  // where the file is
    bool made;           // the folder is made by the first trace
  };
  const Case cases[] = {
      {"XDG_STATE_HOME", root + "/xdg", root + "/home", root + "/xdg/zevscale", true},
      {"HOME", std::nullopt, root + "/home", root + "/home/.local/state/zevscale", true},
      {"a relative XDG_STATE_HOME", std::string("state"), root + "/home2",
       root + "/home2/.local/state/zevscale", true},
      {"neither", std::nullopt, std::nullopt, root, false},
      {"a folder that cannot be made", blocked, root + "/home", blocked + "/zevscale", false},
  };
  const Variable noTrace("ZEVSCALE_TRACE", std::nullopt);
  const Variable tmp("TMPDIR", root);
  const std::string answered =
      "Весы ZEV-U на COM3 ответили: 0,500 кг (порт открыт для проверки и закрыт)";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Variable xdg("XDG_STATE_HOME", c.xdg);
    const Variable home("HOME", c.home);
    component =
        std::make_unique<host::Component>(library, mm, &connection, u"TZEV_SCALE_4001_Class");
    ASSERT_TRUE(component->Valid());
    ASSERT_TRUE(SetParameter("Model", W("ZEV-U")));
    ASSERT_TRUE(SetParameter("Port", host::Double(3)));
    ASSERT_TRUE(SetParameter("Trace", host::Bool(true)));
    const std::string file = c.folder + "/zevscale-trace.txt";
    auto d = Run(u"GetDescription", {host::Empty()});
    EXPECT_TRUE(Has(d->WText(0), "LogIsEnabled=\"true\" LogPath=\"" + file + "\"")) << d->WText(0);
    struct stat st {};
    if (c.made) {
      EXPECT_NE(stat(c.folder.c_str(), &st), 0) << "made before the first trace";
    }

    auto test = Run(u"DeviceTest", {host::Empty(), host::Empty()});
    EXPECT_TRUE(test->Flag()) << test->WText(0);
    std::ifstream in(file);
    const std::string trace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    d = Run(u"GetDescription", {host::Empty()});
    if (c.folder.rfind(blocked, 0) == 0) {
      EXPECT_TRUE(Has(test->WText(0), answered + " Файл трассировки " + file + " не открылся"))
          << test->WText(0);
      EXPECT_TRUE(Has(d->WText(0), "LogIsEnabled=\"false\"")) << d->WText(0);
      continue;
    }
    EXPECT_EQ(test->WText(0), answered);
    EXPECT_TRUE(Has(trace, "COM3 ZEV-U -> 50 |P|")) << file << ": " << trace;
    EXPECT_TRUE(Has(d->WText(0), "LogIsEnabled=\"true\"")) << d->WText(0);
    if (c.made) {
      ASSERT_EQ(stat(c.folder.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0700u) << c.folder;
    }
    std::remove(file.c_str());
  }
}

}  // namespace
}  // namespace zev::e2e
