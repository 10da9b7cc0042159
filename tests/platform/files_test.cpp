// File behaviour the engines and jobs depend on, identical on Windows and in the POSIX layer.
#include "platform/file_views.h"
#include "platform/output.h"
#include "platform/path_rules.h"
#include "platform/stream.h"
#include "platform/win32.h"
#include "bytes.h"
#include "temp_dir.h"
#ifndef _WIN32
#include "io_faults.h"
#endif

#include <gtest/gtest.h>

#include <string.h>

#include <filesystem>
#include <iterator>

class FileAccess : public TempDirTest {};

static HANDLE Open(const std::string &path, DWORD access, DWORD creation, DWORD share = 0)
{
    return CreateFileA(path.c_str(), access, share, NULL, creation, FILE_ATTRIBUTE_NORMAL, NULL);
}

static const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

TEST_F(FileAccess, ReadOnlyFileIsRefusedForWritingAndDeletingUntilItsMarkIsLifted)
{
    const std::string path = dir / "locked.bin";
    WriteFileBytes(path, ToBytes("keep"));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, CREATE_ALWAYS));
    EXPECT_EQ(nullptr, OpenStream(path.c_str(), "r+b"));
    EXPECT_FALSE(DeleteFileA(path.c_str()));
#ifndef _WIN32
    // A link to it is deleted, and the file stays.
    std::filesystem::create_symlink(path, dir / "link");
    EXPECT_TRUE(DeleteFileA((dir / "link").c_str()));
#endif
    EXPECT_EQ(ToBytes("keep"), ReadFileBytes(path));
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
}

// What the jobs rely on so that two of them never write one file at once.
TEST_F(FileAccess, AHandleThatSharesNothingKeepsEveryOtherOpenOutUntilItIsClosed)
{
    const std::string path = dir / "held.bin";
    WriteFileBytes(path, ToBytes("held"));
    HANDLE held = Open(path, GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_WRITE, CREATE_ALWAYS));
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_READ, OPEN_EXISTING, kShareAll));
    EXPECT_EQ(nullptr, OpenStream(path.c_str(), "rb"));
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_TRUE(CloseHandle(held));
    EXPECT_EQ(ToBytes("held"), ReadFileBytes(path));
    // Handles that share open side by side, and keep out one that does not.
    HANDLE reader = Open(path, GENERIC_READ, OPEN_EXISTING, kShareAll);
    HANDLE writer = Open(path, GENERIC_WRITE, OPEN_EXISTING, kShareAll);
    EXPECT_NE(INVALID_HANDLE_VALUE, reader);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(path, GENERIC_READ, OPEN_EXISTING));
    EXPECT_TRUE(CloseHandle(reader) && CloseHandle(writer));
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

// The bytes past 4 GiB make a sparse file, which costs no disk space.
TEST_F(FileAccess, CreateAlwaysEmptiesAndSizesBeyondFourGigabytesAreExact)
{
    const std::string path = dir / "data.bin";
    WriteFileBytes(path, ToBytes("old contents"));
    EXPECT_TRUE(CloseHandle(Open(path, GENERIC_WRITE, CREATE_ALWAYS)));
    EXPECT_EQ(Bytes(), ReadFileBytes(path));
    FILE *stream = OpenStream(path.c_str(), "r+b");
    ASSERT_NE(nullptr, stream);
    setvbuf(stream, NULL, _IONBF, 0);
    ASSERT_EQ(0, SeekStream(stream, 0x100000001, SEEK_SET));
    EXPECT_EQ(0x100000001, TellStream(stream));
    ASSERT_EQ(1u, fwrite("x", 1, 1, stream));
    EXPECT_EQ(0, WriteStreamAt(stream, "yz", 2, 0x100000003));
    char read[8] = "";
    EXPECT_EQ(5, ReadStreamAt(stream, read, sizeof read, 0x100000000));
    EXPECT_EQ(0, memcmp(read, "\0x\0yz", 5));
    EXPECT_EQ(0, ReadStreamAt(stream, read, sizeof read, 0x100000005));
    ASSERT_EQ(0, fclose(stream));
    HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    DWORD high = 0;
    EXPECT_EQ(5u, GetFileSize(file, &high));
    EXPECT_EQ(1u, high);
    // ReadFile and WriteFile reach there at an OVERLAPPED's offset; no byte is read where the file has ended.
    OVERLAPPED at = {};
    at.OffsetHigh = 1;
    at.Offset = 2;
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(file, "Q", 1, &done, &at));
    at.Offset = 0;
    EXPECT_TRUE(ReadFile(file, read, sizeof read, &done, &at));
    EXPECT_EQ(std::string("\0xQyz", 5), std::string(read, done));
    at.Offset = 5;
    EXPECT_FALSE(ReadFile(file, read, sizeof read, &done, &at));
    EXPECT_EQ((DWORD)ERROR_HANDLE_EOF, GetLastError());
    EXPECT_TRUE(CloseHandle(file));
}

