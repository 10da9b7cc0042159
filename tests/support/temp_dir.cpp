#include "temp_dir.h"

#include "platform/path_rules.h"

#include <atomic>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

#ifdef _WIN32

fs::path FsPath(const std::string &path)
{
    std::wstring wide(path.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, path.data(), (int)path.size(), wide.data(), (int)wide.size()));
    return wide;
}

std::string NarrowPath(const fs::path &path)
{
    const std::wstring &wide = path.native();
    std::string narrow(2 * wide.size(), '\0');
    narrow.resize(WideCharToMultiByte(CP_ACP, 0, wide.data(), (int)wide.size(), narrow.data(), (int)narrow.size(),
                                      NULL, NULL));
    return narrow;
}

#else

fs::path FsPath(const std::string &path)
{
    return path;
}

std::string NarrowPath(const fs::path &path)
{
    return path.native();
}

#endif

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    fs::path base = fs::temp_directory_path();
    fs::path candidate;
    do
        candidate = base / ("zorvik-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    while (!fs::create_directory(candidate));
    path_ = NarrowPath(candidate);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::path root = FsPath(path_);
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write | fs::perms::owner_read, fs::perm_options::add, ec);
    fs::remove_all(root, ec);
}

std::string TempDir::operator/(const std::string &name) const
{
    return path_ + kPathSeparator + name;
}
