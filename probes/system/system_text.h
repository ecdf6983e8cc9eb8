// Arithmetic and words of the "Memory" and "Windows" sections. No platform headers.
#pragma once

#include <stdint.h>

// Whole mebibytes of a 32-bit byte count.
uint32_t MegabytesOf(uint32_t bytes);

// Bytes per sector × sectors per track × tracks per cylinder × cylinders, kept to 64 bits.
uint64_t DriveCapacity(int64_t cylinders, uint32_t tracksPerCylinder, uint32_t sectorsPerTrack,
                       uint32_t bytesPerSector);

// What the capacity line shows of a capacity.
struct CapacityParts {
    char decimal[21];   // signed, e.g. "-9223372036854775808"
    int32_t megabytes;  // low 32 bits of the signed capacity shifted right by 20
    uint32_t high;
    uint32_t low;
};
CapacityParts DescribeCapacity(uint64_t capacity);

// The name of a connection flags word that is exactly one known flag, else null.
const char* ConnectionName(uint32_t flags);
const char* TrueFalse(bool value);
