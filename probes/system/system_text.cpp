// Arithmetic and words of the "Memory" and "Windows" lines. No platform calls.
#include "probes/system/system_text.h"

uint32_t MegabytesOf(uint32_t bytes) { return bytes >> 20; }

uint64_t DriveCapacity(int64_t cylinders, uint32_t tracksPerCylinder, uint32_t sectorsPerTrack,
                       uint32_t bytesPerSector) {
    return static_cast<uint64_t>(bytesPerSector) * sectorsPerTrack * tracksPerCylinder *
           static_cast<uint64_t>(cylinders);
}

CapacityParts DescribeCapacity(uint64_t capacity) {
    CapacityParts parts;
    const bool negative = (capacity >> 63) != 0;
    uint64_t magnitude = negative ? 0 - capacity : capacity;
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    char* out = parts.decimal;
    if (negative) *out++ = '-';
    while (count > 0) *out++ = digits[--count];
    *out = '\0';

    // Shifted as a signed number: the sign bit is copied in.
    uint64_t shifted = capacity >> 20;
    if (negative) shifted |= ~(~uint64_t(0) >> 20);
    parts.megabytes = static_cast<int32_t>(static_cast<uint32_t>(shifted));
    parts.high = static_cast<uint32_t>(capacity >> 32);
    parts.low = static_cast<uint32_t>(capacity);
    return parts;
}

const char* ConnectionName(uint32_t flags) {
    static const struct {
        uint32_t flags;
        const char* name;
    } kNames[] = {
        {1, "INTERNET_CONNECTION_MODEM"},
        {2, "INTERNET_CONNECTION_LAN"},
        {4, "INTERNET_CONNECTION_PROXY"},
        {8, "INTERNET_CONNECTION_MODEM_BUSY"},
    };
    for (const auto& entry : kNames)
        if (entry.flags == flags) return entry.name;
    return nullptr;
}

const char* TrueFalse(bool value) { return value ? "true" : "false"; }
