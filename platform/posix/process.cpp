#include "win32_subset.h"

#include <limits.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

// The full path of the running program's executable; empty where it cannot be
// told.
std::string ProgramPath()
{
    char program[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    program[length > 0 ? length : 0] = '\0';
    return program;
}

std::string Quoted(const std::string &word)
{
    return word.find(' ') == std::string::npos ? word : "\"" + word + "\"";
}

// The command line as Windows keeps it: the program's own full path (quoted
// when it holds blanks), then the arguments separated by blanks.
std::string BuildCommandLine()
{
    std::string line = Quoted(ProgramPath());

    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    size_t start = all.find('\0');  // the first word is the program as it was started
    while (start != std::string::npos && start + 1 < all.size()) {
        size_t end = all.find('\0', start + 1);
        line += " " + Quoted(all.substr(start + 1, end - start - 1));
        start = end;
    }
    return line;
}

}  // namespace

LPSTR GetCommandLineA(void)
{
    static std::string line = BuildCommandLine();
    return &line[0];
}

DWORD GetCurrentProcessId(void)
{
    return (DWORD)getpid();
}

DWORD GetTickCount(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (DWORD)((uint64_t)now.tv_sec * 1000 + (uint64_t)now.tv_nsec / 1000000);
}
