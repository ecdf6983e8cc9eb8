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

struct Field {
    bool left = false, plus = false, space = false, alt = false, zero = false;
    int width = 0;
    int precision = -1;
};

// Writes prefix (sign or "0x") and body padded to the field width.
void Emit(Sink& out, const Field& field, const char* prefix, const char* body, size_t bodyLen,
          int leadingZeros, bool zeroPadAllowed) {
    const int prefixLen = static_cast<int>(strlen(prefix));
    const int total = prefixLen + leadingZeros + static_cast<int>(bodyLen);
    int pad = field.width > total ? field.width - total : 0;
    if (field.left) {
        out.Write(prefix, prefixLen);
        out.Repeat('0', leadingZeros);
        out.Write(body, bodyLen);
        out.Repeat(' ', pad);
    } else if (field.zero && zeroPadAllowed) {
        out.Write(prefix, prefixLen);
        out.Repeat('0', pad + leadingZeros);
        out.Write(body, bodyLen);
    } else {
        out.Repeat(' ', pad);
        out.Write(prefix, prefixLen);
        out.Repeat('0', leadingZeros);
        out.Write(body, bodyLen);
    }
}

void EmitInteger(Sink& out, const Field& field, uint64_t magnitude, bool negative, bool isSigned,
                 unsigned base, bool upper, char conv) {
    char digits[24];
    int n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (uint64_t v = magnitude; v != 0; v /= base) digits[n++] = set[v % base];
    if (n == 0 && field.precision != 0) digits[n++] = '0';
    char body[24];
    for (int i = 0; i < n; ++i) body[i] = digits[n - 1 - i];

    const char* prefix = "";
    if (isSigned) {
        if (negative) prefix = "-";
        else if (field.plus) prefix = "+";
        else if (field.space) prefix = " ";
    } else if (field.alt && magnitude != 0 && base == 16) {
        prefix = (conv == 'X') ? "0X" : "0x";
    }
    int zeros = field.precision > n ? field.precision - n : 0;
    if (!isSigned && field.alt && base == 8 && zeros == 0 && (n == 0 || body[0] != '0')) zeros = 1;
    Emit(out, field, prefix, body, n, zeros, field.precision < 0);
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
    if (keep < 0) {
        dec.count = 0;
        return;
    }
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
int ExponentBody(const Decimal& dec, int precision, bool alt, char expChar, char* body) {
    int n = 0;
    body[n++] = DigitAt(dec, 0);
    if (precision > 0 || alt) body[n++] = '.';
    for (int i = 1; i <= precision; ++i) body[n++] = DigitAt(dec, i);
    int exponent = dec.count == 0 ? 0 : dec.point - 1;
    body[n++] = expChar;
    body[n++] = exponent < 0 ? '-' : '+';
    if (exponent < 0) exponent = -exponent;
    char digits[8];
    int k = 0;
    for (; exponent != 0; exponent /= 10) digits[k++] = static_cast<char>('0' + exponent % 10);
    while (k < 3) digits[k++] = '0';
    while (k > 0) body[n++] = digits[--k];
    return n;
}

int FixedBody(const Decimal& dec, int precision, bool alt, char* body) {
    int n = 0;
    if (dec.count == 0 || dec.point <= 0) {
        body[n++] = '0';
    } else {
        for (int i = 0; i < dec.point; ++i) body[n++] = DigitAt(dec, i);
    }
    if (precision > 0 || alt) body[n++] = '.';
    for (int i = 1; i <= precision; ++i) body[n++] = DigitAt(dec, dec.point + i - 1);
    return n;
}

void EmitFloat(Sink& out, const Field& field, double value, char conv) {
    const bool upper = conv == 'E' || conv == 'G' || conv == 'F';
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const char* prefix = negative ? "-" : field.plus ? "+" : field.space ? " " : "";
    if (((bits >> 52) & 0x7FF) == 0x7FF) {
        const char* text = (bits & ((uint64_t(1) << 52) - 1)) ? "1.#QNAN" : "1.#INF";
        Emit(out, field, prefix, text, strlen(text), 0, false);
        return;
    }
    if (negative) value = -value;

    // Bounded so that the body always fits its buffer; longer output is cut anyway.
    int precision = field.precision < 0 ? 6 : field.precision;
    if (precision > 1000) precision = 1000;

    static Decimal dec;  // the one thread formats one line at a time
    ToDecimal(value, dec);
    static char body[2200];
    int n = 0;
    const char expChar = upper ? 'E' : 'e';
    if (conv == 'e' || conv == 'E') {
        Round(dec, precision + 1);
        n = ExponentBody(dec, precision, field.alt, expChar, body);
    } else if (conv == 'f' || conv == 'F') {
        Round(dec, dec.point + precision);
        n = FixedBody(dec, precision, field.alt, body);
    } else {
        if (precision == 0) precision = 1;
        Round(dec, precision);
        const int exponent = dec.count == 0 ? 0 : dec.point - 1;
        if (exponent < -4 || exponent >= precision) {
            n = ExponentBody(dec, precision - 1, field.alt, expChar, body);
        } else {
            n = FixedBody(dec, precision - 1 - exponent, field.alt, body);
        }
        if (!field.alt) {
            int end = n;
            int exp = 0;
            while (exp < n && body[exp] != 'e' && body[exp] != 'E') exp++;
            const bool hasPoint = memchr(body, '.', exp) != nullptr;
            if (hasPoint) {
                int cut = exp;
                while (body[cut - 1] == '0') cut--;
                if (body[cut - 1] == '.') cut--;
                memmove(body + cut, body + exp, end - exp);
                n = cut + (end - exp);
            }
        }
    }
    Emit(out, field, prefix, body, n, 0, true);
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
        Field field;
        for (;; p++) {
            if (*p == '-') field.left = true;
            else if (*p == '+') field.plus = true;
            else if (*p == ' ') field.space = true;
            else if (*p == '#') field.alt = true;
            else if (*p == '0') field.zero = true;
            else break;
        }
        if (*p == '*') {
            field.width = va_arg(ap, int);
            if (field.width < 0) {
                field.left = true;
                field.width = field.width == INT32_MIN ? 0 : -field.width;
            }
            p++;
        } else {
            while (*p >= '0' && *p <= '9') {
                if (field.width < 100000) field.width = field.width * 10 + (*p - '0');
                p++;
            }
        }
        if (*p == '.') {
            p++;
            field.precision = 0;
            if (*p == '*') {
                field.precision = va_arg(ap, int);
                if (field.precision < 0) field.precision = -1;
                p++;
            } else {
                while (*p >= '0' && *p <= '9') {
                    if (field.precision < 100000) field.precision = field.precision * 10 + (*p - '0');
                    p++;
                }
            }
        }
        // Length: hh h l ll L I64 I32 I j z t q
        enum { kInt, kChar, kShort, kLong, kLongLong, kSize } length = kInt;
        bool wide = false;
        bool longDouble = false;
        if (p[0] == 'h' && p[1] == 'h') { length = kChar; p += 2; }
        else if (p[0] == 'h') { length = kShort; p++; }
        else if (p[0] == 'l' && p[1] == 'l') { length = kLongLong; p += 2; }
        else if (p[0] == 'l') { length = kLong; wide = true; p++; }
        else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') { length = kLongLong; p += 3; }
        else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') { length = kInt; p += 3; }
        else if (p[0] == 'I' || p[0] == 'z' || p[0] == 't') { length = kSize; p++; }
        else if (p[0] == 'j' || p[0] == 'q') { length = kLongLong; p++; }
        else if (p[0] == 'L') { longDouble = true; p++; }

        const char conv = *p;
        if (conv == '\0') break;
        p++;
        switch (conv) {
        case 'd':
        case 'i': {
            int64_t v;
            switch (length) {
            case kChar: v = static_cast<signed char>(va_arg(ap, int)); break;
            case kShort: v = static_cast<short>(va_arg(ap, int)); break;
            case kLong: v = va_arg(ap, long); break;
            case kLongLong: v = va_arg(ap, long long); break;
            case kSize: v = static_cast<int64_t>(va_arg(ap, ptrdiff_t)); break;
            default: v = va_arg(ap, int); break;
            }
            const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
            EmitInteger(out, field, magnitude, v < 0, true, 10, false, conv);
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            uint64_t v;
            switch (length) {
            case kChar: v = static_cast<unsigned char>(va_arg(ap, unsigned)); break;
            case kShort: v = static_cast<unsigned short>(va_arg(ap, unsigned)); break;
            case kLong: v = va_arg(ap, unsigned long); break;
            case kLongLong: v = va_arg(ap, unsigned long long); break;
            case kSize: v = va_arg(ap, size_t); break;
            default: v = va_arg(ap, unsigned); break;
            }
            const unsigned base = conv == 'u' ? 10 : conv == 'o' ? 8 : 16;
            EmitInteger(out, field, v, false, false, base, conv == 'X', conv);
            break;
        }
        case 'p': {
            const uintptr_t v = reinterpret_cast<uintptr_t>(va_arg(ap, void*));
            Field fixed = field;
            fixed.precision = static_cast<int>(sizeof(void*) * 2);
            fixed.alt = false;
            EmitInteger(out, fixed, v, false, false, 16, true, 'X');
            break;
        }
        case 'c': {
            const char c = static_cast<char>(va_arg(ap, int));
            Emit(out, field, "", &c, 1, 0, false);
            break;
        }
        case 's': {
            if (wide) {
                const wchar_t* s = va_arg(ap, const wchar_t*);
                if (!s) s = L"(null)";
                size_t n = 0;
                while (s[n] && (field.precision < 0 || n < static_cast<size_t>(field.precision))) n++;
                Field pad = field;
                int fill = field.width > static_cast<int>(n) ? field.width - static_cast<int>(n) : 0;
                if (!pad.left) out.Repeat(' ', fill);
                for (size_t i = 0; i < n; ++i) out.Put(s[i] < 0x80 ? static_cast<char>(s[i]) : '?');
                if (pad.left) out.Repeat(' ', fill);
                break;
            }
            const char* s = va_arg(ap, const char*);
            if (!s) s = "(null)";
            size_t n = 0;
            if (field.precision < 0) {
                n = strlen(s);
            } else {
                const void* end = memchr(s, 0, field.precision);
                n = end ? static_cast<const char*>(end) - s : field.precision;
            }
            Emit(out, field, "", s, n, 0, false);
            break;
        }
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G': {
            const double v = longDouble ? static_cast<double>(va_arg(ap, long double)) : va_arg(ap, double);
            EmitFloat(out, field, v, conv);
            break;
        }
        case 'n':
            // Never stores: a format must not write to memory.
            (void)va_arg(ap, void*);
            break;
        default:
            out.Put(conv);
            break;
        }
    }
    va_end(ap);
    return out.Finish();
}

size_t FormatLine(char* buf, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const size_t n = FormatLineV(buf, size, format, args);
    va_end(args);
    return n;
}
