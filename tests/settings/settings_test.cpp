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
    }
    void TearDown() override { DeleteFileA(path.c_str()); }
    void Put(const std::string &text) { WriteFileBytes(path, ToBytes(text)); }
    std::string Contents()
    {
        Bytes bytes = ReadFileBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }

    std::string path;
    Settings *settings = ProcessSettings();
};

TEST_F(SettingsFile, MissingFileGivesDefaultsAndASaveWritesAllFiveKeys)
{
    memset(settings, 'x', sizeof(Settings));
    LoadSettings();
    for (int mode = 0; mode < MODE_COUNT; ++mode)
        EXPECT_EQ("", std::string(settings->firstDir[mode]) + settings->secondDir[mode]);
    EXPECT_EQ(0, settings->alwaysOnTop);
    SaveSettings();
    EXPECT_EQ("[INITDIR]\r\nP1M0=\r\nP2M0=\r\nP1M1=\r\nP2M1=\r\n[OPTION]\r\nALWAYSONTOP=0\r\n", Contents());
}

TEST_F(SettingsFile, LoadReadsEachKeyAndSaveRewritesOnlyThoseFiveLines)
{
    const std::string longDir = "D:\\work\\new" + std::string(300, 'd');
    const std::string cutDir = longDir.substr(0, PATH_BUFFER_SIZE - 1);
    Put("; kept\r\n[INITDIR]\r\nP1M0=D:\\patches\r\nEXTRA=kept\r\nP2M0=D:\\games\r\nP1M1=D:\\work\\old\r\nP2M1=" + longDir +
        "\r\n[OTHER]\r\nX=1\r\n[OPTION]\r\nALWAYSONTOP=-5\r\n");
    LoadSettings();
    EXPECT_STREQ("D:\\patches", settings->firstDir[MODE_APPLY]);
    EXPECT_STREQ("D:\\games", settings->secondDir[MODE_APPLY]);
    EXPECT_STREQ("D:\\work\\old", settings->firstDir[MODE_CREATE]);
    EXPECT_EQ(cutDir, settings->secondDir[MODE_CREATE]);
    EXPECT_EQ(-5, settings->alwaysOnTop);
    strcpy(settings->firstDir[MODE_CREATE], "D:\\new");
    SaveSettings();
    EXPECT_EQ("; kept\r\n[INITDIR]\r\nP1M0=D:\\patches\r\nEXTRA=kept\r\nP2M0=D:\\games\r\nP1M1=D:\\new\r\nP2M1=" + cutDir +
                  "\r\n[OTHER]\r\nX=1\r\n[OPTION]\r\nALWAYSONTOP=-5\r\n",
              Contents());
}

TEST_F(SettingsFile, ReadsFallBackToTheCallersDefaultCutToSize)
{
    EXPECT_EQ(3, ReadSettingInt("OPTION", "MISSING", 3));
    char buffer[8];
    ReadSettingString("OPTION", "MISSING", "fallback", buffer, 5);
    EXPECT_STREQ("fall", buffer);
}
