"""Whole reports typed line by line from the program's documented line formats,
with values worked out by hand, for the reader's tests. Nothing here comes from the
reader's own tables."""
import os

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "../.."))
with open(os.path.join(ROOT, "tests", "probes", "graphics", "gl_extension_names.txt"), "rb") as f:
    CHECKLIST = f.read().split()

CPU_HEAD = [b"CPU", b"Number of Processors:2", b"CPU speed: 2096.25", b"CPUID present: yes", b"GenuineIntel",
            b"CPUID1:0x306a9", b"Faimly: 6", b"Model: 10", b"Brand: 9", b"MMX  Capable: yes", b"SSE  Capable: yes",
            b"SSE2 Capable: yes", b"Extended CPUID present: yes"]
CPU_TAIL = [b"       Intel(R) Core(TM) i5-3470 CPU @ 3.20GHz", b"3dNow! Capable: no", b"3dNow!+ Capable: no",
            b"MMXSSE Extension Capable: no"]

D3D9_CAPS = [b"D3DDEVTYPE_HAL caps", b"MaxTextureWidth : 16384", b"MaxTextureHeight: 16384",
             b"MaxVolumeExtent: 2048", b"MaxTextureRepeat: 8192", b"MaxVertexW: 1e+010", b"MaxTextureBlendStages: 8",
             b"MaxSimultaneousTextures: 8", b"MaxActiveLights: 8", b"MaxPointSize: 256",
             b"MaxPrimitiveCount: 1048575", b"MaxVertexIndex: 1048575", b"MaxStreams: 16", b"MaxStreamStride: 1024",
             b"VertexShaderVersion: [3.0] 4294836992", b"MaxVertexShaderConst: 256",
             b"PixelShaderVersion: [3.0] 4294902528", b"MaxPixelShaderValue (1x): 3.40282e+038",
             b"MaxVertexShaderInstructionsExecuted: 65535", b"MaxPixelShaderInstructionsExecuted: 65535",
             b"MaxVertexShader30InstructionSlots: 32768", b"MaxPixelShader30InstructionSlots: -2147483648"]


def d3d8_adapter(n, modes=2, texture=True, description=None, driver=None):
    lines = [description or b"Wine Adapter %d" % n, driver or b"wined3d.dll", b"DriverVersion:%d" % (10 * 65536 + 3000),
             b"VendorId: 4318", b"DeviceId: -1", b"SubSysId: -2147483648", b"Revision: %d" % n, b"Display Modes"]
    lines += [b"%dx%d @ %d Hz [FMT:0x%x]" % (640 + 160 * i, 480 + 120 * i, 60, 22 + i) for i in range(modes)]
    lines += [b"D3DDEVTYPE_HAL caps", b"DeviceType: Hardware", b"ReadScanLine: false", b"Gamma Calibrator: true",
              b"Render in Window: true", b"Driver Managed Resources: false", b"Dynamic Texture Support: true",
              b"Fullscreen Gamma Calibrator: true", b"Partitioned Rendering: true",
              b"Fullscreen Alphablend flip support : false", b"Video Flip Synchronization",
              b"Immediate:supported", b"Every Refresh:supported", b"Every Second Refresh:not supported",
              b"Every Third Refresh:not supported", b"Every Fourth Refresh:not supported",
              b"MaxTextureWidth : 8192", b"MaxTextureHeight: 8192", b"MaxVolumeExtent: 2048",
              b"MaxTextureRepeat: 8192", b"MaxVertexW: 1e+010", b"MaxTextureBlendStages: 8",
              b"MaxSimultaneousTextures: 8", b"MaxActiveLights: 8", b"MaxPointSize: 64", b"MaxPrimitiveCount: 65535",
              b"MaxVertexIndex: 65535", b"MaxStreams: 16", b"MaxStreamStride: 255",
              b"VertexShaderVersion: [1.1] 4294836481", b"MaxVertexShaderConst: 96",
              b"PixelShaderVersion: [1.4] 4294902020", b"MaxPixelShaderValue: 8"]
    if texture:
        lines.append(b"Available Texture Memory: 134217727 [127 MB]")
    return lines


