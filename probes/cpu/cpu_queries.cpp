// CPUID decoded: vendor, signature fields, brand and feature bits. No platform calls.
#include "probes/cpu/cpu.h"

#include <string.h>

namespace {

CpuidRegs Leaf(const CpuMachine& machine, uint32_t leaf) {
    CpuidRegs regs = {0, 0, 0, 0};
    machine.cpuid(leaf, &regs);
    return regs;
}

bool Bit(uint32_t value, int bit) { return ((value >> bit) & 1) != 0; }

// Registers hold their text lowest byte first.
char* PutRegister(char* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) *out++ = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

}  // namespace

bool IsCpuidPresent(const CpuMachine& machine) { return machine.idFlagToggles(); }

const char* GetCpuVendor(const CpuMachine& machine) {
    static char vendor[12 + 1];
    const CpuidRegs regs = Leaf(machine, 0);
    char* out = vendor;
    out = PutRegister(out, regs.ebx);
    out = PutRegister(out, regs.edx);
    out = PutRegister(out, regs.ecx);
    *out = '\0';
    return vendor;
}

uint32_t GetCpuSignature(const CpuMachine& machine) { return Leaf(machine, 1).eax; }
uint8_t GetCpuFamily(const CpuMachine& machine) { return (GetCpuSignature(machine) >> 8) & 0xF; }
uint8_t GetCpuModel(const CpuMachine& machine) { return (GetCpuSignature(machine) >> 4) & 0xF; }
uint8_t GetCpuStepping(const CpuMachine& machine) { return GetCpuSignature(machine) & 0xF; }

bool HasMmx(const CpuMachine& machine) { return Bit(Leaf(machine, 1).edx, 23); }
bool HasSse(const CpuMachine& machine) { return Bit(Leaf(machine, 1).edx, 25); }
bool HasSse2(const CpuMachine& machine) { return Bit(Leaf(machine, 1).edx, 26); }

// Exactly 0x80000000 counts as no extended range.
bool IsExtendedCpuidPresent(const CpuMachine& machine) { return Leaf(machine, 0x80000000u).eax > 0x80000000u; }

// A leaf above the highest extended one is not asked: processors answer it with
// another leaf's registers. It adds zero bytes, so the text ends before it.
const char* GetCpuBrand(const CpuMachine& machine) {
    static char brand[48 + 1];
    const uint32_t highest = Leaf(machine, 0x80000000u).eax;
    char* out = brand;
    for (uint32_t leaf = 0x80000002u; leaf <= 0x80000004u; ++leaf) {
        const CpuidRegs regs = leaf <= highest ? Leaf(machine, leaf) : CpuidRegs{0, 0, 0, 0};
        out = PutRegister(out, regs.eax);
        out = PutRegister(out, regs.ebx);
        out = PutRegister(out, regs.ecx);
        out = PutRegister(out, regs.edx);
    }
    *out = '\0';
    return brand;
}

bool Has3dNow(const CpuMachine& machine) { return Bit(Leaf(machine, 0x80000001u).edx, 31); }
bool Has3dNowPlus(const CpuMachine& machine) { return Bit(Leaf(machine, 0x80000001u).edx, 30); }
bool HasMmxSseExtension(const CpuMachine& machine) { return Bit(Leaf(machine, 0x80000001u).edx, 22); }
