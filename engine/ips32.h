// The IPS32 patch format: "IPS32", records with 32-bit big-endian offsets,
// then "EEOF".
#ifndef ZORVIK_ENGINE_IPS32_H
#define ZORVIK_ENGINE_IPS32_H

#define IPS32_MAGIC "IPS32"
#define IPS32_MAGIC_SIZE 5
#define IPS32_TERMINATOR "EEOF"
#define IPS32_TERMINATOR_SIZE 4
// The one offset no record can begin at: its bytes read as the terminator.
#define IPS32_TERMINATOR_OFFSET 0x45454F46u
// Most data bytes, or run bytes, that one record carries.
#define IPS32_MAX_RECORD_SIZE 65535u

#endif
