// File behaviour the engines and jobs depend on, identical on Windows and in
// the POSIX layer: what can be opened, replaced, deleted, and how failures show.
#include "platform/stream.h"
#include "platform/win32.h"
#include "bytes.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

class FileAccess : public TempDirTest {
protected:
    std::string ReadOnlyFile(const std::string &name, const std::string &text)
    {
        std::string path = dir / name;
        WriteFileBytes(path, ToBytes(text));
        EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        return path;
    }
};

TEST_F(FileAccess, ReadOnlyFileCannotBeOpenedForWritingReplacedOrDeleted)
{
    std::string path = ReadOnlyFile("locked.bin", "keep");
    EXPECT_NE(0u, GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);

    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_EQ(nullptr, OpenStream(path.c_str(), "r+b"));
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    std::string other = dir / "other.bin";
    WriteFileBytes(other, ToBytes("new"));
    EXPECT_FALSE(CopyFileA(other.c_str(), path.c_str(), FALSE));
    EXPECT_EQ(ToBytes("keep"), ReadFileBytes(path));

    EXPECT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(0u, GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
}

TEST_F(FileAccess, DirectoryIsNoFile)
{
    EXPECT_NE(0u, GetFileAttributesA(dir.path().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA(dir.path().c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    EXPECT_EQ(nullptr, OpenStream(dir.path().c_str(), "rb"));
    EXPECT_FALSE(DeleteFileA(dir.path().c_str()));
    std::string source = dir / "a.bin";
    WriteFileBytes(source, ToBytes("a"));
    EXPECT_FALSE(CopyFileA(source.c_str(), dir.path().c_str(), FALSE));
}

TEST_F(FileAccess, MissingFileReportsNotFound)
{
    std::string path = dir / "missing.bin";
    SetLastError(0xdeadbeef);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_FALSE(CopyFileA(path.c_str(), (dir / "copy.bin").c_str(), FALSE));
    EXPECT_FALSE(PathExists(dir / "copy.bin"));
}

TEST_F(FileAccess, CopyCarriesTheReadOnlyMarkAndNeverDestroysItsSource)
{
    std::string source = ReadOnlyFile("source.bin", "payload");
    std::string copy = dir / "copy.bin";
    ASSERT_TRUE(CopyFileA(source.c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(ToBytes("payload"), ReadFileBytes(copy));
    EXPECT_NE(0u, GetFileAttributesA(copy.c_str()) & FILE_ATTRIBUTE_READONLY);

    SetFileAttributesA(source.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(CopyFileA(source.c_str(), source.c_str(), FALSE));
    EXPECT_EQ(ToBytes("payload"), ReadFileBytes(source));
    EXPECT_FALSE(CopyFileA(source.c_str(), copy.c_str(), TRUE));
}

TEST_F(FileAccess, CreateAlwaysEmptiesAnExistingFileAndReadsStopAtTheEnd)
{
    std::string path = dir / "data.bin";
    WriteFileBytes(path, ToBytes("old contents"));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "new", 3, &written, NULL));
    EXPECT_EQ(3u, written);
    EXPECT_TRUE(CloseHandle(file));

    file = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD high = 0xdeadbeef;
    EXPECT_EQ(3u, GetFileSize(file, &high));
    EXPECT_EQ(0u, high);
    char buffer[16];
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, NULL));
    EXPECT_EQ(3u, read);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, NULL));
    EXPECT_EQ(0u, read);
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileAccess, PositionsAndSizesBeyondFourGigabytesAreExact)
{
    // A sparse file: one byte at 4 GiB + 1 costs no disk space.
    std::string path = dir / "sparse.bin";
    WriteFileBytes(path, Bytes());
    FILE *stream = OpenStream(path.c_str(), "r+b");
    ASSERT_NE(nullptr, stream);
    const int64_t beyond = (int64_t(1) << 32) + 1;
    ASSERT_EQ(0, SeekStream(stream, beyond, SEEK_SET));
    EXPECT_EQ(beyond, TellStream(stream));
    ASSERT_EQ(1u, fwrite("x", 1, 1, stream));
    ASSERT_EQ(0, fclose(stream));

    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD high = 0;
    EXPECT_EQ(2u, GetFileSize(file, &high));
    EXPECT_EQ(1u, high);
    EXPECT_TRUE(CloseHandle(file));
}

TEST(FileAccessFullDisk, ShortWriteIsAFailure)
{
    // Only where the system has a full device to write to.
    if (GetFileAttributesA("/dev/full") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no /dev/full here";
    HANDLE file = CreateFileA("/dev/full", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 1;
    SetLastError(0);
    EXPECT_FALSE(WriteFile(file, "abc", 3, &written, NULL));
    EXPECT_EQ(0u, written);
    EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
    EXPECT_TRUE(CloseHandle(file));
}
