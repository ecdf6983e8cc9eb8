#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>

#include "probes/cpu/cpu_section.h"
#include "support/test_report.h"

namespace {

// Four text bytes as a register holds them, the first in the lowest byte.
uint32_t Reg(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
           uint32_t(uint8_t(text[3])) << 24;
}

// A processor made of register answers; it counts how often each leaf runs.
struct CraftedCpu {
    bool idFlagToggles = true;
    std::map<uint32_t, CpuidRegs> leaves;
    std::map<uint32_t, int> runs;
};

CraftedCpu* crafted = nullptr;

const CpuMachine kCrafted = {
    [] { return uint32_t(2); },
    [] { return 2096.01234; },
    [] { return crafted->idFlagToggles; },
    [](uint32_t leaf, CpuidRegs* regs) {
        ++crafted->runs[leaf];
        auto found = crafted->leaves.find(leaf);
        *regs = found != crafted->leaves.end() ? found->second : CpuidRegs{0xDEAD, 0xDEAD, 0xDEAD, 0xDEAD};
    },
};

const uint32_t kMmx = 1u << 23, kSse = 1u << 25, kSse2 = 1u << 26;
const uint32_t k3dNow = 1u << 31, k3dNowPlus = 1u << 30, kMmxSse = 1u << 22;

// An AMD-like processor with every flag of the section set.
CraftedCpu FullCpu() {
    CraftedCpu cpu;
    cpu.leaves[0] = {1, Reg("Auth"), Reg("cAMD"), Reg("enti")};
    cpu.leaves[1] = {0x00A00F29, 0, 0, kMmx | kSse | kSse2};
    cpu.leaves[0x80000000u] = {0x80000008u, 0, 0, 0};
    cpu.leaves[0x80000001u] = {0, 0, 0, k3dNow | k3dNowPlus | kMmxSse};
    cpu.leaves[0x80000002u] = {Reg("AMD "), Reg("Athl"), Reg("on(t"), Reg("m) 6")};
    cpu.leaves[0x80000003u] = {Reg("4 X2"), 0, 0, 0};
    cpu.leaves[0x80000004u] = {0, 0, 0, 0};
    return cpu;
}

// Writes the section for a crafted processor under a "CPU" node; every line is a direct child.
std::vector<std::string> SectionLines(CraftedCpu& cpu) {
    TestReport report;
    crafted = &cpu;
    WriteCpuSection(report.tree(), AddNode(report.tree(), nullptr, "CPU"), kCrafted);
    crafted = nullptr;
    for (const TreeLine& line : report.Section()) EXPECT_EQ(line.depth, 0) << line.text;
    auto lines = report.FileLines();
    if (!lines.empty()) lines.erase(lines.begin());
    EXPECT_EQ(report.Section().size(), lines.size());
    return lines;
}

TEST(CpuSection, FullProcessorWritesSixteenLinesInOrder) {
    CraftedCpu cpu = FullCpu();
    EXPECT_LINES(SectionLines(cpu),
                 {"Number of Processors:2", "CPU speed: 2096.01", "CPUID present: yes", "AuthenticAMD",
                  "CPUID1:0xa00f29", "Faimly: 15", "Model: 2", "Brand: 9", "MMX  Capable: yes", "SSE  Capable: yes",
                  "SSE2 Capable: yes", "Extended CPUID present: yes", "AMD Athlon(tm) 64 X2", "3dNow! Capable: yes",
                  "3dNow!+ Capable: yes", "MMXSSE Extension Capable: yes"});
}

TEST(CpuSection, WithoutCpuidEndsAfterThreeLines) {
    CraftedCpu cpu = FullCpu();
    cpu.idFlagToggles = false;
    EXPECT_LINES(SectionLines(cpu), {"Number of Processors:2", "CPU speed: 2096.01", "CPUID present: no"});
    EXPECT_TRUE(cpu.runs.empty()) << "CPUID ran on a processor without it";
}

TEST(CpuSection, ExtendedMaximumOfExactly0x80000000EndsAfterTwelveLines) {
    CraftedCpu cpu = FullCpu();
    cpu.leaves[0] = {1, Reg("Genu"), Reg("ntel"), Reg("ineI")};  // eax, ebx, ecx, edx
    cpu.leaves[1] = {0x000306A9, 0, 0, kSse};  // extended-model bits 3
    cpu.leaves[0x80000000u] = {0x80000000u, 0, 0, 0};
    EXPECT_LINES(SectionLines(cpu),
                 {"Number of Processors:2", "CPU speed: 2096.01", "CPUID present: yes", "GenuineIntel",
                  "CPUID1:0x306a9", "Faimly: 6", "Model: 10", "Brand: 9", "MMX  Capable: no", "SSE  Capable: yes",
                  "SSE2 Capable: no", "Extended CPUID present: no"});
    EXPECT_EQ(cpu.runs.count(0x80000001u), 0u);
    EXPECT_EQ(cpu.runs.count(0x80000002u), 0u);
}

TEST(CpuSection, EachLineRunsCpuidAfresh) {
    CraftedCpu cpu = FullCpu();
    SectionLines(cpu);
    EXPECT_EQ(cpu.runs[0], 1);
    EXPECT_EQ(cpu.runs[1], 7);  // four signature lines, three flag lines
    EXPECT_EQ(cpu.runs[0x80000000u], 2);  // the presence line, then the brand's own limit
    EXPECT_EQ(cpu.runs[0x80000001u], 3);
    EXPECT_EQ(cpu.runs[0x80000002u], 1);
    EXPECT_EQ(cpu.runs[0x80000004u], 1);
}

TEST(CpuSection, EachFlagIsItsOwnBit) {
    struct Case {
        uint32_t edx1, edxExt;
        std::vector<std::string> flagLines;  // lines 9 to 11, then 14 to 16
    } cases[] = {
        {kMmx, 0, {"MMX  Capable: yes", "SSE  Capable: no", "SSE2 Capable: no", "3dNow! Capable: no",
                   "3dNow!+ Capable: no", "MMXSSE Extension Capable: no"}},
        {kSse2, k3dNowPlus, {"MMX  Capable: no", "SSE  Capable: no", "SSE2 Capable: yes", "3dNow! Capable: no",
                             "3dNow!+ Capable: yes", "MMXSSE Extension Capable: no"}},
        {~(kMmx | kSse | kSse2), ~(k3dNow | k3dNowPlus | kMmxSse),
         {"MMX  Capable: no", "SSE  Capable: no", "SSE2 Capable: no", "3dNow! Capable: no", "3dNow!+ Capable: no",
          "MMXSSE Extension Capable: no"}},
        {0, k3dNow | kMmxSse, {"MMX  Capable: no", "SSE  Capable: no", "SSE2 Capable: no", "3dNow! Capable: yes",
                               "3dNow!+ Capable: no", "MMXSSE Extension Capable: yes"}},
    };
    for (const Case& c : cases) {
        CraftedCpu cpu = FullCpu();
        cpu.leaves[1].edx = c.edx1;
        cpu.leaves[0x80000001u].edx = c.edxExt;
        const auto lines = SectionLines(cpu);
        ASSERT_EQ(lines.size(), 16u);
        EXPECT_LINES({lines[8], lines[9], lines[10], lines[13], lines[14], lines[15]}, c.flagLines);
    }
}

TEST(CpuSection, SignatureFieldsIgnoreExtendedBits) {
    struct Case {
        uint32_t signature;
        std::vector<std::string> lines;  // lines 5 to 8
    } cases[] = {
        {0x000306A9, {"CPUID1:0x306a9", "Faimly: 6", "Model: 10", "Brand: 9"}},
        {0x0FF00F29, {"CPUID1:0xff00f29", "Faimly: 15", "Model: 2", "Brand: 9"}},
        {0xFFFFFFFF, {"CPUID1:0xffffffff", "Faimly: 15", "Model: 15", "Brand: 15"}},
        {0, {"CPUID1:0x0", "Faimly: 0", "Model: 0", "Brand: 0"}},
    };
    for (const Case& c : cases) {
        CraftedCpu cpu = FullCpu();
        cpu.leaves[1].eax = c.signature;
        const auto lines = SectionLines(cpu);
        ASSERT_EQ(lines.size(), 16u);
        EXPECT_LINES({lines[4], lines[5], lines[6], lines[7]}, c.lines);
    }
}

TEST(CpuSection, VendorAndBrandAreTextNeverFormats) {
    CraftedCpu cpu = FullCpu();
    cpu.leaves[0] = {1, Reg("%s%n"), Reg("%d%%"), Reg("%x%p")};
    cpu.leaves[0x80000002u] = {Reg("  10"), Reg("0% %"), Reg("s %n"), Reg("%d  ")};
    cpu.leaves[0x80000003u] = {0, 0, 0, 0};
    const auto lines = SectionLines(cpu);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[3], "%s%n%x%p%d%%");  // EBX, EDX, ECX
    EXPECT_EQ(lines[12], "  100% %s %n%d  ");
}

