// The IPS32 patch format: "IPS32", records with 32-bit big-endian offsets,
// then "EEOF".
#ifndef ZORVIK_ENGINE_IPS32_H
#define ZORVIK_ENGINE_IPS32_H

#include "platform/win32.h"

#define IPS32_MAGIC "IPS32"
#define IPS32_MAGIC_SIZE 5
#define IPS32_TERMINATOR "EEOF"
#define IPS32_TERMINATOR_SIZE 4
// The one offset no record can begin at: its bytes read as the terminator.
#define IPS32_TERMINATOR_OFFSET 0x45454F46u
// Most data bytes, or run bytes, that one record carries.
#define IPS32_MAX_RECORD_SIZE 65535u

// 1 when the file at path starts with the five bytes "IPS32"; 0 for a null
// path, a file that cannot be opened, or one that starts otherwise.
BOOL IsIps32File(const char *path);

// Writes "IPS32" at the handle's position with one WriteFile; 1 when all five
// bytes were written. The handle stays open.
BOOL WritePatchHeader(HANDLE file);

#endif
