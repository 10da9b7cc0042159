// The settings record and zorvik.ini beside the executable (here, beside the
// test program).
#include "settings/settings.h"

#include "jobs/paths.h"
#include "bytes.h"

#include <gtest/gtest.h>

#include <string.h>

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char buffer[PATH_BUFFER_SIZE];
        BuildExeDirPath(buffer, sizeof buffer, SETTINGS_FILE_NAME);
        path = buffer;
        DeleteFileA(path.c_str());
        memset(ProcessSettings(), 0, sizeof(Settings));
    }
    void TearDown() override { DeleteFileA(path.c_str()); }
    void Put(const std::string &text) { WriteFileBytes(path, ToBytes(text)); }
    std::string Contents()
    {
        Bytes bytes = ReadFileBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }

    std::string path;
};

TEST_F(SettingsFile, MissingFileGivesDefaultsAndASaveWritesAllFiveKeys)
{
    LoadSettings();
    const Settings *settings = ProcessSettings();
    for (int mode = 0; mode < MODE_COUNT; ++mode) {
        EXPECT_STREQ("", settings->firstDir[mode]);
        EXPECT_STREQ("", settings->secondDir[mode]);
    }
    EXPECT_EQ(0, settings->alwaysOnTop);
    SaveSettings();
    EXPECT_EQ("[INITDIR]\r\nP1M0=\r\nP2M0=\r\nP1M1=\r\nP2M1=\r\n[OPTION]\r\nALWAYSONTOP=0\r\n", Contents());
}

TEST_F(SettingsFile, EachKeyLoadsIntoItsField)
{
    Put("[INITDIR]\r\nP1M0=D:\\patches\r\nP2M0=D:\\games\r\nP1M1=D:\\work\\old\r\nP2M1=D:\\work\\new\r\n"
        "[OPTION]\r\nALWAYSONTOP=1\r\n");
    LoadSettings();
    const Settings *settings = ProcessSettings();
    EXPECT_STREQ("D:\\patches", settings->firstDir[MODE_APPLY]);
    EXPECT_STREQ("D:\\games", settings->secondDir[MODE_APPLY]);
    EXPECT_STREQ("D:\\work\\old", settings->firstDir[MODE_CREATE]);
    EXPECT_STREQ("D:\\work\\new", settings->secondDir[MODE_CREATE]);
    EXPECT_EQ(1, settings->alwaysOnTop);
}

TEST_F(SettingsFile, SaveRewritesOnlyTheFiveKeys)
{
    Put("; kept\r\n[INITDIR]\r\nP1M0=D:\\a\r\nEXTRA=kept\r\n[OTHER]\r\nX=1\r\n[OPTION]\r\nALWAYSONTOP=5\r\n");
    LoadSettings();
    EXPECT_EQ(5, ProcessSettings()->alwaysOnTop);
    strcpy(ProcessSettings()->secondDir[MODE_CREATE], "D:\\new");
    SaveSettings();
    EXPECT_EQ("; kept\r\n[INITDIR]\r\nP1M0=D:\\a\r\nEXTRA=kept\r\nP2M0=\r\nP1M1=\r\nP2M1=D:\\new\r\n[OTHER]\r\nX=1\r\n"
              "[OPTION]\r\nALWAYSONTOP=5\r\n",
              Contents());
}

TEST_F(SettingsFile, AlwaysOnTopWithoutValueOrSectionReadsAsZero)
{
    Put("[OPTION]\r\nALWAYSONTOP=\r\n");
    LoadSettings();
    EXPECT_EQ(0, ProcessSettings()->alwaysOnTop);
    Put("[INITDIR]\r\nP1M0=D:\\a\r\n");
    ProcessSettings()->alwaysOnTop = 1;
    LoadSettings();
    EXPECT_EQ(0, ProcessSettings()->alwaysOnTop);
}

TEST_F(SettingsFile, DirectoryLongerThanAPathIsCut)
{
    const std::string longDir(300, 'd');
    Put("[INITDIR]\r\nP2M1=" + longDir + "\r\n");
    LoadSettings();
    EXPECT_EQ(longDir.substr(0, PATH_BUFFER_SIZE - 1), ProcessSettings()->secondDir[MODE_CREATE]);
}

TEST_F(SettingsFile, AccessOperationsRoundTrip)
{
    WriteSettingInt("OPTION", "N", -12);
    WriteSettingString("OPTION", "S", "text");
    EXPECT_EQ(-12, ReadSettingInt("OPTION", "N", 3));
    EXPECT_EQ(3, ReadSettingInt("OPTION", "MISSING", 3));
    char buffer[8];
    ReadSettingString("OPTION", "S", "x", buffer, sizeof buffer);
    EXPECT_STREQ("text", buffer);
    ReadSettingString("OPTION", "MISSING", "fallback", buffer, 5);
    EXPECT_STREQ("fall", buffer);
}
