// The engine side of bench/run.sh: makes the benchmark's files from a seed and
// runs one engine operation per call, so that the script times it like the
// other commands. Each run also checks the progress the engine reports: from 0
// up in steps of at least 5, never above 100, ending at 100; and prints the
// process's peak memory in KiB.
//   engine_bench data DIR MIB SEED          original.bin, modified.bin, short.bin, blocks.bin, worst.bin
//   engine_bench pair DIR MIB SEED          original.bin, modified.bin, short.bin
//   engine_bench create ORIGINAL MODIFIED PATCH
//   engine_bench create-smallest ORIGINAL MODIFIED PATCH
//   engine_bench apply TARGET PATCH
//   engine_bench copy-apply SOURCE TARGET PATCH   copy, then apply, as the apply job does
//   engine_bench compiler
#include "engine/engine.h"
#include "notify/notifications.h"
#include "platform/output.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

static uint64_t NextRandom(uint64_t &state)
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

static bool WriteWhole(const std::string &path, const std::vector<unsigned char> &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    bool written = file != NULL && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return file != NULL && fclose(file) == 0 && written;
}

// Changes a copy of original in about 1% of its bytes, in stretches of 1 to
// longest bytes spread evenly, half of them one repeated value.
static std::vector<unsigned char> Scattered(const std::vector<unsigned char> &original, size_t longest,
                                            uint64_t &seed)
{
    std::vector<unsigned char> changed = original;
    const size_t size = original.size();
    for (size_t at = NextRandom(seed) % (longest * 50); at < size; at += 1 + NextRandom(seed) % (longest * 99)) {
        size_t length = 1 + NextRandom(seed) % longest;
        unsigned char value = (unsigned char)NextRandom(seed);
        bool repeated = NextRandom(seed) % 2 == 0;
        for (size_t i = at; i < at + length && i < size; ++i)
            changed[i] = repeated ? value : (unsigned char)(original[i] ^ (1 + NextRandom(seed) % 255));
        at += length;
    }
    return changed;
}

// A random original; modified files with about 1% of its bytes changed in
// stretches of 1 to 512 bytes and of 1 to 8 bytes (Scattered); and, unless
// pairOnly, large blocks: about 10% of the bytes changed in stretches of 64
// KiB to 1 MiB (half one repeated value, half random bytes) and 1/16 more at
// the end; and a worst case with every other byte changed.
static int MakeData(const std::string &dir, size_t mib, uint64_t seed, bool pairOnly)
{
    const size_t size = mib << 20;
    std::vector<unsigned char> original(size);
    for (size_t i = 0; i + 8 <= size; i += 8) {
        uint64_t value = NextRandom(seed);
        memcpy(&original[i], &value, 8);
    }
    std::vector<unsigned char> changed = Scattered(original, 512, seed);
    bool written = WriteWhole(dir + "/original.bin", original) && WriteWhole(dir + "/modified.bin", changed);
    if (written && !pairOnly) {
        changed = original;
        changed.resize(size + size / 16);
        for (size_t at = NextRandom(seed) % (4u << 20); at < changed.size(); at += NextRandom(seed) % (10u << 20)) {
            size_t length = (64u << 10) + NextRandom(seed) % (960u << 10);
            unsigned char value = (unsigned char)NextRandom(seed);
            bool repeated = NextRandom(seed) % 2 == 0;
            for (size_t i = at; i < at + length && i < changed.size(); ++i)
                changed[i] = repeated ? value : (unsigned char)NextRandom(seed);
            at += length;
        }
        for (size_t i = size; i < changed.size(); ++i)
            changed[i] = (unsigned char)NextRandom(seed);
        written = WriteWhole(dir + "/blocks.bin", changed);
        changed = original;
        for (size_t i = 0; i < size; i += 2)
            changed[i] ^= 0x5A;
        written = written && WriteWhole(dir + "/worst.bin", changed);
    }
    // Last, so that the files before are what they were before it came.
    written = written && WriteWhole(dir + "/short.bin", Scattered(original, 8, seed));
    if (!written) {
        fprintf(stderr, "cannot write the files in %s\n", dir.c_str());
        return 1;
    }
    return 0;
}

// A window on a thread of its own that keeps the progress values it is sent.
class ProgressWindow {
public:
    ProgressWindow()
    {
        std::unique_lock<std::mutex> guard(lock_);
        thread_ = std::thread([this] { Run(); });
        ready_.wait(guard, [this] { return window_ != NULL; });
    }
    ~ProgressWindow()
    {
        PostMessageA(window_, WM_CLOSE, 0, 0);
        thread_.join();
    }
    HWND handle() const { return window_; }

