#include "report/format.h"

#include <stdint.h>
#include <string.h>

namespace {

class Sink {
public:
    Sink(char* buf, size_t size) : buf_(buf), room_(size - 1), len_(0) {}
    void Put(char c) {
        if (len_ < room_) buf_[len_++] = c;
    }
    void Repeat(char c, int count) {
        while (count-- > 0) Put(c);
    }
    void Write(const char* s, size_t n) {
        size_t take = room_ - len_;
        if (n < take) take = n;
        memcpy(buf_ + len_, s, take);
        len_ += take;
    }
    size_t Finish() {
        buf_[len_] = '\0';
        return len_;
    }

private:
    char* buf_;
    size_t room_;
    size_t len_;
};

// Writes the digits of magnitude in base, at least `minimum` of them, after prefix.
void EmitInteger(Sink& out, const char* prefix, uint64_t magnitude, unsigned base, int minimum) {
    char digits[24];
    int n = 0;
    for (uint64_t v = magnitude; v != 0; v /= base) digits[n++] = "0123456789abcdef"[v % base];
    if (minimum < 1) minimum = 1;
    out.Write(prefix, strlen(prefix));
    out.Repeat('0', minimum - n);
    while (n > 0) out.Put(digits[--n]);
}

// Exact decimal expansion of a finite non-negative double:
// value = 0.d[0]d[1]...d[count-1] x 10^point, d[0] != 0 unless count == 0 (zero).
struct Decimal {
    char d[800];
    int count;
    int point;
};

void ToDecimal(double value, Decimal& dec) {
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    const int field = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mant = bits & ((uint64_t(1) << 52) - 1);
    int exp2 = -1074;
    if (field != 0) {
        mant |= uint64_t(1) << 52;
        exp2 = field - 1075;
    }
    dec.count = 0;
    dec.point = 0;
    if (mant == 0) return;

    // Big integer in base 10^9, least significant limb first.
    const uint32_t kBase = 1000000000u;
    uint32_t limb[100];
    int limbs = 0;
    for (uint64_t m = mant; m != 0; m /= kBase) limb[limbs++] = static_cast<uint32_t>(m % kBase);

    auto multiply = [&](uint32_t factor) {
        uint64_t carry = 0;
        for (int i = 0; i < limbs; ++i) {
            uint64_t v = uint64_t(limb[i]) * factor + carry;
            limb[i] = static_cast<uint32_t>(v % kBase);
            carry = v / kBase;
        }
        while (carry != 0) {
            limb[limbs++] = static_cast<uint32_t>(carry % kBase);
            carry /= kBase;
        }
    };
    int scale = 0;  // value = integer x 10^-scale
    if (exp2 >= 0) {
        for (int k = exp2; k > 0; k -= 29) multiply(uint32_t(1) << (k < 29 ? k : 29));
    } else {
        // m / 2^k == m * 5^k / 10^k
        scale = -exp2;
        int k = scale;
        for (; k >= 13; k -= 13) multiply(1220703125u);  // 5^13
        uint32_t rest = 1;
        while (k-- > 0) rest *= 5;
        multiply(rest);
    }

    char text[12];
    int len = 0;
    for (uint32_t v = limb[limbs - 1]; v != 0; v /= 10) text[len++] = static_cast<char>('0' + v % 10);
    for (int i = 0; i < len; ++i) dec.d[dec.count++] = text[len - 1 - i];
    for (int i = limbs - 2; i >= 0; --i) {
        uint32_t v = limb[i];
        for (int j = 8; j >= 0; --j) {
            dec.d[dec.count + j] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
        dec.count += 9;
    }
    dec.point = dec.count - scale;
    while (dec.count > 0 && dec.d[dec.count - 1] == '0') dec.count--;
}

// Keeps the first `keep` digits, rounding half away from zero on the exact expansion.
void Round(Decimal& dec, int keep) {
    if (dec.count == 0 || keep >= dec.count) return;
    const bool up = dec.d[keep] >= '5';
    dec.count = keep;
    if (up) {
        int i = keep - 1;
        while (i >= 0 && dec.d[i] == '9') i--;
        if (i < 0) {
            dec.d[0] = '1';
            dec.count = 1;
            dec.point++;
            return;
        }
        dec.d[i]++;
        dec.count = i + 1;
    }
    while (dec.count > 0 && dec.d[dec.count - 1] == '0') dec.count--;
}

char DigitAt(const Decimal& dec, int index) {
    return (index >= 0 && index < dec.count) ? dec.d[index] : '0';
}

// Appends the e-style body: d.ddd e+XXX with `precision` fraction digits.
int ExponentBody(const Decimal& dec, int precision, char* body) {
    int n = 0;
    body[n++] = DigitAt(dec, 0);
    if (precision > 0) body[n++] = '.';
    for (int i = 1; i <= precision; ++i) body[n++] = DigitAt(dec, i);
    int exponent = dec.count == 0 ? 0 : dec.point - 1;
    body[n++] = 'e';
    body[n++] = exponent < 0 ? '-' : '+';
    if (exponent < 0) exponent = -exponent;
    char digits[8];
    int k = 0;
    for (; exponent != 0; exponent /= 10) digits[k++] = static_cast<char>('0' + exponent % 10);
    while (k < 3) digits[k++] = '0';
    while (k > 0) body[n++] = digits[--k];
    return n;
}

int FixedBody(const Decimal& dec, int precision, char* body) {
    int n = 0;
    if (dec.count == 0 || dec.point <= 0) {
        body[n++] = '0';
    } else {
        for (int i = 0; i < dec.point; ++i) body[n++] = DigitAt(dec, i);
    }
    if (precision > 0) body[n++] = '.';
    for (int i = 1; i <= precision; ++i) body[n++] = DigitAt(dec, dec.point + i - 1);
    return n;
}

// "%g" with six significant digits; trailing zeros go.
void EmitFloat(Sink& out, double value) {
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    if (bits >> 63) out.Put('-');
    if (((bits >> 52) & 0x7FF) == 0x7FF) {
        const char* text = (bits & ((uint64_t(1) << 52) - 1)) ? "1.#QNAN" : "1.#INF";
        out.Write(text, strlen(text));
        return;
    }
    if (bits >> 63) value = -value;

    static Decimal dec;  // the one thread formats one line at a time
    ToDecimal(value, dec);
    const int precision = 6;
    Round(dec, precision);
    const int exponent = dec.count == 0 ? 0 : dec.point - 1;
    char body[32];
    int n = exponent < -4 || exponent >= precision ? ExponentBody(dec, precision - 1, body)
                                                    : FixedBody(dec, precision - 1 - exponent, body);
    int exp = 0;
    while (exp < n && body[exp] != 'e') exp++;
    if (memchr(body, '.', exp) != nullptr) {
        int cut = exp;
        while (body[cut - 1] == '0') cut--;
        if (body[cut - 1] == '.') cut--;
        memmove(body + cut, body + exp, n - exp);
        n = cut + (n - exp);
    }
    out.Write(body, n);
}

}  // namespace

size_t FormatLineV(char* buf, size_t size, const char* format, va_list args) {
    Sink out(buf, size);
    va_list ap;
    va_copy(ap, args);
    const char* p = format;
    while (*p) {
        if (*p != '%') {
            const char* start = p;
            while (*p && *p != '%') p++;
            out.Write(start, p - start);
            continue;
        }
        p++;
        int precision = -1;
        if (*p == '.') {
            precision = 0;
            for (p++; *p >= '0' && *p <= '9'; p++)
                if (precision < 100000) precision = precision * 10 + (*p - '0');
        }
        const char conv = *p;
        if (conv == '\0') break;
        p++;
        switch (conv) {
        case 'd': {
            const int32_t v = va_arg(ap, int32_t);
            EmitInteger(out, v < 0 ? "-" : "", v < 0 ? 0 - static_cast<uint64_t>(v) : v, 10, precision);
            break;
        }
        case 'u':
            EmitInteger(out, "", va_arg(ap, uint32_t), 10, precision);
            break;
        case 'x':
            EmitInteger(out, "", va_arg(ap, uint32_t), 16, precision);
            break;
        case 's': {
            const char* s = va_arg(ap, const char*);
            if (!s) s = "(null)";
            out.Write(s, strlen(s));
            break;
        }
        case 'g':
            EmitFloat(out, va_arg(ap, double));
            break;
        default:
            out.Put(conv);
            break;
        }
    }
    va_end(ap);
    return out.Finish();
}

size_t unchecked::FormatLine(char* buf, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const size_t n = FormatLineV(buf, size, format, args);
    va_end(args);
    return n;
}
