// The Direct3D 9 and 8 lines, from tables of (format, field) rows. No platform calls.
// Its texts are frozen: stored reports and the tools that read them depend on every
// byte, so the blank in "MaxTextureWidth : " and the one before the flip line's colon stay.
#include "probes/graphics/d3d_caps_lines.h"

#include "report/format.h"

namespace {

enum ValueKind { kWhole, kReal, kShaderVersion };

// One fixed line: its format and the one field it prints. Whole numbers go out
// as 32-bit values, so the format alone decides between "%u" and "%d".
template <class Record>
struct CapsRow {
    const char* format;
    ValueKind kind;
    uint32_t Record::*whole;
    float Record::*real;
};

// What WriteCapsRows passes for each kind; every table is checked against it below.
template <class Record, size_t N>
constexpr bool FormatsTakeTheirKinds(const CapsRow<Record> (&rows)[N]) {
    for (const CapsRow<Record>& row : rows) {
        const bool takes = row.kind == kWhole ? line_format::Accepts<uint32_t>(row.format)
                           : row.kind == kReal ? line_format::Accepts<double>(row.format)
                                               : line_format::Accepts<int, int, uint32_t>(row.format);
        if (!takes) return false;
    }
    return true;
}

template <class Record>
void WriteCapsRows(const CapsRow<Record>* rows, size_t count, const Record& record, LineSink sink) {
    char line[kLineBufferSize];
    for (size_t i = 0; i < count; ++i) {
        const CapsRow<Record>& row = rows[i];
        switch (row.kind) {
        case kWhole:
            unchecked::FormatLine(line, sizeof line, row.format, record.*row.whole);
            break;
        case kReal:
            unchecked::FormatLine(line, sizeof line, row.format, static_cast<double>(record.*row.real));
            break;
        case kShaderVersion: {
            const uint32_t version = record.*row.whole;
            unchecked::FormatLine(line, sizeof line, row.format, ShaderVersionMajor(version),
                                  ShaderVersionMinor(version), version);
            break;
        }
        }
        sink.line(sink.context, line);
    }
}

template <class Record, size_t N>
void WriteCapsRows(const CapsRow<Record> (&rows)[N], const Record& record, LineSink sink) {
    WriteCapsRows(rows, N, record, sink);
}

typedef CapsRow<D3DCapsNumbers> NumberRow;
constexpr NumberRow kNumberRows[] = {
    {"MaxTextureWidth : %u", kWhole, &D3DCapsNumbers::MaxTextureWidth, nullptr},
    {"MaxTextureHeight: %u", kWhole, &D3DCapsNumbers::MaxTextureHeight, nullptr},
    {"MaxVolumeExtent: %u", kWhole, &D3DCapsNumbers::MaxVolumeExtent, nullptr},
    {"MaxTextureRepeat: %u", kWhole, &D3DCapsNumbers::MaxTextureRepeat, nullptr},
    {"MaxVertexW: %g", kReal, nullptr, &D3DCapsNumbers::MaxVertexW},
    {"MaxTextureBlendStages: %u", kWhole, &D3DCapsNumbers::MaxTextureBlendStages, nullptr},
    {"MaxSimultaneousTextures: %u", kWhole, &D3DCapsNumbers::MaxSimultaneousTextures, nullptr},
    {"MaxActiveLights: %u", kWhole, &D3DCapsNumbers::MaxActiveLights, nullptr},
    {"MaxPointSize: %g", kReal, nullptr, &D3DCapsNumbers::MaxPointSize},
    {"MaxPrimitiveCount: %u", kWhole, &D3DCapsNumbers::MaxPrimitiveCount, nullptr},
    {"MaxVertexIndex: %u", kWhole, &D3DCapsNumbers::MaxVertexIndex, nullptr},
    {"MaxStreams: %u", kWhole, &D3DCapsNumbers::MaxStreams, nullptr},
    {"MaxStreamStride: %u", kWhole, &D3DCapsNumbers::MaxStreamStride, nullptr},
    {"VertexShaderVersion: [%d.%d] %u", kShaderVersion, &D3DCapsNumbers::VertexShaderVersion, nullptr},
    {"MaxVertexShaderConst: %u", kWhole, &D3DCapsNumbers::MaxVertexShaderConst, nullptr},
    {"PixelShaderVersion: [%d.%d] %u", kShaderVersion, &D3DCapsNumbers::PixelShaderVersion, nullptr},
};

typedef CapsRow<D3D9CapsRecord> D3D9Row;
constexpr D3D9Row kD3D9TailRows[] = {
    {"MaxPixelShaderValue (1x): %g", kReal, nullptr, &D3D9CapsRecord::PixelShader1xMaxValue},
    {"MaxVertexShaderInstructionsExecuted: %d", kWhole, &D3D9CapsRecord::MaxVShaderInstructionsExecuted, nullptr},
    {"MaxPixelShaderInstructionsExecuted: %d", kWhole, &D3D9CapsRecord::MaxPShaderInstructionsExecuted, nullptr},
    {"MaxVertexShader30InstructionSlots: %d", kWhole, &D3D9CapsRecord::MaxVertexShader30InstructionSlots, nullptr},
    {"MaxPixelShader30InstructionSlots: %d", kWhole, &D3D9CapsRecord::MaxPixelShader30InstructionSlots, nullptr},
};

typedef CapsRow<D3D8CapsRecord> D3D8Row;
constexpr D3D8Row kD3D8TailRows[] = {
    {"MaxPixelShaderValue: %g", kReal, nullptr, &D3D8CapsRecord::MaxPixelShaderValue},
};

static_assert(FormatsTakeTheirKinds(kNumberRows) && FormatsTakeTheirKinds(kD3D9TailRows) &&
                  FormatsTakeTheirKinds(kD3D8TailRows),
              "a caps row's format does not take what its kind passes");

// Flag lines: a word pair chosen by one test of one field.
enum FlagTest { kFieldEquals, kBitSet, kBitClear };

struct FlagRow {
    LineFormat<const char*> format;
    uint32_t D3D8CapsRecord::*field;
    FlagTest test;
    uint32_t value;
    const char* yes;
    const char* no;
};

// ReadScanLine and the alpha-blend flip line compare the whole field, and
// "Partitioned Rendering" reads the no-2D-during-3D bit the other way round.
static const FlagRow kFlagRows[] = {
    {"DeviceType: %s", &D3D8CapsRecord::DeviceType, kFieldEquals, 1, "Hardware", "Software"},
    {"ReadScanLine: %s", &D3D8CapsRecord::Caps, kFieldEquals, 0x20000, "true", "false"},
    {"Gamma Calibrator: %s", &D3D8CapsRecord::Caps2, kBitSet, 0x100000, "true", "false"},
    {"Render in Window: %s", &D3D8CapsRecord::Caps2, kBitSet, 0x80000, "true", "false"},
    {"Driver Managed Resources: %s", &D3D8CapsRecord::Caps2, kBitSet, 0x10000000, "true", "false"},
    {"Dynamic Texture Support: %s", &D3D8CapsRecord::Caps2, kBitSet, 0x20000000, "true", "false"},
    {"Fullscreen Gamma Calibrator: %s", &D3D8CapsRecord::Caps2, kBitSet, 0x20000, "true", "false"},
    {"Partitioned Rendering: %s", &D3D8CapsRecord::Caps2, kBitClear, 0x2, "true", "false"},
    {"Fullscreen Alphablend flip support : %s", &D3D8CapsRecord::Caps3, kFieldEquals, 0x20, "true", "false"},
};

bool FlagHolds(const FlagRow& row, uint32_t field) {
    switch (row.test) {
    case kFieldEquals:
        return field == row.value;
    case kBitSet:
        return (field & row.value) != 0;
    case kBitClear:
        return (field & row.value) == 0;
    }
    return false;
}

struct IntervalRow {
    LineFormat<const char*> format;
    uint32_t bit;
};

static const IntervalRow kIntervalRows[] = {
    {"Immediate:%s", 0x80000000u},
    {"Every Refresh:%s", 0x1},
    {"Every Second Refresh:%s", 0x2},
    {"Every Third Refresh:%s", 0x4},
    {"Every Fourth Refresh:%s", 0x8},
};

struct IdentityRow {
    LineFormat<uint32_t> format;
    uint32_t (*value)(const D3D8IdentityRecord&);
};

// Only the low half of the driver version (sub-version and build) is shown.
static const IdentityRow kIdentityRows[] = {
    {"DriverVersion:%d", [](const D3D8IdentityRecord& r) { return static_cast<uint32_t>(r.DriverVersion); }},
    {"VendorId: %d", [](const D3D8IdentityRecord& r) { return r.VendorId; }},
    {"DeviceId: %d", [](const D3D8IdentityRecord& r) { return r.DeviceId; }},
    {"SubSysId: %d", [](const D3D8IdentityRecord& r) { return r.SubSysId; }},
    {"Revision: %d", [](const D3D8IdentityRecord& r) { return r.Revision; }},
};

}  // namespace

