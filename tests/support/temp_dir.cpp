#include "temp_dir.h"

#include "platform/path_rules.h"

#include <atomic>
#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

static void MakeWritable(const fs::path &root)
{
    std::error_code ec;
    fs::permissions(root, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_write | fs::perms::owner_read, fs::perm_options::add, ec);
}

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path candidate = base / ("zorvik-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
        if (fs::create_directory(candidate)) {
            path_ = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    MakeWritable(path_);
    fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string &name) const
{
    return path_ + kPathSeparator + name;
}
