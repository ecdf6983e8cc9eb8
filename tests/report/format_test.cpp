#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <utility>

#include "report/format.h"

namespace {

template <typename... Args>
std::string Format(LineFormatFor<Args...> format, Args... args) {
    char buf[kLineBufferSize];
    FormatLine(buf, sizeof buf, format, args...);
    return buf;
}

// %g as the report prints it: six significant digits, three-digit exponents.
const std::pair<double, const char*> kFloatCases[] = {
    {1e10, "1e+010"},
    {256.0, "256"},
    {0.0, "0"},
    {-0.0, "-0"},
    {1.0, "1"},
    {0.5, "0.5"},
    {1000.0, "1000"},
    {123456.0, "123456"},
    {1234567.0, "1.23457e+006"},
    {999999.5, "1e+006"},
    {0.0001, "0.0001"},
    {0.00001, "1e-005"},
    {1e100, "1e+100"},
    {1e-300, "1e-300"},
    {3.4028234663852886e38, "3.40282e+038"},
    {2394.557861328125, "2394.56"},
    {-1.5, "-1.5"},
    {0.000123456789, "0.000123457"},
    {100000000.0 * 9.99999974737875163555145263671875e-6, "1000"},
    {4.9406564584124654e-324, "4.94066e-324"},
    {2.5e-6, "2.5e-006"},
};

TEST(FormatLine, FloatsMatchTheReportConventions) {
    for (const auto& c : kFloatCases) EXPECT_EQ(Format("%g", c.first), c.second) << c.first;
}

TEST(FormatLine, InfinityAndNaNDoNotCrash) {
    volatile double zero = 0.0;
    EXPECT_EQ(Format("%g", 1.0 / zero), "1.#INF");
    EXPECT_EQ(Format("%g", -1.0 / zero), "-1.#INF");
    EXPECT_NE(Format("%g", zero / zero).find("1.#"), std::string::npos);
}

TEST(FormatLine, IntegersAndTexts) {
    EXPECT_EQ(Format("%d", 0x80000000u), "-2147483648");
    EXPECT_EQ(Format("%d|%d", 0xFFFFFFFFu, 0), "-1|0");
    EXPECT_EQ(Format("%u", 0xFFFFFFFFu), "4294967295");
    EXPECT_EQ(Format("%x", 0x12u), "12");
    EXPECT_EQ(Format("0x%x", 0u), "0x0");
    EXPECT_EQ(Format("%.8x", 0x1234u), "00001234");
    EXPECT_EQ(Format("[0x%x %.8x]", 0xabcdefu, 0xfedcba98u), "[0xabcdef fedcba98]");
    EXPECT_EQ(Format("%s", "a%sb"), "a%sb");
    EXPECT_EQ(Format("%s", static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(Format("100%%"), "100%");
    EXPECT_EQ(Format("VertexShaderVersion: [%d.%d] %u", 1, 1, 0xFFFE0101u),
              "VertexShaderVersion: [1.1] 4294836481");
}

TEST(FormatLine, LongLinesAreCutAt4095) {
    std::string big(70000, 'x');
    char buf[kLineBufferSize];
    memset(buf, 0x55, sizeof buf);
    const size_t n = FormatLine(buf, sizeof buf, "Vendor: %s", big.c_str());
    EXPECT_EQ(n, 4095u);
    EXPECT_EQ(strlen(buf), 4095u);
    EXPECT_EQ(std::string(buf, 8), "Vendor: ");

    char small[8];
    EXPECT_EQ(FormatLine(small, sizeof small, "%d", 123456789), 7u);
    EXPECT_STREQ(small, "1234567");
    EXPECT_EQ(FormatLine(small, 1, "%s", "abc"), 0u);
    EXPECT_STREQ(small, "");
}

// What the build accepts: the formatter's conversions, each given an argument of its kind.
using line_format::Accepts;
static_assert(Accepts<>("Caps") && Accepts<>("100%%") && Accepts<int>("%d%%"));
static_assert(Accepts<int>("%d") && Accepts<unsigned>("%u") && Accepts<unsigned long>("%x"));
static_assert(Accepts<unsigned char>("%d") && Accepts<short>("%d"));  // promoted to int
enum Format22 { kFormat22 = 22 };
static_assert(Accepts<Format22>("[FMT:0x%x]"));
static_assert(Accepts<unsigned, unsigned>("%.8x %.12d") && Accepts<float>("%g") && Accepts<double>("%g"));
static_assert(Accepts<const char*, int, unsigned, unsigned>("Total Capacity: %s [%d MB] [0x%x %.8x]"));
static_assert(Accepts<char*, const char*>("%s:%s"));
// What stops it: another conversion, flag, width or length, a bare precision, a
// precision on a text or number, a '%' at the end, or arguments of other kinds or counts.
static_assert(!Accepts<int>("%5d") && !Accepts<long>("%ld") && !Accepts<int>("%i") && !Accepts<int>("%-d"));
static_assert(!Accepts<int>("%c") && !Accepts<void*>("%p") && !Accepts<int>("%X") && !Accepts<double>("%f"));
static_assert(!Accepts<long long>("%lld") && !Accepts<int>("%*d") && !Accepts<int>("%.d") && !Accepts<int>("%n"));
static_assert(!Accepts<const char*>("%.3s") && !Accepts<double>("%.2g") && !Accepts<>("50%"));
static_assert(!Accepts<long long>("%d") && !Accepts<unsigned long long>("%x") && !Accepts<bool>("%d"));
static_assert(!Accepts<const char*>("%d") && !Accepts<int>("%s") && !Accepts<int>("%g") && !Accepts<double>("%u"));
static_assert(!Accepts<long double>("%g") && !Accepts<const wchar_t*>("%s") && !Accepts<const void*>("%s"));
static_assert(!Accepts<>("%d") && !Accepts<int, int>("%d") && !Accepts<int>("no conversion"));
static_assert(!Accepts<int, const char*>("%s %d"));

TEST(FormatLine, HugePrecisionStaysInBounds) {
    char buf[64];
    memset(buf, 0x55, sizeof buf);
    EXPECT_EQ(FormatLine(buf, sizeof buf - 1, "%.99999x", 1u), 62u);
    EXPECT_EQ(buf[63], 0x55);
}

}  // namespace
