// Private-profile (INI) files as Windows reads and writes them; under Wine this
// suite runs against the real functions, natively against the POSIX layer.
// What a write keeps and where it adds a line: the settings tests.
#include "platform/path_rules.h"
#include "platform/win32.h"
#include "bytes.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string.h>

class PrivateProfileMatchesWindows : public TempDirTest {
protected:
    void SetUp() override { path = dir / "test.ini"; }
    void Put(const std::string &text) { WriteFileBytes(path, ToBytes(text)); }
    std::string Get(const char *section, const char *key, const char *defaultValue = "default", DWORD size = 64)
    {
        char buffer[64];
        memset(buffer, '#', sizeof buffer);
        DWORD length = GetPrivateProfileStringA(section, key, defaultValue, buffer, size, path.c_str());
        EXPECT_EQ(strlen(buffer), length) << key;
        return buffer;
    }
    int GetInt(const char *key) { return (int)GetPrivateProfileIntA("I", key, 77, path.c_str()); }
    BOOL Write(const char *section, const char *key, const char *value)
    {
        return WritePrivateProfileStringA(section, key, value, path.c_str());
    }

    std::string path;
};

TEST_F(PrivateProfileMatchesWindows, ReadsLikeWindowsBeforeAndAfterAWrite)
{
    EXPECT_EQ("default", Get("Sec", "key"));
    // Comments, other sections, blanks, letter case, quotes, LF and CRLF lines, a last line without its end.
    Put("; key=comment\r\n[Other]\r\nkey=other\r\n[Sec]\r\n  key1  =  value one  \r\nKEY2=v2\n\tt\t=\ttab\t\r\n"
        "; key=commented\r\nkey=mine\nnoequals\r\nempty=\r\n [ Spaced ] \r\nx=1\n[Q]\r\na=\"  spaced  \"\r\n"
        "b='single'\r\nc=\"unbalanced\r\nd=\"\"\r\ne=\"x\" \r\n[I]\r\na=42abc\r\nb=-5\r\nc=\r\nd=abc\r\ne=0x10\r\n"
        "f=\"5\"\r\ng=+3\r\nh=  7\r\ni=0xfF:\r\nj=010\r\nk=0x1g\r\n[Last]\nkey=later\nz=last");
    const struct { const char *section, *key, *value, *defaultValue = "default"; DWORD size = 64; } reads[] = {
        {"sec", "KEY1", "value one"}, {"SEC", "key2", "v2"},        {"Sec", "t", "tab"},
        {"spaced", "X", "1"},         {"Sec", "key", "mine"},       {"Other", "key", "other"},
        {"Sec", "empty", ""},         {"Sec", "noequals", "default"}, {"Sec", "missing", "default"},
        {"Q", "a", "  spaced  "},     {"Q", "b", "single"},         {"Q", "c", "\"unbalanced"},
        {"Q", "d", ""},               {"Q", "e", "x"},              {"Last", "z", "last"},
        // Defaults lose trailing blanks; values and defaults are cut to the buffer.
        {"Missing", "key", "dflt", "dflt  "}, {"Sec", "missing", "", NULL}, {"Sec", "key1", "valu", "", 5},
        {"Sec", "missing", "defa", "default", 5}, {"Sec", "key1", "", "", 1},
    };
    const struct { const char *key; int value; } ints[] = {
        {"a", 42}, {"b", -5}, {"c", 77}, {"d", 0},   {"e", 16},
        {"f", 5},  {"g", 3},  {"h", 7},  {"i", 255}, {"j", 10}, {"k", 1}, {"missing", 77}};
    // The second pass follows a write, which must keep what every other line means.
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto &read : reads)
            EXPECT_EQ(read.value, Get(read.section, read.key, read.defaultValue, read.size))
                << pass << " " << read.section << " " << read.key << " " << read.size;
        for (const auto &read : ints)
            EXPECT_EQ(read.value, GetInt(read.key)) << pass << " " << read.key;
        EXPECT_TRUE(Write("Last", "added", "3"));
    }
    EXPECT_EQ("3", Get("Last", "added"));
}

TEST_F(PrivateProfileMatchesWindows, WriteFailsWhereNoFileCanBeWritten)
{
    Put("[A]\r\nk=old\r\n");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Write("A", "k", "new"));
    EXPECT_EQ("old", Get("A", "k"));
    EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "v", (dir / "missing" + kPathSeparator + "x.ini").c_str()));
}