#ifndef _WIN32
// An interrupted or short transfer carries on; a write that moves nothing is a full disk.
TEST_F(FileAccess, InterruptedAndShortTransfersCarryOn)
{
    const Bytes bytes = RandomBytes(30000, 8);
    const DWORD size = (DWORD)bytes.size();
    HANDLE file = Open(dir / "moved.bin", GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
    FILE *stream = OpenStreamOn(file, "r+b");
    ASSERT_NE(nullptr, stream);
    Bytes back(3 * size + 10), tail(2 * size);
    DWORD done = 0;
    OVERLAPPED at = {};
    {
        IoFaults faults(777);
        EXPECT_TRUE(WriteFile(file, bytes.data(), size, &done, NULL));
        EXPECT_EQ(size, done);
        at.Offset = size;
        EXPECT_TRUE(WriteFile(file, bytes.data(), size, &done, &at));
        EXPECT_EQ(0, WriteStreamAt(stream, bytes.data(), size, 2 * size));
        at.Offset = 0;
        EXPECT_TRUE(ReadFile(file, back.data(), (DWORD)back.size(), &done, &at));
        EXPECT_EQ(3 * size, done);
        EXPECT_EQ(size, ReadStreamAt(stream, tail.data(), 2 * size, 2 * size));
    }
    {
        IoFaults faults(0);
        EXPECT_FALSE(WriteFile(file, bytes.data(), size, &done, NULL));
        EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
        EXPECT_EQ(-1, WriteStreamAt(stream, bytes.data(), size, 0));
        EXPECT_EQ((DWORD)ERROR_DISK_FULL, GetLastError());
    }
    EXPECT_EQ(Concat({bytes, bytes, bytes}), Prefix(back, 3 * size));
    EXPECT_EQ(bytes, Prefix(tail, size));
    EXPECT_EQ(0, fclose(stream));
    EXPECT_TRUE(CloseHandle(file));
}
#endif

// Views read a file's bytes where the system keeps them, at offsets of 64 KiB
// steps and within the file. Windows refuses to make a mapped file shorter;
// where that is done all the same and views fail safely, the view reads zeros
// there and its unmapping reports that it was not read whole.
TEST_F(FileAccess, MappedViewsReadTheFileAndReportBytesLostUnderThem)
{
    const std::string path = dir / "mapped.bin", empty = dir / "empty.bin";
    const Bytes bytes = RandomBytes(3 * 65536, 4);
    WriteFileBytes(path, bytes);
    WriteFileBytes(empty, {});
    HANDLE nothing = Open(empty, GENERIC_READ, OPEN_EXISTING, kShareAll);
    HANDLE file = Open(path, GENERIC_READ, OPEN_EXISTING, kShareAll);
    EXPECT_EQ(nullptr, CreateFileMappingA(nothing, NULL, PAGE_READONLY, 0, 0, NULL));
    HANDLE mapping = CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL);
    ASSERT_NE(nullptr, mapping);
    EXPECT_EQ(nullptr, MapViewOfFile(mapping, FILE_MAP_READ, 0, 4096, 100));
    EXPECT_EQ(nullptr, MapViewOfFile(mapping, FILE_MAP_READ, 0, 2 * 65536, 65537));
    EXPECT_EQ(nullptr, MapViewOfFile(file, FILE_MAP_READ, 0, 0, 100));
    EXPECT_TRUE(UnmapViewOfFile(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 100)));
    // One byte into its last page.
    const unsigned char *view = (const unsigned char *)MapViewOfFile(mapping, FILE_MAP_READ, 0, 65536, 65537);
    ASSERT_NE(nullptr, view);
    EXPECT_EQ(Bytes(bytes.begin() + 65536, bytes.begin() + 2 * 65536 + 1), Bytes(view, view + 65537));
    std::error_code refused;
    std::filesystem::resize_file(FsPath(path), 65536, refused);
    if (refused || FileViewsFailSafely()) {
        EXPECT_EQ(refused ? bytes[2 * 65536] : 0, ((const volatile unsigned char *)view)[65536]);
        EXPECT_EQ(!refused, !UnmapViewOfFile(view));
    }
    EXPECT_TRUE(CloseHandle(mapping) && CloseHandle(file) && CloseHandle(nothing));
}

