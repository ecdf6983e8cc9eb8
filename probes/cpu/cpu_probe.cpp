#include "probes/cpu/cpu_probe.h"

#include "probes/probes.h"

namespace {

uint32_t ProcessorCount() {
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

bool IdFlagToggles() {
    uint32_t before, after;
    __asm__ __volatile__(
        "pushfl\n\t"
        "popl %0\n\t"
        "movl %0, %1\n\t"
        "xorl $0x200000, %1\n\t"
        "pushl %1\n\t"
        "popfl\n\t"
        "pushfl\n\t"
        "popl %1\n\t"
        "pushl %0\n\t"
        "popfl"
        : "=&r"(before), "=&r"(after)
        :
        : "cc");
    return before != after;
}

void ExecuteCpuid(uint32_t leaf, CpuidRegs* regs) {
    uint32_t a, b, c, d;
    // EBX is kept by hand: it may hold the GOT pointer in position-independent code.
    __asm__ __volatile__(
        "pushl %%ebx\n\t"
        "cpuid\n\t"
        "movl %%ebx, %%esi\n\t"
        "popl %%ebx"
        : "=a"(a), "=S"(b), "=c"(c), "=d"(d)
        : "a"(leaf), "c"(0u));
    regs->eax = a;
    regs->ebx = b;
    regs->ecx = c;
    regs->edx = d;
}

uint64_t ReadTimestamp() {
    uint32_t low, high;
    __asm__ __volatile__("rdtsc" : "=a"(low), "=d"(high));
    return static_cast<uint64_t>(high) << 32 | low;
}

// Cleared first, so a failing query reads as no counter.
int64_t CounterFrequency() {
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

int64_t CounterValue() {
    LARGE_INTEGER value;
    value.QuadPart = 0;
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

uint32_t Milliseconds() { return GetTickCount(); }

const char* YesNo(bool value) { return value ? "yes" : "no"; }

struct NumberLine {
    const char* format;
    uint32_t (*value)(const CpuMachine&);
};

struct FlagLine {
    const char* format;
    bool (*value)(const CpuMachine&);
};

const NumberLine kSignatureLines[] = {
    {"CPUID1:0x%x", GetCpuSignature},
    {"Faimly: %d", [](const CpuMachine& m) -> uint32_t { return GetCpuFamily(m); }},
    {"Model: %d", [](const CpuMachine& m) -> uint32_t { return GetCpuModel(m); }},
    {"Brand: %d", [](const CpuMachine& m) -> uint32_t { return GetCpuStepping(m); }},
};

const FlagLine kStandardFlagLines[] = {
    {"MMX  Capable: %s", HasMmx},
    {"SSE  Capable: %s", HasSse},
    {"SSE2 Capable: %s", HasSse2},
};

const FlagLine kExtendedFlagLines[] = {
    {"3dNow! Capable: %s", Has3dNow},
    {"3dNow!+ Capable: %s", Has3dNowPlus},
    {"MMXSSE Extension Capable: %s", HasMmxSseExtension},
};

}  // namespace

const CpuMachine kThisMachine = {ProcessorCount, MeasureCpuSpeed, IdFlagToggles, ExecuteCpuid};

double MeasureCpuSpeed() {
    static const SpeedClock clock = {CounterFrequency, CounterValue, ReadTimestamp, Milliseconds};
    return MeasureCpuSpeedWith(clock);
}

void WriteCpuSection(HWND tree, ReportNode parent, const CpuMachine& machine) {
    AddNodeFormatted(tree, parent, "Number of Processors:%d", machine.processorCount());
    AddNodeFormatted(tree, parent, "CPU speed: %g", machine.measureSpeed());

    const bool cpuid = IsCpuidPresent(machine);
    AddNodeFormatted(tree, parent, "CPUID present: %s", YesNo(cpuid));
    if (!cpuid) return;

    AddNode(tree, parent, GetCpuVendor(machine));
    for (const NumberLine& line : kSignatureLines) AddNodeFormatted(tree, parent, line.format, line.value(machine));
    for (const FlagLine& line : kStandardFlagLines) AddNodeFormatted(tree, parent, line.format, YesNo(line.value(machine)));

    const bool extended = IsExtendedCpuidPresent(machine);
    AddNodeFormatted(tree, parent, "Extended CPUID present: %s", YesNo(extended));
    if (!extended) return;

    AddNode(tree, parent, GetCpuBrand(machine));
    for (const FlagLine& line : kExtendedFlagLines) AddNodeFormatted(tree, parent, line.format, YesNo(line.value(machine)));
}

void ProbeCpu(HWND tree, ReportNode parent) { WriteCpuSection(tree, parent, kThisMachine); }
