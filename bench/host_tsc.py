"""The host's time-stamp counter frequency, as the Linux kernel gives it: its refined
calibration, else what it detected at boot, else /proc/cpuinfo when the processor
declares a known TSC frequency. Run alone it prints "MHZ SOURCE", or nothing."""
import re
import subprocess


def host_tsc_mhz():
    """(MHz, where it came from), or (None, None) when the kernel does not say."""
    try:
        log = subprocess.run(["dmesg"], capture_output=True, text=True, timeout=30).stdout
    except (OSError, subprocess.SubprocessError):
        log = ""
    for pattern, source in ((r"Refined TSC clocksource calibration: ([\d.]+) MHz", "kernel (refined calibration)"),
                            (r"tsc: Detected ([\d.]+) MHz", "kernel (detected at boot)")):
        found = re.findall(pattern, log)
        if found:
            return float(found[-1]), source
    with open("/proc/cpuinfo") as f:
        info = f.read()
    flags = re.search(r"^flags\s*:(.*)$", info, re.M)
    mhz = re.search(r"^cpu MHz\s*:\s*([\d.]+)", info, re.M)
    if flags and "tsc_known_freq" in flags.group(1).split() and mhz:
        return float(mhz.group(1)), "/proc/cpuinfo (tsc_known_freq)"
    return None, None


if __name__ == "__main__":
    mhz, source = host_tsc_mhz()
    if mhz:
        print("%s %s" % (mhz, source))
