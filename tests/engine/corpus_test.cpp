// Replays the saved patches of tests/corpus (seeds and the fuzzer's findings)
// against a small target: good-* apply, bad-* fail, and each leaves in the
// target what the format's rules say.
#include "apply_model.h"
#include "engine_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(CorpusReplay, EveryPatchHasItsExpectedOutcome)
{
    TempDir dir;
    const Bytes target = RandomBytes(64, 1);
    int replayed = 0;
    for (const auto &entry : std::filesystem::directory_iterator(ZORVIK_CORPUS_DIR)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".ips")
            continue;
        SCOPED_TRACE(name);
        const Bytes patch = ReadFileBytes(entry.path().string());
        const EngineOutcome outcome = ApplyBytes(dir, target, patch);
        const ModelResult model = ApplyModel(target, patch);
        EXPECT_EQ(model.applies ? 1 : 0, outcome.result) << outcome.text;
        if (name.rfind("good-", 0) == 0 || name.rfind("bad-", 0) == 0) {
            EXPECT_EQ(name[0] == 'g', model.applies);
        }
        EXPECT_TRUE(!model.fits || model.target == outcome.output);
        ++replayed;
    }
    EXPECT_GE(replayed, 20);
}
