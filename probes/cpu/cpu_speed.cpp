// The clock rate: time-stamp ticks over a tenth of a second. No platform calls.
#include "probes/cpu/cpu.h"

namespace {

const uint32_t kTenthMs = 100;
// A counter that stalls or crawls must not hold the dialog for longer than this.
const uint32_t kGiveUpMs = 1000;

}  // namespace

double MegahertzFromTicks(int64_t ticks) {
    static const float kMegahertzPerTick = 0.00001f;  // 0x3727C5AC
    return static_cast<double>(static_cast<long double>(ticks) * kMegahertzPerTick);
}

double MeasureCpuSpeedWith(const SpeedClock& clock) {
    const int64_t frequency = clock.frequency();
    const int64_t start = clock.counter();
    const int64_t target = static_cast<int64_t>(static_cast<uint64_t>(start) + static_cast<uint64_t>(frequency / 10));
    const uint32_t startMs = clock.milliseconds();
    const uint64_t before = clock.timestamp();
    // Set when the tick count, not the counter, ended the wait.
    uint32_t waitedMs = 0;
    if (frequency > 0) {
        while (clock.counter() <= target) {
            const uint32_t elapsed = clock.milliseconds() - startMs;
            if (elapsed >= kGiveUpMs) {
                waitedMs = elapsed;
                break;
            }
        }
    } else {
        // No counter at all: the tick count marks the tenth of a second, coarsely.
        while ((waitedMs = clock.milliseconds() - startMs) <= kTenthMs) {
        }
    }
    const uint64_t after = clock.timestamp();
    const double megahertz = MegahertzFromTicks(static_cast<int64_t>(after - before));
    // The ticks were counted over waitedMs, not over the tenth the factor assumes.
    return waitedMs ? megahertz * kTenthMs / waitedMs : megahertz;
}
