// The lines of the Direct3D 9 and 8 blocks, written from plain copies of the
// runtime's records. Free of the platform headers: d3d8.h and d3d9.h cannot meet
// in one translation unit, and these decisions are tested without a runtime.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Receives the formatted lines of one run, in order.
struct LineSink {
    void (*line)(void* context, const char* text);
    void* context;
};

// The 16 capability lines both runtimes print alike.
struct D3DCapsNumbers {
    uint32_t MaxTextureWidth;
    uint32_t MaxTextureHeight;
    uint32_t MaxVolumeExtent;
    uint32_t MaxTextureRepeat;
    float MaxVertexW;
    uint32_t MaxTextureBlendStages;
    uint32_t MaxSimultaneousTextures;
    uint32_t MaxActiveLights;
    float MaxPointSize;
    uint32_t MaxPrimitiveCount;
    uint32_t MaxVertexIndex;
    uint32_t MaxStreams;
    uint32_t MaxStreamStride;
    uint32_t VertexShaderVersion;
    uint32_t MaxVertexShaderConst;
    uint32_t PixelShaderVersion;
};

// The sixteen numbers that D3DCAPS8 and D3DCAPS9 share under the same names.
template <typename Caps>
D3DCapsNumbers CopyCapsNumbers(const Caps& caps) {
    D3DCapsNumbers n = {};
    n.MaxTextureWidth = caps.MaxTextureWidth;
    n.MaxTextureHeight = caps.MaxTextureHeight;
    n.MaxVolumeExtent = caps.MaxVolumeExtent;
    n.MaxTextureRepeat = caps.MaxTextureRepeat;
    n.MaxVertexW = caps.MaxVertexW;
    n.MaxTextureBlendStages = caps.MaxTextureBlendStages;
    n.MaxSimultaneousTextures = caps.MaxSimultaneousTextures;
    n.MaxActiveLights = caps.MaxActiveLights;
    n.MaxPointSize = caps.MaxPointSize;
    n.MaxPrimitiveCount = caps.MaxPrimitiveCount;
    n.MaxVertexIndex = caps.MaxVertexIndex;
    n.MaxStreams = caps.MaxStreams;
    n.MaxStreamStride = caps.MaxStreamStride;
    n.VertexShaderVersion = caps.VertexShaderVersion;
    n.MaxVertexShaderConst = caps.MaxVertexShaderConst;
    n.PixelShaderVersion = caps.PixelShaderVersion;
    return n;
}

// What the Direct3D 9 block prints of D3DCAPS9.
struct D3D9CapsRecord {
    D3DCapsNumbers numbers;
    float PixelShader1xMaxValue;
    uint32_t MaxVShaderInstructionsExecuted;
    uint32_t MaxPShaderInstructionsExecuted;
    uint32_t MaxVertexShader30InstructionSlots;
    uint32_t MaxPixelShader30InstructionSlots;
};

// What the Direct3D 8 block prints of D3DCAPS8.
struct D3D8CapsRecord {
    uint32_t DeviceType;
    uint32_t Caps;
    uint32_t Caps2;
    uint32_t Caps3;
    uint32_t PresentationIntervals;
    D3DCapsNumbers numbers;
    float MaxPixelShaderValue;
};

// What the Direct3D 8 block prints of D3DADAPTER_IDENTIFIER8 besides its two texts.
struct D3D8IdentityRecord {
    uint64_t DriverVersion;
    uint32_t VendorId;
    uint32_t DeviceId;
    uint32_t SubSysId;
    uint32_t Revision;
};

struct D3DModeRecord {
    uint32_t Width;
    uint32_t Height;
    uint32_t RefreshRate;
    uint32_t Format;
};

// Shader versions: major in bits 8 to 15, minor in bits 0 to 7.
inline int ShaderVersionMajor(uint32_t version) { return static_cast<int>((version >> 8) & 0xFF); }
inline int ShaderVersionMinor(uint32_t version) { return static_cast<int>(version & 0xFF); }

// The 21 lines under a Direct3D 9 "D3DDEVTYPE_HAL caps" node.
void WriteD3D9CapsLines(const D3D9CapsRecord& caps, LineSink sink);

// The five lines under an adapter's driver node.
void WriteD3D8IdentityLines(const D3D8IdentityRecord& identity, LineSink sink);
void WriteD3D8ModeLine(const D3DModeRecord& mode, LineSink sink);
// The nine flag lines, the five "Video Flip Synchronization" lines and the 17
// numeric lines of a Direct3D 8 caps node.
void WriteD3D8FlagLines(const D3D8CapsRecord& caps, LineSink sink);
void WriteD3D8IntervalLines(const D3D8CapsRecord& caps, LineSink sink);
void WriteD3D8NumericLines(const D3D8CapsRecord& caps, LineSink sink);
void WriteTextureMemoryLine(uint32_t bytes, LineSink sink);
