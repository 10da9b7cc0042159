// The path helpers: extensions found in the file name only, names that never
// overrun their buffer, and the program's own directory.
#include "jobs/paths.h"

#include "jobs/notifications.h"
#include "platform/path_rules.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>
#include <string>

// The example written with backslashes, in this platform's separator.
static std::string Native(std::string path)
{
    for (char &c : path) {
        if (c == '\\')
            c = kPathSeparator;
    }
    return path;
}

static std::string Replaced(const std::string &source, const char *extension)
{
    char dest[PATH_BUFFER_SIZE];
    EXPECT_TRUE(ReplaceExtension(source.c_str(), dest, sizeof dest, extension)) << source;
    return dest;
}

static std::string Extension(const std::string &path)
{
    char dest[PATH_BUFFER_SIZE];
    GetExtension(path.c_str(), dest);
    return dest;
}

TEST(ReplaceExtensionExamples, ReplacesTheLastExtensionOfTheFileName)
{
    const struct {
        const char *source, *extension, *result;
    } examples[] = {
        {"D:\\data\\game.bin", "ips", "D:\\data\\game.ips"},
        {"D:\\data\\game", "ips", "D:\\data\\game.ips"},
        {"D:\\data\\game.tar.gz", "ips", "D:\\data\\game.tar.ips"},
        {"D:\\data\\game.bin", "", "D:\\data\\game"},
        {"D:\\data\\game", "", "D:\\data\\game"},
        {"D:\\data\\game.", "ips", "D:\\data\\game.ips"},
        {".profile", "ips", ".ips"},
        {"", "ips", ".ips"},
        // A dot in a directory name is no extension.
        {"D:\\old.2\\game", "ips", "D:\\old.2\\game.ips"},
        {"D:\\old.2\\game", "", "D:\\old.2\\game"},
    };
    for (const auto &example : examples)
        EXPECT_EQ(Native(example.result), Replaced(Native(example.source), example.extension)) << example.source;
}

TEST(GetExtensionExamples, YieldsWhatReplaceExtensionRemoves)
{
    EXPECT_EQ("ips", Extension(".ips"));
    EXPECT_EQ("profile", Extension(".profile"));
    EXPECT_EQ("gz", Extension("game.tar.gz"));
    EXPECT_EQ("BIN", Extension(Native("D:\\t\\game_new.BIN")));
    EXPECT_EQ("", Extension(Native("D:\\data\\game.")));
    EXPECT_EQ("", Extension(Native("D:\\data\\game")));
    EXPECT_EQ("", Extension(Native("D:\\old.2\\game")));
    EXPECT_EQ("", Extension(""));
}

TEST(PathHelpersShiftJis, TrailByte5CIsNoSeparator)
{
    if (kPathSeparator != '\\')
        GTEST_SKIP() << "only Windows takes 0x5C for a separator";
    // game.表: 表 is 95 5C in Shift-JIS.
    const std::string path = "D:\\data\\game.\x95\x5C";
    EXPECT_EQ("\x95\x5C", Extension(path));
    EXPECT_EQ("D:\\data\\game.ips", Replaced(path, "ips"));
    // ソ (83 5C) ending a directory name is no separator either.
    EXPECT_EQ("D:\\v.\x83\x5Cx\\game.ips", Replaced("D:\\v.\x83\x5Cx\\game", "ips"));
}

TEST(ReplaceExtensionBounds, LongestResultFitsAndOneMoreIsRefusedWithoutOverrun)
{
    const std::string stem(PATH_BUFFER_SIZE - 1 - 4, 'a');
    char dest[PATH_BUFFER_SIZE + 8];
    memset(dest, '#', sizeof dest);
    EXPECT_TRUE(ReplaceExtension((stem + ".bin").c_str(), dest, PATH_BUFFER_SIZE, "ips"));
    EXPECT_EQ(stem + ".ips", std::string(dest));

    memset(dest, '#', sizeof dest);
    EXPECT_FALSE(ReplaceExtension((stem + "a.b").c_str(), dest, PATH_BUFFER_SIZE, "ips"));
    EXPECT_EQ('\0', dest[0]);
    EXPECT_EQ(std::string(8, '#'), std::string(dest + PATH_BUFFER_SIZE, 8));

    EXPECT_FALSE(ReplaceExtension("game", dest, 5, "ips"));
    EXPECT_TRUE(ReplaceExtension("game", dest, 9, "ips"));
    EXPECT_EQ("game.ips", std::string(dest));
}

class FileExistsTest : public TempDirTest {};

TEST_F(FileExistsTest, AnythingAtThePathCountsDirectoriesIncluded)
{
    std::string file = dir / "a.bin";
    FILE *stream = fopen(file.c_str(), "wb");
    ASSERT_NE(nullptr, stream);
    fclose(stream);
    EXPECT_TRUE(FileExists(file.c_str()));
    EXPECT_TRUE(FileExists(dir.path().c_str()));
    EXPECT_FALSE(FileExists((dir / "missing.bin").c_str()));
    EXPECT_FALSE(FileExists((dir / "missing" + kPathSeparator + "a.bin").c_str()));
}

static std::string CommandLineAfterQuotes()
{
    std::string line = GetCommandLineA();
    return line.substr(line.find_first_not_of('"'));
}

TEST(BuildExeDirPathTest, NamesAFileInTheDirectoryThatStartsTheCommandLine)
{
    char dest[PATH_BUFFER_SIZE];
    DWORD stored = BuildExeDirPath(dest, sizeof dest, NULL);
    const std::string directory = dest;
    EXPECT_EQ(directory.size(), stored);
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(kPathSeparator, directory.back());
    EXPECT_EQ(0u, CommandLineAfterQuotes().find(directory));
    EXPECT_TRUE(std::filesystem::is_directory(directory));

    EXPECT_EQ(stored + 10, BuildExeDirPath(dest, sizeof dest, "zorvik.ini"));
    EXPECT_EQ(directory + "zorvik.ini", std::string(dest));
}

TEST(BuildExeDirPathTest, CutsToTheDestinationAndIgnoresNoDestination)
{
    char dest[8];
    memset(dest, '#', sizeof dest);
    EXPECT_EQ(4u, BuildExeDirPath(dest, 5, "zorvik.ini"));
    EXPECT_EQ(CommandLineAfterQuotes().substr(0, 4), std::string(dest));
    EXPECT_EQ(std::string(3, '#'), std::string(dest + 5, 3));
    EXPECT_EQ(0u, BuildExeDirPath(NULL, PATH_BUFFER_SIZE, "zorvik.ini"));
}
