#include <gtest/gtest.h>

#include "backup/backup_util.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

Environment at(const std::string& now) {
  return testing::testEnvironment("/nonexistent-varnel-home", {.now = now});
}

TEST(BackupNames, FollowTheLocalTimeOfTheBackup) {
  const struct {
    const char* now;
    const char* onDemand;
    const char* settings;
    const char* cloud;
  } cases[] = {
      {"2024-01-05T09:30:12", "20240105_093012.vnbak", "20240105_093012.vnbak", "20240105_93012.vnbak"},
      // Before 01:00 the settings screen's single "0" leaves fewer than six digits.
      {"2024-01-05T00:05:03", "20240105_000503.vnbak", "20240105_0503.vnbak", "20240105_503.vnbak"},
      {"2024-01-05T00:00:00", "20240105_000000.vnbak", "20240105_00.vnbak", "20240105_0.vnbak"},
      {"2024-12-31T10:00:00", "20241231_100000.vnbak", "20241231_100000.vnbak", "20241231_100000.vnbak"},
      {"2024-12-31T23:59:59", "20241231_235959.vnbak", "20241231_235959.vnbak", "20241231_235959.vnbak"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.now);
    const Environment env = at(c.now);
    EXPECT_EQ(createBackFileName(env), c.onDemand);
    EXPECT_EQ(createSettingsBackFileName(env), c.settings);
    EXPECT_EQ(createBackupFileNameiCloud(env, std::nullopt), c.cloud);
    EXPECT_EQ(createBackupFileNameiCloud(env, "u7"), std::string("u7_") + c.cloud);
  }
}

TEST(BackupNames, AutomaticBackupsCarryTheShortenedDeviceModel) {
  const struct {
    const char* model;
    const char* name;
  } cases[] = {
      {"iPhone 14 Pro", "20240105_e_14_Pro_AUTO.vnbak"},
      {"iPhone14,2", "20240105_e14_2_AUTO.vnbak"},
      {"iPad Air (5th generation)", "20240105_a_Air_(5th_generation)_AUTO.vnbak"},
      {"iPod touch", "20240105_e_touch_AUTO.vnbak"},
      // Only the first of the three replacements that applies is made.
      {"iPhone iPad", "20240105_e_iPad_AUTO.vnbak"},
      {"Standard PC (Q35 + ICH9, 2009)", "20240105_Standard_PC_(Q35_+_ICH9__2009)_AUTO.vnbak"},
      // Nothing of the model may leave the folder or break the name.
      {"../../etc/x", "20240105_.._.._etc_x_AUTO.vnbak"},
      {"line\nbreak", "20240105_line_break_AUTO.vnbak"},
      {"", "20240105_device_AUTO.vnbak"},
  };
  const Environment env = at("2024-01-05T09:30:12");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    EXPECT_EQ(createBackupFileNameiCloudAuto(env, c.model, std::nullopt), c.name);
    EXPECT_EQ(createBackupFileNameiCloudAuto(env, c.model, "5A1D"), std::string("5A1D_") + c.name);
  }
  EXPECT_FALSE(machineDeviceModel().empty());
}

TEST(BackupNames, ExtensionsAndSizes) {
  EXPECT_TRUE(isBackupFile("vnbak"));
  for (const char* other : {"gz", "VNBAK", "sqlite", ""}) EXPECT_FALSE(isBackupFile(other)) << other;
  EXPECT_STREQ(kSendBackupFileName, "send_varnel.vnbak");
  EXPECT_STREQ(kMailBackupFileName, "backfile.vnbak");

  const struct {
    uint64_t bytes;
    const char* text;
  } sizes[] = {{0, "0 bytes"},       {999, "999 bytes"},       {1000, "1 KB"},          {12345, "12 KB"},
               {999499, "999 KB"},   {1234567, "1.2 MB"},      {510000000, "510.0 MB"}, {3450000000, "3.45 GB"}};
  for (const auto& s : sizes) EXPECT_EQ(byteCountText(s.bytes), s.text) << s.bytes;
}

}  // namespace
}  // namespace varnel