void WriteD3D9CapsLines(const D3D9CapsRecord& caps, LineSink sink) {
    WriteCapsRows(kNumberRows, caps.numbers, sink);
    WriteCapsRows(kD3D9TailRows, caps, sink);
}

void WriteD3D8IdentityLines(const D3D8IdentityRecord& identity, LineSink sink) {
    char line[kLineBufferSize];
    for (const IdentityRow& row : kIdentityRows) {
        FormatLine(line, sizeof line, row.format, row.value(identity));
        sink.line(sink.context, line);
    }
}

void WriteD3D8ModeLine(const D3DModeRecord& mode, LineSink sink) {
    char line[kLineBufferSize];
    FormatLine(line, sizeof line, "%dx%d @ %d Hz [FMT:0x%x]", mode.Width, mode.Height, mode.RefreshRate,
               mode.Format);
    sink.line(sink.context, line);
}

void WriteD3D8FlagLines(const D3D8CapsRecord& caps, LineSink sink) {
    char line[kLineBufferSize];
    for (const FlagRow& row : kFlagRows) {
        FormatLine(line, sizeof line, row.format, FlagHolds(row, caps.*row.field) ? row.yes : row.no);
        sink.line(sink.context, line);
    }
}

void WriteD3D8IntervalLines(const D3D8CapsRecord& caps, LineSink sink) {
    char line[kLineBufferSize];
    for (const IntervalRow& row : kIntervalRows) {
        FormatLine(line, sizeof line, row.format,
                   (caps.PresentationIntervals & row.bit) ? "supported" : "not supported");
        sink.line(sink.context, line);
    }
}

void WriteD3D8NumericLines(const D3D8CapsRecord& caps, LineSink sink) {
    WriteCapsRows(kNumberRows, caps.numbers, sink);
    WriteCapsRows(kD3D8TailRows, caps, sink);
}

void WriteTextureMemoryLine(uint32_t bytes, LineSink sink) {
    char line[kLineBufferSize];
    FormatLine(line, sizeof line, "Available Texture Memory: %d [%d MB]", bytes, bytes >> 20);
    sink.line(sink.context, line);
}
