// Recognising a patch by its magic, and writing the magic.
#include "engine/ips32.h"
#include "bytes.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

class IsIps32FileTest : public TempDirTest {
protected:
    BOOL Check(const Bytes &content)
    {
        std::string path = dir / "file.ips";
        WriteFileBytes(path, content);
        return IsIps32File(path.c_str());
    }
};

TEST_F(IsIps32FileTest, MagicAloneOrFollowedByAnythingIsAPatch)
{
    EXPECT_EQ(1, Check(ToBytes("IPS32")));
    EXPECT_EQ(1, Check(ToBytes("IPS32EEOF")));
    EXPECT_EQ(1, Check(Concat({ToBytes("IPS32"), RandomBytes(100, 1)})));
}

TEST_F(IsIps32FileTest, ShortOrDifferentStartIsNoPatch)
{
    EXPECT_EQ(0, Check(Bytes()));
    EXPECT_EQ(0, Check(ToBytes("IPS3")));
    EXPECT_EQ(0, Check(ToBytes("ips32EEOF")));
    for (size_t at = 0; at < 5; ++at) {
        SCOPED_TRACE(at);
        Bytes content = ToBytes("IPS32EEOF");
        content[at] ^= 0x01;
        EXPECT_EQ(0, Check(content));
    }
}

TEST_F(IsIps32FileTest, NoPathMissingFileOrDirectoryIsNoPatch)
{
    EXPECT_EQ(0, IsIps32File(NULL));
    EXPECT_EQ(0, IsIps32File((dir / "missing.ips").c_str()));
    EXPECT_EQ(0, IsIps32File(dir.path().c_str()));
}

class WritePatchHeaderTest : public TempDirTest {};

TEST_F(WritePatchHeaderTest, WritesTheMagicAtTheHandlesPosition)
{
    std::string path = dir / "new.ips";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(1, WritePatchHeader(file));
    EXPECT_EQ(1, WritePatchHeader(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(ToBytes("IPS32IPS32"), ReadFileBytes(path));
}

TEST_F(WritePatchHeaderTest, HandleOpenForReadingOnlyFails)
{
    std::string path = dir / "old.ips";
    WriteFileBytes(path, ToBytes("keep"));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(0, WritePatchHeader(file));
    CloseHandle(file);
    EXPECT_EQ(ToBytes("keep"), ReadFileBytes(path));
}
