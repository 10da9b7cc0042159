// libFuzzer target: arbitrary bytes as a patch. A finding: a result or target the model does
// not give, bad progress or text, a changed patch, another file, or inspection that disagrees.
#include "engine/engine.h"
#include "notify/notifications.h"
#include "../engine/apply_model.h"
#include "fuzz_support.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const fs::path dir = MakeScratchDir();
    const fs::path patchPath = dir / "patch.ips";
    const fs::path targetPath = dir / "target.bin";
    const Bytes patch(data, data + size);
    Bytes target(64);
    for (size_t i = 0; i < target.size(); ++i)
        target[i] = (unsigned char)(i * 7 + 1);
    WriteFileBytes(patchPath, patch);
    WriteFileBytes(targetPath, target);

    ModelResult model = ApplyModel(target, patch, 1u << 16);
    PatchSummary summary;
    if ((InspectPatch(patchPath.c_str(), &summary, NULL, NULL) != 0) != model.applies)
        Finding("inspection differs from the format's rules");
    const BOOL applied = IsPatchApplied(patchPath.c_str(), targetPath.c_str());

    TextBuffer buffer;
    BOOL result = ApplyPatch(targetPath.c_str(), patchPath.c_str(), buffer.text, ENGINE_TEXT_SIZE, ProgressWindow(),
                             WM_JOB_PROGRESS);

    CheckTextAndProgress(buffer);
    if (ReadFileBytes(patchPath) != patch)
        Finding("the patch changed");
    int files = 0;
    for (const auto &entry : fs::directory_iterator(dir))
        files += entry.path() == patchPath || entry.path() == targetPath ? 1 : 1000;
    if (files != 2)
        Finding("a file other than the target appeared or disappeared");
    if (result != (model.applies ? 1 : 0))
        Finding("result differs from the format's rules");
    if (model.fits && ReadFileBytes(targetPath) != model.target)
        Finding("target differs from the format's rules");
    if (applied && (!result || ReadFileBytes(targetPath) != target))
        Finding("a patch that changes the target was taken as applied");
    fs::remove_all(dir);
    return 0;
}
