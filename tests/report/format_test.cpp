#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "report/format.h"

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char buf[kLineBufferSize];
    FormatLine(buf, sizeof buf, format, args...);
    return buf;
}

struct FloatCase {
    const char* format;
    double value;
    const char* expected;
};

// %g as the report prints it: six significant digits, three-digit exponents.
const FloatCase kFloatCases[] = {
    {"%g", 1e10, "1e+010"},
    {"%g", 256.0, "256"},
    {"%g", 0.0, "0"},
    {"%g", -0.0, "-0"},
    {"%g", 1.0, "1"},
    {"%g", 0.5, "0.5"},
    {"%g", 1000.0, "1000"},
    {"%g", 123456.0, "123456"},
    {"%g", 1234567.0, "1.23457e+006"},
    {"%g", 999999.5, "1e+006"},
    {"%g", 0.0001, "0.0001"},
    {"%g", 0.00001, "1e-005"},
    {"%g", 1e100, "1e+100"},
    {"%g", 1e-300, "1e-300"},
    {"%g", 3.4028234663852886e38, "3.40282e+038"},
    {"%g", 2394.557861328125, "2394.56"},
    {"%g", 1.5, "1.5"},
    {"%g", 100000000.0 * 9.99999974737875163555145263671875e-6, "1000"},
    {"%g", 4.9406564584124654e-324, "4.94066e-324"},
    {"%G", 1e-10, "1E-010"},
    {"%.3g", 3.14159, "3.14"},
    {"%.0g", 3.7, "4"},
    {"%#g", 1.0, "1.00000"},
    {"%e", 1.0, "1.000000e+000"},
    {"%.2e", 12345.0, "1.23e+004"},
    {"%f", 1.0, "1.000000"},
    {"%.2f", 2.675, "2.67"},  // 2.67499999... exactly
    {"%.0f", 0.5, "1"},       // exact tie rounds away from zero
    {"%.1f", 0.25, "0.3"},
    {"%.3f", -0.0005, "-0.001"},
    {"%8.2f", 3.14159, "    3.14"},
    {"%-8.2f|", 3.14159, "3.14    |"},
    {"%08.2f", -3.14159, "-0003.14"},
    {"%+g", 2.0, "+2"},
};

TEST(FormatLine, FloatsMatchTheReportConventions) {
    for (const FloatCase& c : kFloatCases) {
        EXPECT_EQ(Format(c.format, c.value), c.expected) << c.format << " of " << c.value;
    }
}

TEST(FormatLine, InfinityAndNaNDoNotCrash) {
    volatile double zero = 0.0;
    EXPECT_EQ(Format("%g", 1.0 / zero), "1.#INF");
    EXPECT_EQ(Format("%g", -1.0 / zero), "-1.#INF");
    EXPECT_NE(Format("%g", zero / zero).find("1.#"), std::string::npos);
}

TEST(FormatLine, IntegersFollowPrintf) {
    EXPECT_EQ(Format("%d", 0x80000000u), "-2147483648");
    EXPECT_EQ(Format("%d", 0xFFFFFFFFu), "-1");
    EXPECT_EQ(Format("%u", 0xFFFFFFFFu), "4294967295");
    EXPECT_EQ(Format("%x", 0x12u), "12");
    EXPECT_EQ(Format("0x%x", 0u), "0x0");
    EXPECT_EQ(Format("%.8x", 0x1234u), "00001234");
    EXPECT_EQ(Format("[0x%x %.8x]", 1u, 0u), "[0x1 00000000]");
    EXPECT_EQ(Format("%X", 0xabcu), "ABC");
    EXPECT_EQ(Format("%#x %#o", 255u, 8u), "0xff 010");
    EXPECT_EQ(Format("%5d|%-5d|%05d", 42, 42, -42), "   42|42   |-0042");
    EXPECT_EQ(Format("%+d % d", 5, 5), "+5  5");
    EXPECT_EQ(Format("%I64d", -5000000000LL), "-5000000000");
    EXPECT_EQ(Format("%lld", static_cast<long long>(INT64_MIN)), "-9223372036854775808");
    EXPECT_EQ(Format("%llu", 18446744073709551615ULL), "18446744073709551615");
    EXPECT_EQ(Format("%.0d", 0), "");
    EXPECT_EQ(Format("%hd", 70000), "4464");
    EXPECT_EQ(Format("%*d", 4, 7), "   7");
}

TEST(FormatLine, TextsAndSpecials) {
    EXPECT_EQ(Format("%s", "a%sb"), "a%sb");
    EXPECT_EQ(Format("%.2s", "abc"), "ab");
    EXPECT_EQ(Format("%5s|%-5s|", "ab", "ab"), "   ab|ab   |");
    EXPECT_EQ(Format("%s", static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(Format("%c%c", 'o', 'k'), "ok");
    EXPECT_EQ(Format("100%%"), "100%");
    EXPECT_EQ(Format("VertexShaderVersion: [%d.%d] %u", 1, 1, 0xFFFE0101u),
              "VertexShaderVersion: [1.1] 4294836481");
}

TEST(FormatLine, PercentNStoresNothing) {
    int target = 1234;
    EXPECT_EQ(Format("ab%ncd", &target), "abcd");
    EXPECT_EQ(target, 1234);
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

TEST(FormatLine, HugePrecisionAndWidthStayInBounds) {
    char buf[64];
    FormatLine(buf, sizeof buf, "%.99999f", 1e308);
    EXPECT_EQ(strlen(buf), 63u);
    FormatLine(buf, sizeof buf, "%99999d", 1);
    EXPECT_EQ(strlen(buf), 63u);
    FormatLine(buf, sizeof buf, "%.3000g", 0.1);
    EXPECT_EQ(std::string(buf, 10), "0.10000000");
}

}  // namespace