TEST_F(FileAccess, OutputsTakeTheirNameWholeOrNotAtAll)
{
    const std::string folder = dir / "folder", source = dir / "source.bin";
    WriteFileBytes(source, ToBytes("source"));
    std::filesystem::create_directory(folder);
    const struct {
        const char *name;
        Bytes older;      // empty: nothing at the name
        bool readOnly, overReadOnly, keep;
        bool begins;      // BeginOutput gives a file
        Bytes after;      // at the name afterwards; empty: nothing
    } cases[] = {
        {"new, kept", {}, false, false, true, true, ToBytes("new")},
        {"new, dropped", {}, false, false, false, true, {}},
        {"older, kept", ToBytes("old"), false, false, true, true, ToBytes("new")},
        {"older, dropped", ToBytes("old"), false, false, false, true, ToBytes("old")},
        {"read-only older, refused", ToBytes("old"), true, false, true, false, ToBytes("old")},
        {"read-only older, replaced", ToBytes("old"), true, true, true, true, ToBytes("new")},
    };
    const std::string path = dir / "out.bin";
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        if (!row.older.empty())
            WriteFileBytes(path, row.older);
        if (row.readOnly)
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
        HANDLE file = BeginOutput(path.c_str(), source.c_str(), row.overReadOnly);
        EXPECT_EQ(row.begins, file != INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_EQ(row.begins, file != INVALID_HANDLE_VALUE && WriteFile(file, "new", 3, &written, NULL));
        EXPECT_EQ(row.begins && row.keep, EndOutput(row.keep) != 0);
        EXPECT_EQ(row.after, PathExists(path) ? ReadFileBytes(path) : Bytes());
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        EXPECT_EQ(2, std::distance(std::filesystem::directory_iterator(dir.path()), {}));
    }
    // A folder at the name is not replaced; one output at a time.
    HANDLE refused = BeginOutput(folder.c_str(), source.c_str(), TRUE);
    const DWORD error = GetLastError();
    EXPECT_EQ(INVALID_HANDLE_VALUE, refused);
    EXPECT_EQ((DWORD)ERROR_BAD_FILE_TYPE, error);
    EXPECT_NE(INVALID_HANDLE_VALUE, BeginOutput(path.c_str(), source.c_str(), FALSE));
    EXPECT_EQ(INVALID_HANDLE_VALUE, BeginOutput((dir / "second.bin").c_str(), source.c_str(), FALSE));
    EXPECT_FALSE(EndOutput(FALSE));
    EXPECT_FALSE(PathExists(path));
    // The temporary name, without the output's name, is the folder and 14
    // characters: a folder one character longer than that allows is refused.
    for (size_t folderLength : {MAX_PATH - 15, MAX_PATH - 14}) {
        const std::string deep = dir.path() + kPathSeparator + std::string(folderLength - dir.path().size() - 2, 'd');
        std::filesystem::create_directory(deep);
        const std::string deepPath = deep + kPathSeparator + "o.bin";
        HANDLE file = BeginOutput(deepPath.c_str(), source.c_str(), FALSE);
        const DWORD deepError = GetLastError();
        EXPECT_EQ(folderLength < MAX_PATH - 14, file != INVALID_HANDLE_VALUE) << folderLength;
        if (file == INVALID_HANDLE_VALUE) {
            EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, deepError);
        }
        EndOutput(FALSE);
        EXPECT_EQ(0, std::distance(std::filesystem::directory_iterator(deep), {}));
    }
}

// Natively, what could steer a terminal is written as \xNN; on Windows a name is shown as it is.
TEST(ShowablePathTest, ControlBytesAndBrokenUtf8AreEscaped)
{
    const struct { const char *name, *shown; } cases[] = {
        {"plain ア.bin", "plain ア.bin"},
        {"\x1b[31m\x7f\x01", "\\x1b[31m\\x7f\\x01"},
        {"\xc2\x9b" "c1 \xc2\xa0" "nbsp", "\\xc2\\x9bc1 \xc2\xa0nbsp"},
        {"\xf0\x9f\x98\x80 \xf4\x90\x80\x80", "\xf0\x9f\x98\x80 \\xf4\\x90\\x80\\x80"},
        {"\xc0\x80 \xe0\x80\x80 \xed\xa0\x80 \xff \xed\x9f\xbf", "\\xc0\\x80 \\xe0\\x80\\x80 \\xed\\xa0\\x80 \\xff \xed\x9f\xbf"},
        {"cut \xe3\x81", "cut \\xe3\\x81"},
    };
    for (const auto &row : cases) {
        char shown[SHOWN_PATH_SIZE];
        ShowablePath(row.name, shown);
        EXPECT_EQ(kPathSeparator == '\\' ? row.name : row.shown, std::string(shown));
    }
    // A name longer than the buffer is cut at its end, after an escape that just fits.
    char shown[SHOWN_PATH_SIZE];
    const std::string full(SHOWN_PATH_SIZE - 1, 'a'), roomForEscape(SHOWN_PATH_SIZE - 5, 'a');
    ShowablePath((full + "b").c_str(), shown);
    EXPECT_EQ(full, std::string(shown));
    ShowablePath((roomForEscape + "\x01" "b").c_str(), shown);
    EXPECT_EQ(kPathSeparator == '\\' ? roomForEscape + "\x01" "b" : roomForEscape + "\\x01", std::string(shown));
}
