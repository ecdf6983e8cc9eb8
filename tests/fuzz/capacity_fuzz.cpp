// The drive capacity arithmetic and its line: the decimal text is the signed
// 64-bit value, the mebibytes its arithmetic shift, and the whole line fits.
#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "probes/system/system_text.h"
#include "report/format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    struct {
        int64_t cylinders;
        uint32_t tracks, sectors, bytes;
    } geometry = {};
    memcpy(&geometry, data, size < sizeof geometry ? size : sizeof geometry);

    const uint64_t capacity = DriveCapacity(geometry.cylinders, geometry.tracks, geometry.sectors, geometry.bytes);
    const uint64_t expected = static_cast<uint64_t>(geometry.bytes) * geometry.sectors * geometry.tracks *
                              static_cast<uint64_t>(geometry.cylinders);
    if (capacity != expected) abort();

    const CapacityParts parts = DescribeCapacity(capacity);
    char decimal[32];
    snprintf(decimal, sizeof decimal, "%" PRId64, static_cast<int64_t>(capacity));
    if (strcmp(parts.decimal, decimal) != 0) abort();
    if (parts.megabytes != static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(capacity) >> 20))) abort();
    if (parts.high != static_cast<uint32_t>(capacity >> 32) || parts.low != static_cast<uint32_t>(capacity)) abort();

    char line[kLineBufferSize];
    char reference[kLineBufferSize];
    FormatLine(line, sizeof line, "Total Capacity: %s [%d MB] [0x%x %.8x]", parts.decimal, parts.megabytes,
               parts.high, parts.low);
    snprintf(reference, sizeof reference, "Total Capacity: %s [%d MB] [0x%x %.8x]", parts.decimal, parts.megabytes,
             parts.high, parts.low);
    if (strcmp(line, reference) != 0) abort();
    return 0;
}
