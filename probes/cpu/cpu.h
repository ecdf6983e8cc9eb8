// The processor as the "CPU" section asks it. No platform headers: the answers
// come through CpuMachine, so crafted processors can stand in for the real one.
#pragma once

#include <stdint.h>

struct CpuidRegs {
    uint32_t eax, ebx, ecx, edx;
};

struct CpuMachine {
    uint32_t (*processorCount)();
    double (*measureSpeed)();
    bool (*idFlagToggles)();  // bit 21 of the flags register can be inverted
    void (*cpuid)(uint32_t leaf, CpuidRegs* regs);
};

// The processor this program runs on.
extern const CpuMachine kThisMachine;

// Each query executes CPUID afresh; none checks that its leaf exists.
bool IsCpuidPresent(const CpuMachine& machine = kThisMachine);
const char* GetCpuVendor(const CpuMachine& machine = kThisMachine);  // static buffer
uint32_t GetCpuSignature(const CpuMachine& machine = kThisMachine);
uint8_t GetCpuFamily(const CpuMachine& machine = kThisMachine);
uint8_t GetCpuModel(const CpuMachine& machine = kThisMachine);
uint8_t GetCpuStepping(const CpuMachine& machine = kThisMachine);
bool HasMmx(const CpuMachine& machine = kThisMachine);
bool HasSse(const CpuMachine& machine = kThisMachine);
bool HasSse2(const CpuMachine& machine = kThisMachine);
bool IsExtendedCpuidPresent(const CpuMachine& machine = kThisMachine);
const char* GetCpuBrand(const CpuMachine& machine = kThisMachine);  // static buffer
bool Has3dNow(const CpuMachine& machine = kThisMachine);
bool Has3dNowPlus(const CpuMachine& machine = kThisMachine);
bool HasMmxSseExtension(const CpuMachine& machine = kThisMachine);

// The clocks of the speed measurement.
struct SpeedClock {
    int64_t (*frequency)();      // performance counter ticks per second, 0 when it has none
    int64_t (*counter)();        // performance counter
    uint64_t (*timestamp)();     // processor time-stamp counter
    uint32_t (*milliseconds)();  // coarse tick count, wraps
};

// Time-stamp ticks over one tenth of a second, in MHz.
double MeasureCpuSpeedWith(const SpeedClock& clock);
double MeasureCpuSpeed();
// Ticks counted in one tenth of a second as MHz, by the single-precision 0.00001.
double MegahertzFromTicks(int64_t ticks);
