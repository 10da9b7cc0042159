// The program's own directory, found from the start of its command line.
#include "platform/exe_dir.h"

#include "platform/path_rules.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

TEST(BuildExeDirPathTest, NamesAFileInTheDirectoryThatStartsTheCommandLine)
{
    std::string line = GetCommandLineA();
    line = line.substr(line.find_first_not_of('"'));
    char dest[MAX_PATH];
    EXPECT_EQ(0u, BuildExeDirPath(NULL, MAX_PATH, "zorvik.ini"));
    const std::string directory(dest, BuildExeDirPath(dest, sizeof dest, NULL));
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(kPathSeparator, directory.back());
    EXPECT_EQ(0u, line.find(directory));
    BuildExeDirPath(dest, sizeof dest, "zorvik.ini");
    EXPECT_EQ(directory + "zorvik.ini", std::string(dest));

    memset(dest, '#', sizeof dest);
    EXPECT_EQ(4u, BuildExeDirPath(dest, 5, "zorvik.ini"));
    EXPECT_EQ(line.substr(0, 4), std::string(dest));
    EXPECT_EQ('#', dest[5]);
}
