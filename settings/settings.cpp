#include "settings.h"

#include "platform/exe_dir.h"

static const char kDirectorySection[] = "INITDIR";
static const char kOptionSection[] = "OPTION";
static const char kAlwaysOnTopKey[] = "ALWAYSONTOP";
// Field 1 or 2, then the mode: P1M0, P2M0, P1M1, P2M1.
static const char kDirectoryKeyFormat[] = "P%dM%d";
// "P%dM%d" with two one-digit numbers, and the terminator.
#define DIRECTORY_KEY_SIZE 8
// A decimal int with its sign, and the terminator.
#define INT_TEXT_SIZE 12

static Settings g_settings;

Settings *ProcessSettings(void)
{
    return &g_settings;
}

// The settings file is looked up anew for every access, beside the executable.
static void SettingsFilePath(char *path)
{
    BuildExeDirPath(path, PATH_BUFFER_SIZE, SETTINGS_FILE_NAME);
}

int ReadSettingInt(const char *section, const char *key, int defaultValue)
{
    char path[PATH_BUFFER_SIZE];
    SettingsFilePath(path);
    return (int)GetPrivateProfileIntA(section, key, defaultValue, path);
}

void ReadSettingString(const char *section, const char *key, const char *defaultValue, char *dest,
                       DWORD destSize)
{
    char path[PATH_BUFFER_SIZE];
    SettingsFilePath(path);
    GetPrivateProfileStringA(section, key, defaultValue, dest, destSize, path);
}

void WriteSettingString(const char *section, const char *key, const char *text)
{
    char path[PATH_BUFFER_SIZE];
    SettingsFilePath(path);
    WritePrivateProfileStringA(section, key, text, path);
}

void WriteSettingInt(const char *section, const char *key, int value)
{
    char text[INT_TEXT_SIZE];
    wsprintfA(text, "%d", value);
    WriteSettingString(section, key, text);
}

static void DirectoryKey(char *key, int field, int mode)
{
    wsprintfA(key, kDirectoryKeyFormat, field, mode);
}

void LoadSettings(void)
{
    Settings *settings = ProcessSettings();
    char key[DIRECTORY_KEY_SIZE];
    for (int mode = 0; mode < MODE_COUNT; ++mode) {
        DirectoryKey(key, 1, mode);
        ReadSettingString(kDirectorySection, key, "", settings->firstDir[mode], PATH_BUFFER_SIZE);
        DirectoryKey(key, 2, mode);
        ReadSettingString(kDirectorySection, key, "", settings->secondDir[mode], PATH_BUFFER_SIZE);
    }
    settings->alwaysOnTop = ReadSettingInt(kOptionSection, kAlwaysOnTopKey, 0);
}

void SaveSettings(void)
{
    const Settings *settings = ProcessSettings();
    char key[DIRECTORY_KEY_SIZE];
    for (int mode = 0; mode < MODE_COUNT; ++mode) {
        DirectoryKey(key, 1, mode);
        WriteSettingString(kDirectorySection, key, settings->firstDir[mode]);
        DirectoryKey(key, 2, mode);
        WriteSettingString(kDirectorySection, key, settings->secondDir[mode]);
    }
    WriteSettingInt(kOptionSection, kAlwaysOnTopKey, settings->alwaysOnTop);
}
