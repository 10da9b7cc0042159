#ifndef ZORVIK_SETTINGS_SETTINGS_H
#define ZORVIK_SETTINGS_SETTINGS_H

#include "notify/notifications.h"

#define SETTINGS_FILE_NAME "zorvik.ini"
#define MODE_APPLY 0
#define MODE_CREATE 1
#define MODE_COUNT 2

// The remembered values of one run, indexed by mode (MODE_APPLY, MODE_CREATE).
struct Settings {
    char firstDir[MODE_COUNT][PATH_BUFFER_SIZE];   // INITDIR P1M0, P1M1
    char secondDir[MODE_COUNT][PATH_BUFFER_SIZE];  // INITDIR P2M0, P2M1
    int alwaysOnTop;                               // OPTION ALWAYSONTOP, non-zero = on
};

// The process-wide record: empty and zero until LoadSettings. Only the
// window thread uses it.
Settings *ProcessSettings(void);

// Reads the five keys from zorvik.ini beside the executable into the record;
// missing values take their defaults (empty, 0).
void LoadSettings(void);
// Writes the five keys from the record; every other line of the file stays.
// A failed write is ignored.
void SaveSettings(void);

int ReadSettingInt(const char *section, const char *key, int defaultValue);
void ReadSettingString(const char *section, const char *key, const char *defaultValue, char *dest,
                       DWORD destSize);
void WriteSettingString(const char *section, const char *key, const char *text);
void WriteSettingInt(const char *section, const char *key, int value);

#endif
