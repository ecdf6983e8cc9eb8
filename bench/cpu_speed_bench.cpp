// Prints the measured clock of this processor, one figure in MHz per line.
// Usage: cpu_speed_bench [runs]
#include <stdio.h>
#include <stdlib.h>

#include "probes/cpu/cpu.h"

int main(int argc, char** argv) {
    const int runs = argc > 1 ? atoi(argv[1]) : 10;
    for (int i = 0; i < runs; ++i) printf("%.4f\n", MeasureCpuSpeed());
    return 0;
}
