// The driver object's shared rules, linked statically: the device table and
// the exception report.
#include <gtest/gtest.h>

#include "TZEV_SCALE_Class.h"
#include "host.h"

namespace zev::driver {
namespace {

TEST(DeviceTable, HoldsWhatOpenHandedOutAndNothingElse) {
  TZEV_SCALE_Class driver;
  EXPECT_FALSE(driver.FindDeviceID(u"")) << "a free slot is no device";
  EXPECT_FALSE(driver.FindDeviceID(u"NoDeviceID"));
  driver.AddDeviceID("NoDeviceID");
  driver.AddDeviceID("NoDeviceID");
  EXPECT_EQ(driver.DeviceIDs()[0], "NoDeviceID");
  EXPECT_EQ(driver.DeviceIDs()[1], "");
  EXPECT_TRUE(driver.FindDeviceID(u"NoDeviceID"));
  EXPECT_FALSE(driver.FindDeviceID(u"nodeviceid"));
  EXPECT_FALSE(driver.FindDeviceID(u""));
  // Ten slots; an eleventh identifier is dropped without a word.
  for (int i = 1; i < 11; ++i) driver.AddDeviceID("D" + std::to_string(i));
  EXPECT_EQ(driver.DeviceIDs()[9], "D9");
  EXPECT_FALSE(driver.FindDeviceID(u"D10"));
  driver.RemoveDeviceID("NoDeviceID");
  EXPECT_FALSE(driver.FindDeviceID(u"NoDeviceID"));
  driver.RemoveDeviceID("unknown");
  EXPECT_TRUE(driver.FindDeviceID(u"D9"));
}

TEST(ModelIndex, NamesAreExact) {
  TZEV_SCALE_Class driver;
  const std::pair<const char16_t*, int> cases[] = {
      {u"ZEV-U", 0},   {u"ZEV-AW", 1}, {u"ZEV-NT(N)", 2}, {u"zev-u", -1},
      {u"ZEV-NT", -1}, {u"", -1},      {u"ZEV-U ", -1},
  };
  for (const auto& [model, index] : cases) {
    driver.ChooseModel(model);
    EXPECT_EQ(driver.ModelIndex(), index);
  }
}

TEST(ReportException, RecordsTheErrorAndTellsThePlatform) {
  struct Case {
    int32_t systemError;
    int32_t code;
  } cases[] = {
      {0, 1001},  // a recorded exception never reads as "no error"
      {5, 5},
      {0x12345, 0x12345},
  };
  for (const auto& c : cases) {
    host::Connection connection;
    TZEV_SCALE_Class driver;
    driver.Connection = connection.Interface();
    driver.ReportException(u"Весы ZEV-AW", "'x' is not a valid floating point value",
                           c.systemError);
    EXPECT_EQ(driver.LastErrorCode(), c.code);
    EXPECT_EQ(driver.LastErrorText(), u"'x' is not a valid floating point value");
    ASSERT_EQ(connection.Errors.size(), 1u);
    EXPECT_EQ(connection.Errors[0].code, c.code & 0xFFFF);
    EXPECT_EQ(connection.Errors[0].source, u"Весы ZEV-AW");
    EXPECT_EQ(connection.Errors[0].description, u"'x' is not a valid floating point value");
    EXPECT_EQ(connection.Errors[0].status, static_cast<long>(0x80004005UL));
  }
  TZEV_SCALE_Class alone;  // no connection: recorded all the same
  alone.ReportException(u"1C: fiscal printer driver", "\xCE\xF8\xE8\xE1\xEA\xE0", 0);
  EXPECT_EQ(alone.LastErrorCode(), 1001);
  EXPECT_EQ(alone.LastErrorText(), u"Ошибка");
}

}  // namespace
}  // namespace zev::driver
