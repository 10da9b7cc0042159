// Recognising a patch by its magic.
#include "engine/ips32.h"
#include "bytes.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

TEST(IsIps32FileTest, OnlyFilesThatStartWithTheMagicArePatches)
{
    TempDir dir;
    const std::string path = dir / "file.ips";
    std::vector<std::pair<std::string, BOOL>> cases = {
        {"IPS32", 1}, {"IPS32EEOF", 1}, {"", 0}, {"IPS3", 0}, {"ips32EEOF", 0}};
    for (size_t at = 0; at < 5; ++at)  // one byte of the magic off by one bit
        cases.push_back({std::string("IPS32EEOF").replace(at, 1, 1, (char)("IPS32"[at] ^ 1)), 0});
    for (const auto &[content, expected] : cases) {
        WriteFileBytes(path, ToBytes(content));
        EXPECT_EQ(expected, IsIps32File(path.c_str())) << content;
    }
    EXPECT_EQ(0, IsIps32File(NULL));
    EXPECT_EQ(0, IsIps32File((dir / "missing.ips").c_str()));
    EXPECT_EQ(0, IsIps32File(dir.path().c_str()));
}