    // Empty when the values rose as they must, else what was wrong.
    std::string Check() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (values_.size() < 2 || values_.front() != 0 || values_.back() != 100)
            return "progress does not run from 0 to 100";
        for (size_t i = 1; i + 1 < values_.size(); ++i)
            if (values_[i] < values_[i - 1] + 5 || values_[i] > 100)
                return "progress step " + std::to_string(values_[i - 1]) + " to " + std::to_string(values_[i]);
        if (values_.size() > 22)
            return "more than 22 progress notifications";
        return "";
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        ProgressWindow *self = (ProgressWindow *)GetWindowLongPtrA(window, GWLP_USERDATA);
        if (message == WM_CLOSE) {
            DestroyWindow(window);
            PostQuitMessage(0);
            return 0;
        }
        if (message != WM_JOB_PROGRESS || self == NULL)
            return DefWindowProcA(window, message, wParam, lParam);
        std::lock_guard<std::mutex> guard(self->lock_);
        self->values_.push_back((DWORD)wParam);
        return 0;
    }

    void Run()
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = Procedure;
        windowClass.lpszClassName = "ZorvikBenchProgress";
        RegisterClassA(&windowClass);
        HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)this);
        {
            std::lock_guard<std::mutex> guard(lock_);
            window_ = window;
        }
        ready_.notify_one();
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0) > 0)
            DispatchMessageA(&msg);
    }

    mutable std::mutex lock_;
    std::condition_variable ready_;
    std::vector<DWORD> values_;
    HWND window_ = NULL;
    std::thread thread_;
};

static int Finish(BOOL result, const char *text, const ProgressWindow &window)
{
    if (!result) {
        fprintf(stderr, "%s\n", text);
        return 1;
    }
    std::string wrong = window.Check();
    if (!wrong.empty()) {
        fprintf(stderr, "%s\n", wrong.c_str());
        return 1;
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    printf("%ld\n", usage.ru_maxrss);
    return 0;
}

int main(int argc, char **argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    char text[ENGINE_TEXT_SIZE] = "";
    if ((command == "data" || command == "pair") && argc == 5)
        return MakeData(argv[2], strtoul(argv[3], NULL, 10), strtoull(argv[4], NULL, 10), command == "pair");
    if (command == "compiler" && argc == 2) {
#ifdef __clang__
        printf("clang %s\n", __clang_version__);
#else
        printf("gcc %s\n", __VERSION__);
#endif
        return 0;
    }
    if (command == "create" && argc == 5) {
        ProgressWindow window;
        BOOL result = CreatePatch(argv[2], argv[3], argv[4], text, sizeof text, window.handle(), WM_JOB_PROGRESS, NULL);
        return Finish(result, text, window);
    }
    if (command == "create-smallest" && argc == 5) {
        ProgressWindow window;
        BOOL result =
            CreateSmallestPatch(argv[2], argv[3], argv[4], text, sizeof text, window.handle(), WM_JOB_PROGRESS, NULL);
        return Finish(result, text, window);
    }
    if (command == "apply" && argc == 4) {
        ProgressWindow window;
        return Finish(ApplyPatch(argv[2], argv[3], text, sizeof text, window.handle(), WM_JOB_PROGRESS), text, window);
    }
    if (command == "copy-apply" && argc == 5) {
        ProgressWindow window;
        HANDLE copy = BeginOutput(argv[3], argv[2], TRUE);
        if (copy == INVALID_HANDLE_VALUE || CopyIntoOutput(copy, argv[2]) != kCopied) {
            EndOutput(FALSE);
            fprintf(stderr, "cannot copy %s\n", argv[2]);
            return 1;
        }
        BOOL patched = ApplyPatchTo(copy, argv[3], argv[4], text, sizeof text, window.handle(), WM_JOB_PROGRESS);
        return Finish(EndOutput(patched) && patched, text, window);
    }
    fprintf(stderr, "usage: %s data|pair DIR MIB SEED | create ORIGINAL MODIFIED PATCH |"
                    " create-smallest ORIGINAL MODIFIED PATCH | apply TARGET PATCH |"
                    " copy-apply SOURCE TARGET PATCH | compiler\n", argv[0]);
    return 2;
}
