// The "CPU" section: its lines, written from the answers of a CpuMachine.
// Its texts are frozen: stored reports and the tools that read them depend on every
// byte, so "Faimly", "Brand:" before the stepping and the doubled blanks stay.
#include "probes/cpu/cpu_section.h"

#include "probes/probes.h"

namespace {

const char* YesNo(bool value) { return value ? "yes" : "no"; }

struct NumberLine {
    LineFormat<uint32_t> format;
    uint32_t (*value)(const CpuMachine&);
};

struct FlagLine {
    LineFormat<const char*> format;
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