CATEGORIES = [b"Video Compressors", b"Video Input", b"Audio Compressors", b"Audio Input", b"Audio Output", b"MIDI",
              b"DirectShow Filters"]


def directshow(devices=None):
    devices = devices or {b"Audio Output": [b"Default DirectSound Device", b"DirectSound: Pulse"],
                          b"MIDI": [b"Default MidiOut Device"]}
    lines = [b"DirectShow"]
    for name in CATEGORIES:
        lines += [name] + devices.get(name, [])
    return lines


def opengl(present=(b"GL_ARB_multitexture", b"GL_EXT_abgr"), modes=2, version=b"4.5 (Compatibility Profile) Mesa 22.3.6",
           renderer=b"llvmpipe (LLVM 15.0.6, 256 bits)", vendor=b"Mesa/X.org", device=b"Wine Adapter"):
    lines = [b"OpenGL", b"Version: " + version, renderer, b"Vendor: " + vendor]
    if device is None:
        return lines
    lines.append(b"Display modes (" + device + b")")
    lines += [b"%dx%d @ 60 Hz 32 bpp" % (800 + 224 * i, 600 + 168 * i) for i in range(modes)]
    lines.append(b"Caps")
    lines += [name + (b":present" if name in present else b":not available") for name in CHECKLIST]
    return lines


def drive(n, cylinders=10000, heads=255, sectors=63, size=512):
    capacity = size * sectors * heads * cylinders
    return [b"Hard Drive %d" % n, b"Cylinders: %d" % cylinders, b"Tracks: %d" % heads, b"Sectors: %d" % sectors,
            b"Sector size: %d" % size,
            b"Total Capacity: %d [%d MB] [0x%x %08x]" % (capacity, capacity >> 20, capacity >> 32, capacity & 0xFFFFFFFF)]


def memory(drives=1):
    lines = [b"Memory", b"RAM", b"Total Physical Memory: 2147483647 [2047 MB]",
             b"Total Virtual Memory: -191668224 [3913 MB]"]
    for n in range(drives):
        lines += drive(n)
    return lines


def windows(pack=b"Service Pack 1", connection=b"Unkown 0x10"):
    return [b"Windows", b"Build:7601", b"Major:6", b"Minor:1", b"ServicePack:" + pack, b"Network:0x3",
            b"System Dir:C:\\windows\\system32", b"Windows Dir:C:\\windows", b"Computer Name:VM", b"User Name:root",
            b"Connected to Internet:false", b"Internet Connection:" + connection]


def report_lines(cpu="extended", d3d9=1, d3d8=1, gl=None, drives=1, adapter=None, shows=None, win=None):
    """The lines of a whole report. cpu: "none" (no CPUID), "basic" or "extended";
    d3d9/d3d8: adapter counts, None for a runtime that is missing; gl: "leaf" for no
    rendering context, or opengl()'s arguments."""
    lines = CPU_HEAD[:4] if cpu == "none" else CPU_HEAD if cpu == "basic" else CPU_HEAD + CPU_TAIL
    if cpu == "none":
        lines = lines[:3] + [b"CPUID present: no"]
    elif cpu == "basic":
        lines = lines[:-1] + [b"Extended CPUID present: no"]
    lines = list(lines) + [b"DirectX"]
    if d3d9 is not None:
        lines += [b"DirectX9.0"] + D3D9_CAPS * d3d9
    if d3d8 is not None:
        lines.append(b"DirectX8.1")
        for n in range(d3d8):
            lines += d3d8_adapter(n, **(adapter or {}))
        lines += directshow(shows)
    lines += [b"OpenGL"] if gl == "leaf" else opengl(**gl) if gl is not None else opengl()
    return lines + memory(drives) + (windows(**win) if win else windows())


def report(end=b"\r\n", **kwargs):
    return b"".join(line + end for line in report_lines(**kwargs))


if __name__ == "__main__":
    import sys
    sys.stdout.buffer.write(report())