TEST(CpuQueries, BrandTakesLeavesInOrderEachEaxEbxEcxEdx) {
    CraftedCpu cpu;
    cpu.leaves[0x80000000u] = {0x80000004u, 0, 0, 0};
    const char text[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL";  // 48 bytes, no NUL
    for (uint32_t leaf = 0; leaf < 3; ++leaf) {
        uint32_t r[4];
        memcpy(r, text + 16 * leaf, 16);  // little-endian: memory order is register byte order
        cpu.leaves[0x80000002u + leaf] = {r[0], r[1], r[2], r[3]};
    }
    crafted = &cpu;
    EXPECT_STREQ(GetCpuBrand(kCrafted), text);

    cpu.leaves[0x80000003u].ebx = Reg("ab\0d");  // a NUL inside ends the text
    EXPECT_STREQ(GetCpuBrand(kCrafted), "0123456789abcdefghijab");

    cpu.leaves[0x80000002u] = {Reg("    "), Reg("   I"), Reg("ntel"), Reg("(R) ")};
    cpu.leaves[0x80000003u] = {Reg("Pent"), Reg("ium("), Reg("R) 4"), Reg(" CPU")};
    cpu.leaves[0x80000004u] = {Reg(" 3.0"), Reg("0GHz"), 0, 0};
    EXPECT_STREQ(GetCpuBrand(kCrafted), "       Intel(R) Pentium(R) 4 CPU 3.00GHz");  // leading blanks stay
    crafted = nullptr;
}

TEST(CpuQueries, BrandLeavesAboveTheHighestAddOnlyZeros) {
    const struct {
        uint32_t highest;
        const char* brand;
    } cases[] = {
        {0x80000004u, "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL"},
        {0x80000008u, "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL"},
        {0x80000003u, "0123456789abcdefghijklmnopqrstuv"},
        {0x80000002u, "0123456789abcdef"},
        {0x80000001u, ""},
        {0x8000FFFFu, "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL"},
        {0x00000004u, ""},  // no extended range at all
    };
    const char text[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKL";
    for (const auto& c : cases) {
        CraftedCpu cpu;
        cpu.leaves[0x80000000u] = {c.highest, 0, 0, 0};
        for (uint32_t leaf = 0; leaf < 3; ++leaf) {
            uint32_t r[4];
            memcpy(r, text + 16 * leaf, 16);
            cpu.leaves[0x80000002u + leaf] = {r[0], r[1], r[2], r[3]};
        }
        crafted = &cpu;
        EXPECT_STREQ(GetCpuBrand(kCrafted), c.brand) << std::hex << c.highest;
        crafted = nullptr;
        for (uint32_t leaf = 0x80000002u; leaf <= 0x80000004u; ++leaf)
            EXPECT_EQ(cpu.runs[leaf], leaf <= c.highest ? 1 : 0) << std::hex << c.highest << " leaf " << leaf;
    }

    // The section keeps its sixteen lines; the brand line is empty.
    CraftedCpu cpu = FullCpu();
    cpu.leaves[0x80000000u].eax = 0x80000001u;
    const auto lines = SectionLines(cpu);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_LINES({lines[11], lines[12], lines[13]}, {"Extended CPUID present: yes", "", "3dNow! Capable: yes"});
}

TEST(CpuQueries, ExtendedRangeNeedsMoreThan0x80000000) {
    struct Case {
        uint32_t maximum;
        bool present;
    } cases[] = {{0x80000000u, false}, {0x80000001u, true}, {0x7FFFFFFFu, false}, {0, false}, {0xFFFFFFFFu, true}};
    for (const Case& c : cases) {
        CraftedCpu cpu;
        cpu.leaves[0x80000000u] = {c.maximum, 0, 0, 0};
        crafted = &cpu;
        EXPECT_EQ(IsExtendedCpuidPresent(kCrafted), c.present) << std::hex << c.maximum;
        crafted = nullptr;
    }
}

std::string SpeedText(double megahertz) {
    TestReport report;
    AddNodeFormatted(report.tree(), nullptr, "CPU speed: %g", megahertz);
    return report.FileLines().at(0);
}

TEST(CpuSpeed, TicksOfATenthOfASecondGiveMegahertz) {
    EXPECT_EQ(MegahertzFromTicks(1), 9.99999974737875163555145263671875e-6);  // the factor is 0x3727C5AC
    EXPECT_EQ(SpeedText(MegahertzFromTicks(100000000)), "CPU speed: 1000");
    EXPECT_EQ(SpeedText(MegahertzFromTicks(209601234)), "CPU speed: 2096.01");
    EXPECT_EQ(SpeedText(MegahertzFromTicks(123456789)), "CPU speed: 1234.57");
    EXPECT_EQ(SpeedText(MegahertzFromTicks(0)), "CPU speed: 0");
    EXPECT_EQ(SpeedText(MegahertzFromTicks(-100000000)), "CPU speed: -1000");
    EXPECT_EQ(SpeedText(MegahertzFromTicks(INT64_C(0x7FFFFFFFFFFFFFFF))), "CPU speed: 9.22337e+013");
}

// Scripted clocks: the counter and tick count step on every reading.
struct ScriptedClock {
    int64_t frequency = 1000;
    int64_t counter = 0, counterStep = 0;
    int counterReads = 0;
    uint32_t ms = 0, msStep = 0;
    int msReads = 0;
    uint64_t timestamps[2] = {0, 0};
    int timestampReads = 0;
};

ScriptedClock* script = nullptr;

const SpeedClock kScripted = {
    [] { return script->frequency; },
    [] {
        ++script->counterReads;
        const int64_t now = script->counter;
        script->counter += script->counterStep;
        return now;
    },
    [] { return script->timestamps[script->timestampReads++ & 1]; },
    [] {
        ++script->msReads;
        const uint32_t now = script->ms;
        script->ms += script->msStep;
        return now;
    },
};

double Measure(ScriptedClock& clock) {
    script = &clock;
    const double megahertz = MeasureCpuSpeedWith(kScripted);
    script = nullptr;
    return megahertz;
}

TEST(CpuSpeed, WaitEndsAtTheFirstCounterReadingPastATenthOfTheFrequency) {
    ScriptedClock clock;
    clock.frequency = 1000;
    clock.counter = 5000;
    clock.counterStep = 10;  // target 5100: readings 5010 .. 5100 go on, 5110 ends
    clock.timestamps[0] = 7;
    clock.timestamps[1] = 7 + 100000000;
    EXPECT_EQ(Measure(clock), MegahertzFromTicks(100000000));
    EXPECT_EQ(clock.counterReads, 12);
    EXPECT_EQ(clock.timestampReads, 2);
}

TEST(CpuSpeed, TimestampThatWrapsIsStillADifference) {
    ScriptedClock clock;
    clock.counterStep = 1000;
    clock.timestamps[0] = UINT64_C(0xFFFFFFFFFFFFFF00);
    clock.timestamps[1] = 100000000 - 0x100;
    EXPECT_EQ(Measure(clock), MegahertzFromTicks(100000000));
}

TEST(CpuSpeed, StalledCounterGivesUpAfterAboutASecondAndScalesByThatTime) {
    ScriptedClock clock;
    clock.frequency = 10000000;
    clock.counter = 42;  // never advances
    clock.ms = 0xFFFFFF00;  // and the tick count wraps on the way
    clock.msStep = 1;
    clock.timestamps[1] = 1000000000;  // a thousand million ticks in one second
    EXPECT_EQ(SpeedText(Measure(clock)), "CPU speed: 1000");
    EXPECT_GE(clock.ms - 0xFFFFFF00, 1000u);
    EXPECT_LE(clock.ms - 0xFFFFFF00, 1002u);

    // A coarse tick count: the wait ends at the reading of 1200 ms.
    clock = ScriptedClock();
    clock.frequency = 3579545;
    clock.msStep = 300;
    clock.timestamps[1] = 2400000000u;
    EXPECT_EQ(SpeedText(Measure(clock)), "CPU speed: 2000");
}

TEST(CpuSpeed, WithoutACounterTheTickCountMarksTheTenthAndTheTimeTaken) {
    for (int64_t frequency : {INT64_C(0), INT64_C(-1000)}) {
        ScriptedClock clock;
        clock.frequency = frequency;
        clock.msStep = 1;
        clock.timestamps[1] = 100000000;
        EXPECT_EQ(SpeedText(Measure(clock)), "CPU speed: 990.099");  // 1e8 ticks in 101 ms
        EXPECT_GE(clock.ms, 101u);
        EXPECT_LE(clock.ms, 103u);
    }
    ScriptedClock clock;
    clock.frequency = 0;
    clock.msStep = 16;  // ends at the reading of 112 ms
    clock.timestamps[1] = 100000000;
    EXPECT_EQ(SpeedText(Measure(clock)), "CPU speed: 892.857");
}

}  // namespace
