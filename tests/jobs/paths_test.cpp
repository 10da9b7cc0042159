// The path helpers: extensions found in the file name only, names that never
// overrun their buffer.
#include "jobs/job_steps.h"
#include "jobs/paths.h"

#include "notify/notifications.h"
#include "platform/path_rules.h"

#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>

static std::string Replaced(const std::string &source, const char *extension)
{
    char dest[PATH_BUFFER_SIZE];
    EXPECT_TRUE(ReplaceExtension(source.c_str(), dest, sizeof dest, extension)) << source;
    return dest;
}

TEST(PathHelpersExamples, BothFindTheLastDotOfTheFileNameOnly)
{
    const struct { const char *path, *extension, *withIps, *withNone; } examples[] = {
        {"D:/data/game.BIN", "BIN", "D:/data/game.ips", "D:/data/game"},
        {"D:/data/game", "", "D:/data/game.ips", "D:/data/game"},
        {"D:/data/game.tar.gz", "gz", "D:/data/game.tar.ips", "D:/data/game.tar"},
        {"D:/data/game.", "", "D:/data/game.ips", "D:/data/game"},
        {".profile", "profile", ".ips", ""},
        {"", "", ".ips", ""},
        // A dot in a directory name is no extension.
        {"D:/old.2/game", "", "D:/old.2/game.ips", "D:/old.2/game"},
        // Shift-JIS 表 (95 5C) and ソ (83 5C): a trail byte 0x5C is no separator.
        {"D:/data/game.\x95\x5C", "\x95\x5C", "D:/data/game.ips", "D:/data/game"},
        {"D:/v.\x83\x5Cx/game", "", "D:/v.\x83\x5Cx/game.ips", "D:/v.\x83\x5Cx/game"},
    };
    // The examples are written with '/' for this platform's separator.
    auto native = [](std::string path) { std::replace(path.begin(), path.end(), '/', kPathSeparator); return path; };
    for (const auto &example : examples) {
        SCOPED_TRACE(example.path);
        char extension[PATH_BUFFER_SIZE];
        GetExtension(native(example.path).c_str(), extension);
        EXPECT_EQ(example.extension, std::string(extension));
        EXPECT_EQ(native(example.withIps), Replaced(native(example.path), "ips"));
        EXPECT_EQ(native(example.withNone), Replaced(native(example.path), ""));
    }
}

TEST(ReplaceExtensionBounds, LongestResultFitsAndOneMoreIsRefusedWithoutOverrun)
{
    const std::string stem(PATH_BUFFER_SIZE - 1 - 4, 'a');
    char dest[PATH_BUFFER_SIZE + 8];
    EXPECT_EQ(stem + ".ips", Replaced(stem + ".bin", "ips"));
    memset(dest, '#', sizeof dest);
    EXPECT_FALSE(ReplaceExtension((stem + "a.b").c_str(), dest, PATH_BUFFER_SIZE, "ips"));
    EXPECT_EQ('\0', dest[0]);
    EXPECT_EQ(std::string(8, '#'), std::string(dest + PATH_BUFFER_SIZE, 8));
}

TEST(FormatPathsBounds, TextFillsItsBufferAndIsCutToIt)
{
    char dest[8];
    FormatPaths(dest, sizeof dest, "%s", "abcdefg");
    EXPECT_STREQ("abcdefg", dest);
    FormatPaths(dest, sizeof dest, "%s%s", "abcd", "efgh");
    EXPECT_STREQ("abcdefg", dest);
}
