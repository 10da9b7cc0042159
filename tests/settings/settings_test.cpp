// The settings record and zorvik.ini beside the executable (here, beside the
// test program).
#include "settings/settings.h"

#include "platform/exe_dir.h"
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

// Names match whatever their case and keep their spelling; a missing key is
// added at the end of its section.
TEST_F(SettingsFile, LoadReadsEachKeyAndSaveRewritesOnlyThoseFiveLines)
{
    const std::string longDir = "D:\\work\\new" + std::string(300, 'd');
    const std::string cutDir = longDir.substr(0, PATH_BUFFER_SIZE - 1);
    const std::string before = "; kept\r\n[initdir]\r\np1m0=D:\\patches\r\nEXTRA=kept\r\nP2M0=D:\\games\r\nP1M1=";
    const std::string after = "\r\n[OTHER]\r\nX=1\r\n[OPTION]\r\nALWAYSONTOP=-5\r\n";
    Put(before + longDir + after);
    memset(settings, 'x', sizeof(Settings));
    LoadSettings();
    EXPECT_STREQ("D:\\patches", settings->firstDir[MODE_APPLY]);
    EXPECT_STREQ("D:\\games", settings->secondDir[MODE_APPLY]);
    EXPECT_EQ(cutDir, settings->firstDir[MODE_CREATE]);
    EXPECT_STREQ("", settings->secondDir[MODE_CREATE]);
    EXPECT_EQ(-5, settings->alwaysOnTop);
    strcpy(settings->secondDir[MODE_CREATE], "D:\\new");
    SaveSettings();
    EXPECT_EQ(before + cutDir + "\r\nP2M1=D:\\new" + after, Contents());
}
