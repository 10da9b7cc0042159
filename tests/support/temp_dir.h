#ifndef ZORVIK_TESTS_SUPPORT_TEMP_DIR_H
#define ZORVIK_TESTS_SUPPORT_TEMP_DIR_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// A path as the A functions spell it (in the system's code page) as a
// std::filesystem path, and back. The standard library's own conversions take
// narrow paths for UTF-8 or Latin-1 on Windows, not Shift-JIS.
std::filesystem::path FsPath(const std::string &path);
std::string NarrowPath(const std::filesystem::path &path);

// A fresh, empty directory for one test, removed with everything in it at the
// end (read-only marks are lifted first).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // The directory joined with name, using the platform's separator.
    std::string operator/(const std::string &name) const;

private:
    std::string path_;
};

class TempDirTest : public ::testing::Test {
protected:
    TempDir dir;
};

#endif
