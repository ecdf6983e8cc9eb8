// The line formatter against the C library's snprintf, over the report's own
// formats: same text (apart from the three-digit exponent), always terminated,
// never longer than the buffer allows.
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "report/format.h"

namespace {

// Argument kinds: s text, d int32, u uint32, g double.
struct Format {
    const char* format;
    const char* kinds;
};

const Format kFormats[] = {
    {"%s", "s"}, {"%s:%s", "ss"}, {"Version: %s", "s"}, {"Unkown 0x%x", "u"}, {"Hard Drive %d", "d"},
    {"MaxTextureWidth : %u", "u"}, {"MaxVertexW: %g", "g"}, {"%dx%d @ %d Hz %d bpp", "dddd"},
    {"%dx%d @ %d Hz [FMT:0x%x]", "dddu"}, {"Available Texture Memory: %d [%d MB]", "dd"},
    {"VertexShaderVersion: [%d.%d] %u", "ddu"}, {"Total Capacity: %s [%d MB] [0x%x %.8x]", "sduu"},
};

const size_t kSizes[] = {1, 2, 3, 8, 64, kLineBufferSize};

struct Input {
    const uint8_t* data;
    size_t size;
    template <class T>
    T Take() {
        T value = 0;
        const size_t n = size < sizeof value ? size : sizeof value;
        memcpy(&value, data, n);
        data += n;
        size -= n;
        return value;
    }
    std::string Text() {
        // Up to 256 KiB: lengths come in steps of four bytes of input.
        size_t length = static_cast<size_t>(Take<uint16_t>()) * 4;
        std::string text;
        while (text.size() < length && size > 0) {
            const size_t n = size < length - text.size() ? size : length - text.size();
            text.append(reinterpret_cast<const char*>(data), n);
            data += n;
            size -= n;
        }
        for (char& c : text)
            if (c == '\0') c = '.';
        return text;
    }
};

struct Arg {
    char kind;
    std::string text;
    int32_t whole;
    double real;
};

// Formats with the arguments' static types; varargs need them spelled out.
template <class Sink>
size_t Call(Sink sink, const char* format, const Arg* a, size_t count) {
    std::string kinds;
    for (size_t i = 0; i < count; ++i) kinds += a[i].kind;
    if (kinds == "s") return sink(format, a[0].text.c_str());
    if (kinds == "ss") return sink(format, a[0].text.c_str(), a[1].text.c_str());
    if (kinds == "u" || kinds == "d") return sink(format, a[0].whole);
    if (kinds == "g") return sink(format, a[0].real);
    if (kinds == "dddd" || kinds == "dddu") return sink(format, a[0].whole, a[1].whole, a[2].whole, a[3].whole);
    if (kinds == "dd") return sink(format, a[0].whole, a[1].whole);
    if (kinds == "ddu") return sink(format, a[0].whole, a[1].whole, a[2].whole);
    if (kinds == "sduu") return sink(format, a[0].text.c_str(), a[1].whole, a[2].whole, a[3].whole);
    abort();
}

// The C library's text, its exponent widened to three digits.
std::string Reference(const char* format, const Arg* args, size_t count) {
    std::string out;
    Call(
        [&](const char* f, auto... values) -> size_t {
            const int n = snprintf(nullptr, 0, f, values...);
            out.resize(static_cast<size_t>(n) + 1);
            snprintf(&out[0], out.size(), f, values...);
            out.resize(static_cast<size_t>(n));
            return 0;
        },
        format, args, count);
    // Only "%g" lines, whose number ends the text, have an exponent to widen.
    if (count != 1 || args[0].kind != 'g') return out;
    for (size_t e = out.find('e'); e != std::string::npos; e = out.find('e', e + 1)) {
        if (e + 3 < out.size() && (out[e + 1] == '+' || out[e + 1] == '-') &&
            isdigit(static_cast<unsigned char>(out[e + 2])) && isdigit(static_cast<unsigned char>(out[e + 3])) &&
            (e + 4 == out.size() || !isdigit(static_cast<unsigned char>(out[e + 4]))))
            out.insert(e + 2, "0");
    }
    return out;
}

// True when value's exact expansion lies halfway between two six-digit %g results.
// The report rounds such ties away from zero, as the Windows runtime does; the C
// library here rounds them to even.
bool IsSixDigitTie(double value) {
    char exact[1200];
    snprintf(exact, sizeof exact, "%.1100e", value);
    const char* digits = exact + (exact[0] == '-');
    // d.ddddd then the seventh significant digit onwards.
    if (strlen(digits) < 8 || digits[7] != '5') return false;
    for (const char* p = digits + 8; *p && *p != 'e'; ++p)
        if (*p != '0') return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in = {data, size};
    const Format& format = kFormats[in.Take<uint8_t>() % (sizeof kFormats / sizeof kFormats[0])];
    const size_t room = kSizes[in.Take<uint8_t>() % (sizeof kSizes / sizeof kSizes[0])];
    Arg args[4];
    const size_t count = strlen(format.kinds);
    bool comparable = true;
    for (size_t i = 0; i < count; ++i) {
        args[i].kind = format.kinds[i];
        if (args[i].kind == 's') args[i].text = in.Text();
        else if (args[i].kind == 'g') {
            // The caps values are floats widened to double.
            args[i].real = static_cast<double>(in.Take<float>());
            comparable = comparable && isfinite(args[i].real) && !IsSixDigitTie(args[i].real);
        } else args[i].whole = in.Take<int32_t>();
    }

    char* buffer = static_cast<char*>(malloc(room + 1));
    memset(buffer, 0x5A, room + 1);
    const size_t stored = Call(
        [&](const char* f, auto... values) { return unchecked::FormatLine(buffer, room, f, values...); }, format.format, args,
        count);
    if (buffer[room] != 0x5A) abort();  // wrote past the buffer
    if (memchr(buffer, '\0', room) == nullptr) abort();
    if (stored != strlen(buffer) || stored > room - 1) abort();
    if (comparable) {
        const std::string expected = Reference(format.format, args, count).substr(0, room - 1);
        if (expected != buffer) {
            fprintf(stderr, "format %s: got \"%s\", expected \"%s\"\n", format.format, buffer, expected.c_str());
            abort();
        }
    }
    free(buffer);
    return 0;
}
