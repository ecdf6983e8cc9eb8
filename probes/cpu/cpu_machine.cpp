// The processor this program runs on: its instructions, read by inline assembly,
// and the clocks of the speed measurement.
#include <windows.h>

#include "probes/cpu/cpu.h"

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

}  // namespace

const CpuMachine kThisMachine = {ProcessorCount, MeasureCpuSpeed, IdFlagToggles, ExecuteCpuid};

double MeasureCpuSpeed() {
    static const SpeedClock clock = {CounterFrequency, CounterValue, ReadTimestamp, Milliseconds};
    return MeasureCpuSpeedWith(clock);
}
