#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probes/graphics/d3d_caps_lines.h"
#include "probes/graphics/d3d_nodes.h"
#include "support/test_report.h"

namespace {

struct Lines {
    std::vector<std::string> lines;
    LineSink sink() {
        return LineSink{[](void* context, const char* text) { static_cast<Lines*>(context)->lines.push_back(text); },
                        this};
    }
};

D3DCapsNumbers CraftedNumbers() {
    D3DCapsNumbers n = {};
    n.MaxTextureWidth = 4096;
    n.MaxTextureHeight = 2048;
    n.MaxVolumeExtent = 256;
    n.MaxTextureRepeat = 8192;
    n.MaxVertexW = 1e10f;
    n.MaxTextureBlendStages = 8;
    n.MaxSimultaneousTextures = 4;
    n.MaxActiveLights = 0xFFFFFFFF;
    n.MaxPointSize = 256.0f;
    n.MaxPrimitiveCount = 0x80000000;
    n.MaxVertexIndex = 0xFFFFFF;
    n.MaxStreams = 16;
    n.MaxStreamStride = 508;
    n.VertexShaderVersion = 0xFFFE0101;  // vs_1_1
    n.MaxVertexShaderConst = 96;
    n.PixelShaderVersion = 0xFFFF0200;  // ps_2_0
    return n;
}

// The 16 lines both blocks print for CraftedNumbers().
const std::vector<std::string> kCraftedNumberLines = {
    "MaxTextureWidth : 4096", "MaxTextureHeight: 2048", "MaxVolumeExtent: 256", "MaxTextureRepeat: 8192",
    "MaxVertexW: 1e+010", "MaxTextureBlendStages: 8", "MaxSimultaneousTextures: 4",
    "MaxActiveLights: 4294967295", "MaxPointSize: 256", "MaxPrimitiveCount: 2147483648",
    "MaxVertexIndex: 16777215", "MaxStreams: 16", "MaxStreamStride: 508", "VertexShaderVersion: [1.1] 4294836481",
    "MaxVertexShaderConst: 96", "PixelShaderVersion: [2.0] 4294902272"};

std::vector<std::string> Join(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(D3D9CapsLines, TwentyOneLinesWithSplitVersionsAndSignedShaderModel3Counts) {
    D3D9CapsRecord caps = {};
    caps.numbers = CraftedNumbers();
    caps.PixelShader1xMaxValue = 8.0f;
    caps.MaxVShaderInstructionsExecuted = 65535;
    caps.MaxPShaderInstructionsExecuted = 0x80000000;
    caps.MaxVertexShader30InstructionSlots = 0xFFFFFFFF;
    caps.MaxPixelShader30InstructionSlots = 512;
    Lines out;
    WriteD3D9CapsLines(caps, out.sink());
    EXPECT_LINES(out.lines, Join(kCraftedNumberLines,
                                 {"MaxPixelShaderValue (1x): 8", "MaxVertexShaderInstructionsExecuted: 65535",
                                  "MaxPixelShaderInstructionsExecuted: -2147483648",
                                  "MaxVertexShader30InstructionSlots: -1", "MaxPixelShader30InstructionSlots: 512"}));
}

TEST(D3D8CapsLines, NumericLinesEndWithTheirOwnPixelShaderValue) {
    D3D8CapsRecord caps = {};
    caps.numbers = CraftedNumbers();
    caps.MaxPixelShaderValue = 1e-5f;
    Lines out;
    WriteD3D8NumericLines(caps, out.sink());
    EXPECT_LINES(out.lines, Join(kCraftedNumberLines, {"MaxPixelShaderValue: 1e-005"}));
}

struct FlagCase {
    uint32_t deviceType, caps, caps2, caps3;
    std::vector<std::string> words;  // the nine words, in line order
};

TEST(D3D8CapsLines, FlagWordsFollowTheirOwnTests) {
    const char* const formats[] = {"DeviceType: ", "ReadScanLine: ", "Gamma Calibrator: ", "Render in Window: ",
                                   "Driver Managed Resources: ", "Dynamic Texture Support: ",
                                   "Fullscreen Gamma Calibrator: ", "Partitioned Rendering: ",
                                   "Fullscreen Alphablend flip support : "};
    const FlagCase cases[] = {
        // Nothing set: only the reversed partition line says true.
        {0, 0, 0, 0, {"Software", "false", "false", "false", "false", "false", "false", "true", "false"}},
        // Whole-field equality: ReadScanLine alone, alpha flip alone.
        {1, 0x20000, 0, 0x20, {"Hardware", "true", "false", "false", "false", "false", "false", "true", "true"}},
        // The same bits with company are no longer equal.
        {2, 0x20001, 0, 0x21, {"Software", "false", "false", "false", "false", "false", "false", "true", "false"}},
        {1, 0xFFFFFFFF, 0, 0x60, {"Hardware", "false", "false", "false", "false", "false", "false", "true", "false"}},
        // Every Caps2 bit of the table, the no-2D-during-3D bit among them.
        {1, 0, 0x10000000 | 0x20000000 | 0x100000 | 0x80000 | 0x20000 | 0x2, 0,
         {"Hardware", "false", "true", "true", "true", "true", "true", "false", "false"}},
        // One bit at a time.
        {1, 0, 0x100000, 0, {"Hardware", "false", "true", "false", "false", "false", "false", "true", "false"}},
        {1, 0, 0x80000, 0, {"Hardware", "false", "false", "true", "false", "false", "false", "true", "false"}},
        {1, 0, 0x10000000, 0, {"Hardware", "false", "false", "false", "true", "false", "false", "true", "false"}},
        {1, 0, 0x20000000, 0, {"Hardware", "false", "false", "false", "false", "true", "false", "true", "false"}},
        {1, 0, 0x20000, 0, {"Hardware", "false", "false", "false", "false", "false", "true", "true", "false"}},
        {1, 0, 0x2, 0, {"Hardware", "false", "false", "false", "false", "false", "false", "false", "false"}},
    };
    for (const FlagCase& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "Caps=0x" << c.caps << " Caps2=0x" << c.caps2 << " Caps3=0x"
                                        << c.caps3 << " DeviceType=" << c.deviceType);
        D3D8CapsRecord caps = {};
        caps.DeviceType = c.deviceType;
        caps.Caps = c.caps;
        caps.Caps2 = c.caps2;
        caps.Caps3 = c.caps3;
        Lines out;
        WriteD3D8FlagLines(caps, out.sink());
        std::vector<std::string> expected;
        for (size_t i = 0; i < c.words.size(); ++i) expected.push_back(formats[i] + c.words[i]);
        EXPECT_LINES(out.lines, expected);
    }
}

TEST(D3D8CapsLines, PresentationIntervals) {
    const struct {
        uint32_t intervals;
        std::vector<std::string> lines;
    } cases[] = {
        {0x8000000F,
         {"Immediate:supported", "Every Refresh:supported", "Every Second Refresh:supported",
          "Every Third Refresh:supported", "Every Fourth Refresh:supported"}},
        {0x1,
         {"Immediate:not supported", "Every Refresh:supported", "Every Second Refresh:not supported",
          "Every Third Refresh:not supported", "Every Fourth Refresh:not supported"}},
        {0x80000004,
         {"Immediate:supported", "Every Refresh:not supported", "Every Second Refresh:not supported",
          "Every Third Refresh:supported", "Every Fourth Refresh:not supported"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "PresentationIntervals=0x" << c.intervals);
        D3D8CapsRecord caps = {};
        caps.PresentationIntervals = c.intervals;
        Lines out;
        WriteD3D8IntervalLines(caps, out.sink());
        EXPECT_LINES(out.lines, c.lines);
    }
}

TEST(D3D8Lines, TextureMemoryInBytesSignedAndWholeMebibytes) {
    Lines out;
    for (uint32_t bytes : {128u << 20, (128u << 20) - 1, 0x80000000u, 0xFFFFFFFFu, 0u})
        WriteTextureMemoryLine(bytes, out.sink());
    EXPECT_LINES(out.lines, {"Available Texture Memory: 134217728 [128 MB]",
                             "Available Texture Memory: 134217727 [127 MB]",
                             "Available Texture Memory: -2147483648 [2048 MB]",
                             "Available Texture Memory: -1 [4095 MB]", "Available Texture Memory: 0 [0 MB]"});
}

TEST(D3D8Lines, DisplayModes) {
    Lines out;
    WriteD3D8ModeLine(D3DModeRecord{640, 480, 60, 22}, out.sink());
    WriteD3D8ModeLine(D3DModeRecord{1024, 768, 0, 23}, out.sink());
    WriteD3D8ModeLine(D3DModeRecord{0x80000000, 1, 1, 0xFFFFFFFF}, out.sink());
    EXPECT_LINES(out.lines, {"640x480 @ 60 Hz [FMT:0x16]", "1024x768 @ 0 Hz [FMT:0x17]",
                             "-2147483648x1 @ 1 Hz [FMT:0xffffffff]"});
}

// product.version.subversion.build, the first two in the high half.
uint64_t DriverVersion(uint16_t product, uint16_t version, uint16_t subVersion, uint16_t build) {
    return (uint64_t(product) << 48) | (uint64_t(version) << 32) | (uint64_t(subVersion) << 16) | build;
}

TEST(D3D8Lines, AdapterNodesShowTextsLiterallyAndIdentityInSignedDecimal) {
    TestReport report;
    const ReportNode block = AddNode(report.tree(), nullptr, "DirectX8.1");
    D3D8IdentityRecord identity = {};
    identity.DriverVersion = DriverVersion(6, 14, 10, 9016);
    identity.VendorId = 0x10DE;
    identity.DeviceId = 0x0191;
    identity.SubSysId = 0x80001043;
    identity.Revision = 0xA2;
    const ReportNode adapter = AddAdapterNodes(report.tree(), block, "Mesa %s%n 100%", "wined3d %d.dll", identity);
    AddNode(report.tree(), adapter, "Display Modes");
    EXPECT_TREE(report.Section(), {{0, "Mesa %s%n 100%"},
                                   {1, "wined3d %d.dll"},
                                   {2, "DriverVersion:664376"},  // 10 * 65536 + 9016
                                   {2, "VendorId: 4318"},
                                   {2, "DeviceId: 401"},
                                   {2, "SubSysId: -2147479485"},
                                   {2, "Revision: 162"},
                                   {1, "Display Modes"}});
    EXPECT_LINES(report.FileLines(), {"DirectX8.1", "Mesa %s%n 100%", "wined3d %d.dll", "DriverVersion:664376",
                                      "VendorId: 4318", "DeviceId: 401", "SubSysId: -2147479485", "Revision: 162",
                                      "Display Modes"});
}

TEST(D3D8Lines, DriverVersionLowHalfPrintsSigned) {
    Lines out;
    D3D8IdentityRecord identity = {};
    identity.DriverVersion = DriverVersion(0xFFFF, 0xFFFF, 0x8000, 1);
    WriteD3D8IdentityLines(identity, out.sink());
    ASSERT_FALSE(out.lines.empty());
    EXPECT_EQ(out.lines[0], "DriverVersion:-2147483647");
}

}  // namespace
