#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <vector>

#include "probes/probes.h"
#include "probes/system/memory_probe.h"
#include "support/test_report.h"

namespace {

struct Geometry {
    int64_t cylinders;
    DWORD tracks, sectors, bytesPerSector;
};

// Drives by number; numbers not listed fail. Records which numbers were asked.
std::map<int, Geometry> drives;
std::vector<int> asked;

BOOL FakeDrives(DISK_GEOMETRY* geometry, int drive) {
    asked.push_back(drive);
    auto found = drives.find(drive);
    if (found == drives.end()) {
        memset(geometry, 0x5A, sizeof *geometry);  // a failed request may leave anything behind
        return FALSE;
    }
    geometry->Cylinders.QuadPart = found->second.cylinders;
    geometry->MediaType = FixedMedia;
    geometry->TracksPerCylinder = found->second.tracks;
    geometry->SectorsPerTrack = found->second.sectors;
    geometry->BytesPerSector = found->second.bytesPerSector;
    return TRUE;
}

std::vector<TreeLine> MemorySection(DWORD physical, DWORD pageFile, const std::map<int, Geometry>& present) {
    drives = present;
    asked.clear();
    TestReport report;
    MEMORYSTATUS status = {};
    status.dwTotalPhys = physical;
    status.dwTotalPageFile = pageFile;
    status.dwTotalVirtual = 0x7FFE0000;
    WriteMemorySection(report.tree(), AddNode(report.tree(), nullptr, "Memory"), status, FakeDrives);
    // The file holds the tree's lines in creation order.
    std::vector<std::string> texts;
    for (const TreeLine& line : report.Tree()) texts.push_back(line.text);
    EXPECT_LINES(report.FileLines(), texts);
    return report.Section();
}

TEST(MemorySection, TotalsPrintSignedWithUnsignedMegabytes) {
    struct Case {
        DWORD physical, pageFile;
        const char* physicalLine;
        const char* pageFileLine;
    } cases[] = {
        {0x80000000u, 0xFFFFFFFFu, "Total Physical Memory: -2147483648 [2048 MB]", "Total Virtual Memory: -1 [4095 MB]"},
        {0x7FFFFFFFu, 0x000FFFFFu, "Total Physical Memory: 2147483647 [2047 MB]", "Total Virtual Memory: 1048575 [0 MB]"},
        {0, 536870912, "Total Physical Memory: 0 [0 MB]", "Total Virtual Memory: 536870912 [512 MB]"},
    };
    for (const Case& c : cases) {
        EXPECT_TREE(MemorySection(c.physical, c.pageFile, {}),
                    {{0, "RAM"}, {1, c.physicalLine}, {1, c.pageFileLine}});
        EXPECT_EQ(asked, std::vector<int>{0});
    }
}

TEST(MemorySection, DrivesFollowRamEachWithFiveLines) {
    const auto section = MemorySection(256u << 20, 1u << 30,
                                       {{0, {30401, 255, 63, 512}},  // 4 GiB and more
                                        {1, {1, 1, 1, 512}}});       // far below
    EXPECT_TREE(section, {{0, "RAM"},
                          {1, "Total Physical Memory: 268435456 [256 MB]"},
                          {1, "Total Virtual Memory: 1073741824 [1024 MB]"},
                          {0, "Hard Drive 0"},
                          {1, "Cylinders: 30401"},
                          {1, "Tracks: 255"},
                          {1, "Sectors: 63"},
                          {1, "Sector size: 512"},
                          {1, "Total Capacity: 250056737280 [238472 MB] [0x3a 388b0200]"},
                          {0, "Hard Drive 1"},
                          {1, "Cylinders: 1"},
                          {1, "Tracks: 1"},
                          {1, "Sectors: 1"},
                          {1, "Sector size: 512"},
                          {1, "Total Capacity: 512 [0 MB] [0x0 00000200]"}});
    EXPECT_EQ(asked, (std::vector<int>{0, 1, 2}));
}

TEST(MemorySection, CapacityKeepsTheLow64BitsAndItsSign) {
    struct Case {
        Geometry geometry;
        std::vector<TreeLine> drive;
    } cases[] = {
        // Bit 63 set: negative decimal and megabytes, the same bits in hexadecimal.
        {{-1048576, 1, 1, 1},
         {{0, "Hard Drive 0"}, {1, "Cylinders: -1048576"}, {1, "Tracks: 1"}, {1, "Sectors: 1"},
          {1, "Sector size: 1"}, {1, "Total Capacity: -1048576 [-1 MB] [0xffffffff fff00000]"}}},
        {{INT64_C(0x4000000000000000), 1, 1, 2},
         {{0, "Hard Drive 0"}, {1, "Cylinders: 0"}, {1, "Tracks: 1"}, {1, "Sectors: 1"}, {1, "Sector size: 2"},
          {1, "Total Capacity: -9223372036854775808 [0 MB] [0x80000000 00000000]"}}},
        // 2^48 x (2^32 + 1) overflows to 2^48; the cylinders count whole, not just their low half.
        {{INT64_C(0x100000001), 0x10000, 0x10000, 0x10000},
         {{0, "Hard Drive 0"}, {1, "Cylinders: 1"}, {1, "Tracks: 65536"}, {1, "Sectors: 65536"},
          {1, "Sector size: 65536"}, {1, "Total Capacity: 281474976710656 [268435456 MB] [0x10000 00000000]"}}},
        {{INT64_C(0x7FFFFFFFFFFFFFFF), 1, 1, 1},
         {{0, "Hard Drive 0"}, {1, "Cylinders: -1"}, {1, "Tracks: 1"}, {1, "Sectors: 1"}, {1, "Sector size: 1"},
          {1, "Total Capacity: 9223372036854775807 [-1 MB] [0x7fffffff ffffffff]"}}},
        {{0, 255, 63, 512},
         {{0, "Hard Drive 0"}, {1, "Cylinders: 0"}, {1, "Tracks: 255"}, {1, "Sectors: 63"}, {1, "Sector size: 512"},
          {1, "Total Capacity: 0 [0 MB] [0x0 00000000]"}}},
    };
    for (const Case& c : cases) {
        auto section = MemorySection(0, 0, {{0, c.geometry}});
        ASSERT_EQ(section.size(), 9u);
        section.erase(section.begin(), section.begin() + 3);
        EXPECT_TREE(section, c.drive);
    }
}

TEST(MemorySection, EnumerationStopsAtTheFirstFailingDrive) {
    auto section = MemorySection(0, 0, {{0, {100, 2, 3, 4}}, {2, {100, 2, 3, 4}}});
    EXPECT_EQ(asked, (std::vector<int>{0, 1}));
    ASSERT_EQ(section.size(), 9u);
    EXPECT_EQ(section[3].text, "Hard Drive 0");

    section = MemorySection(0, 0, {{1, {100, 2, 3, 4}}});
    EXPECT_EQ(asked, std::vector<int>{0});
    EXPECT_EQ(section.size(), 3u);
}

TEST(ProbeMemory, ThisMachineHasRamAndNumberedDrives) {
    TestReport report;
    ProbeMemory(report.tree(), AddNode(report.tree(), nullptr, "Memory"));
    const auto section = report.Section();
    ASSERT_GE(section.size(), 3u);
    EXPECT_EQ(section[0].text, "RAM");
    ASSERT_EQ((section.size() - 3) % 6, 0u);
    for (size_t drive = 0; 3 + 6 * drive < section.size(); ++drive)
        EXPECT_EQ(section[3 + 6 * drive].text, "Hard Drive " + std::to_string(drive));
    DISK_GEOMETRY geometry;
    EXPECT_FALSE(QueryDriveGeometry(&geometry, 100000));
}

}  // namespace
