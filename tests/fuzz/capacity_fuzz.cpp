// The drive capacity line against long multiplication in decimal: the low 64 bits
// of the exact product, read back by halving, must be what the line spells out.
#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "probes/system/system_text.h"

namespace {

typedef std::vector<int> Digits;  // decimal, least significant first

Digits Times(const Digits& a, uint64_t factor) {
    Digits f;
    for (; factor != 0; factor /= 10) f.push_back(static_cast<int>(factor % 10));
    Digits out(a.size() + f.size() + 1, 0);
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = 0; j < f.size(); ++j) out[i + j] += a[i] * f[j];
    for (size_t i = 0; i + 1 < out.size(); ++i) {
        out[i + 1] += out[i] / 10;
        out[i] %= 10;
    }
    return out;
}

// The low 64 bits, one remainder of a halving at a time.
uint64_t Low64(Digits n) {
    uint64_t bits = 0;
    for (int bit = 0; bit < 64; ++bit) {
        int carry = 0;
        for (size_t i = n.size(); i-- > 0;) {
            const int value = carry * 10 + n[i];
            n[i] = value / 2;
            carry = value % 2;
        }
        bits |= static_cast<uint64_t>(carry) << bit;
    }
    return bits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    struct {
        int64_t cylinders;
        uint32_t tracks, sectors, bytes;
    } geometry = {};
    memcpy(&geometry, data, size < sizeof geometry ? size : sizeof geometry);

    // Negative cylinders are the 64-bit pattern read as unsigned: add 2^64, the same modulo 2^64.
    Digits exact = Times(Times(Times(Digits{1}, geometry.bytes), geometry.sectors), geometry.tracks);
    exact = Times(exact, static_cast<uint64_t>(geometry.cylinders));
    const uint64_t expected = Low64(exact);

    const uint64_t capacity = DriveCapacity(geometry.cylinders, geometry.tracks, geometry.sectors, geometry.bytes);
    if (capacity != expected) abort();
    const CapacityParts parts = DescribeCapacity(capacity);
    char decimal[32];
    snprintf(decimal, sizeof decimal, "%" PRId64, static_cast<int64_t>(expected));
    if (strcmp(parts.decimal, decimal) != 0) abort();
    // Bits 20 to 51 are the low half of the capacity shifted by 20, whatever the sign.
    if (static_cast<uint32_t>(parts.megabytes) != ((expected >> 20) & 0xFFFFFFFFu)) abort();
    if (parts.high != expected >> 32 || parts.low != (expected & 0xFFFFFFFFu)) abort();
    return 0;
}
