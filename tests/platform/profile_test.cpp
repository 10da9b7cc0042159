// Private-profile (INI) files as Windows reads and writes them; under Wine this
// suite runs against the real functions, natively against the POSIX layer.
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
    std::string Contents()
    {
        Bytes bytes = ReadFileBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }
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

TEST_F(PrivateProfileMatchesWindows, NamesIgnoreCaseAndBlanksAroundNamesAndValuesAreDropped)
{
    Put("[Sec]\r\n  key1  =  value one  \r\nKEY2=v2\r\n\tt\t=\ttab\t\r\n [ Spaced ] \r\nx=1\r\n");
    EXPECT_EQ("value one", Get("sec", "KEY1"));
    EXPECT_EQ("v2", Get("SEC", "key2"));
    EXPECT_EQ("tab", Get("Sec", "t"));
    EXPECT_EQ("1", Get("spaced", "X"));
}

TEST_F(PrivateProfileMatchesWindows, MatchingQuotesAreRemovedOnRead)
{
    Put("[Q]\r\na=\"  spaced  \"\r\nb='single'\r\nc=\"unbalanced\r\nd=\"\"\r\ne=\"x\" \r\n");
    EXPECT_EQ("  spaced  ", Get("Q", "a"));
    EXPECT_EQ("single", Get("Q", "b"));
    EXPECT_EQ("\"unbalanced", Get("Q", "c"));
    EXPECT_EQ("", Get("Q", "d"));
    EXPECT_EQ("x", Get("Q", "e"));
}

TEST_F(PrivateProfileMatchesWindows, LfAndCrlfLinesReadAlike)
{
    Put("[A]\na=lf\r\nb=crlf\r\n[B]\nc=last");
    EXPECT_EQ("lf", Get("A", "a"));
    EXPECT_EQ("crlf", Get("A", "b"));
    EXPECT_EQ("last", Get("B", "c"));
}

TEST_F(PrivateProfileMatchesWindows, CommentsAndOtherSectionsDoNotInterfere)
{
    Put("; key=comment\r\n[Other]\r\nkey=other\r\n[Sec]\r\n; key=commented\r\nkey=mine\r\n[Third]\r\nkey=third\r\n");
    EXPECT_EQ("mine", Get("Sec", "key"));
    EXPECT_EQ("other", Get("Other", "key"));
    EXPECT_EQ("default", Get("Sec", "missing"));
}

TEST_F(PrivateProfileMatchesWindows, MissingFileSectionOrKeyGivesTheDefaultWithoutTrailingBlanks)
{
    EXPECT_EQ("default", Get("Sec", "key"));
    Put("[Sec]\r\nkey=1\r\nnoequals\r\n");
    EXPECT_EQ("dflt", Get("Missing", "key", "dflt  "));
    EXPECT_EQ("default", Get("Sec", "other"));
    EXPECT_EQ("default", Get("Sec", "noequals"));
    EXPECT_EQ("", Get("Sec", "other", NULL));
    EXPECT_EQ(77, GetInt("key"));
}

TEST_F(PrivateProfileMatchesWindows, ValuesLongerThanTheBufferAreCut)
{
    Put("[Sec]\r\nkey=value one\r\n");
    EXPECT_EQ("valu", Get("Sec", "key", "", 5));
    EXPECT_EQ("defa", Get("Sec", "missing", "default", 5));
    EXPECT_EQ("", Get("Sec", "key", "", 1));
}

TEST_F(PrivateProfileMatchesWindows, IntegersReadLikeWindows)
{
    Put("[I]\r\na=42abc\r\nb=-5\r\nc=\r\nd=abc\r\ne=0x10\r\nf=\"5\"\r\ng=+3\r\nh=  7\r\n");
    EXPECT_EQ(42, GetInt("a"));
    EXPECT_EQ(-5, GetInt("b"));
    EXPECT_EQ(77, GetInt("c"));
    EXPECT_EQ(0, GetInt("d"));
    EXPECT_EQ(16, GetInt("e"));
    EXPECT_EQ(5, GetInt("f"));
    EXPECT_EQ(3, GetInt("g"));
    EXPECT_EQ(7, GetInt("h"));
    EXPECT_EQ(77, GetInt("missing"));
}

TEST_F(PrivateProfileMatchesWindows, WriteChangesOnlyItsOwnLine)
{
    Put("; settings\r\n[INITDIR]\r\nP1M0=old\r\nOther=keep\r\n[Mine]\r\nx=1\r\n");
    EXPECT_TRUE(Write("initdir", "p1m0", "D:\\new"));
    EXPECT_EQ("; settings\r\n[INITDIR]\r\nP1M0=D:\\new\r\nOther=keep\r\n[Mine]\r\nx=1\r\n", Contents());
}

TEST_F(PrivateProfileMatchesWindows, WriteAddsKeysAtTheEndOfTheirSectionAndSectionsAtTheEnd)
{
    Put("[INITDIR]\r\nP1M0=a\r\n[Mine]\r\nx=1\r\n");
    EXPECT_TRUE(Write("INITDIR", "P2M0", "b"));
    EXPECT_TRUE(Write("OPTION", "ALWAYSONTOP", "1"));
    EXPECT_EQ("[INITDIR]\r\nP1M0=a\r\nP2M0=b\r\n[Mine]\r\nx=1\r\n[OPTION]\r\nALWAYSONTOP=1\r\n", Contents());
}

TEST_F(PrivateProfileMatchesWindows, WriteCreatesTheFileAndStoresEmptyValues)
{
    EXPECT_TRUE(Write("A", "k", ""));
    EXPECT_EQ("[A]\r\nk=\r\n", Contents());
    EXPECT_EQ("", Get("A", "k"));
}

TEST_F(PrivateProfileMatchesWindows, WriteKeepsWhatOtherLinesMean)
{
    Put("top comment\n[A]\n  a = 1 \n; note\n[B]\nb='2'\n");
    EXPECT_TRUE(Write("A", "new", "3"));
    EXPECT_EQ("1", Get("A", "a"));
    EXPECT_EQ("3", Get("A", "new"));
    EXPECT_EQ("2", Get("B", "b"));
}

TEST_F(PrivateProfileMatchesWindows, WriteFailsWhereNoFileCanBeWritten)
{
    Put("[A]\r\nk=old\r\n");
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Write("A", "k", "new"));
    EXPECT_EQ("old", Get("A", "k"));
    EXPECT_FALSE(WritePrivateProfileStringA("A", "k", "v", (dir / "missing" + kPathSeparator + "x.ini").c_str()));
}
