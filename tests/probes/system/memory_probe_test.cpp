#include <gtest/gtest.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "probes/system/memory_probe.h"
#include "support/test_report.h"

namespace {

struct Geometry {
    int64_t cylinders;
    DWORD tracks, sectors, bytesPerSector;
};

// The crafted platform. Drives by number; a number not listed cannot be opened,
// one listed with no bytes per sector opens but refuses the geometry request.
std::map<int, Geometry> drives;
MEMORYSTATUS memory;
TestReport* report = nullptr;
std::vector<std::string> calls;  // every call with the arguments the section fixes
int openHandles = 0;

std::string Text(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

HANDLE HandleOf(int drive) { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x1000 + 4 * drive)); }
unsigned long Address(const void* p) { return static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(p)); }

const MemoryAnswers kCrafted = {
    [](LPMEMORYSTATUS status) WINAPI {
        calls.push_back("status");
        status->dwTotalPhys = memory.dwTotalPhys;
        status->dwTotalPageFile = memory.dwTotalPageFile;
        status->dwTotalVirtual = 0x7FFE0000;
    },
    [](LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
       HANDLE templateFile) WINAPI -> HANDLE {
        calls.push_back(Text("open %s access %lu share %lu security %lx disposition %lu flags %lu template %lx "
                             "after %u lines",
                             path, access, share, Address(security), disposition, flags, Address(templateFile),
                             unsigned(report->FileLines().size())));
        for (const auto& drive : drives)
            if (Text("\\\\.\\PhysicalDrive%d", drive.first) == path) {
                ++openHandles;
                return HandleOf(drive.first);
            }
        return INVALID_HANDLE_VALUE;
    },
    [](HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize, LPDWORD returned,
       LPOVERLAPPED overlapped) WINAPI -> BOOL {
        calls.push_back(Text("ask %lx code 0x%lx in %lx %lu out %lu %s overlapped %lx", Address(device), code,
                             Address(in), inSize, outSize, returned ? "count" : "no count", Address(overlapped)));
        memset(out, 0x5A, outSize);  // a failed request may leave anything behind
        const Geometry* found = nullptr;
        for (const auto& drive : drives)
            if (HandleOf(drive.first) == device) found = &drive.second;
        if (!found || found->bytesPerSector == 0 || outSize != 24) return FALSE;
        DISK_GEOMETRY* geometry = static_cast<DISK_GEOMETRY*>(out);
        geometry->Cylinders.QuadPart = found->cylinders;
        geometry->MediaType = FixedMedia;
        geometry->TracksPerCylinder = found->tracks;
        geometry->SectorsPerTrack = found->sectors;
        geometry->BytesPerSector = found->bytesPerSector;
        if (returned) *returned = 24;
        return TRUE;
    },
    [](HANDLE handle) WINAPI -> BOOL {
        calls.push_back(Text("close %lx", Address(handle)));
        --openHandles;
        return TRUE;
    },
};

// The calls that query drive n: share read | write (3), open existing (3), the
// geometry request 0x70000 into 24 bytes, and a close for the handle opened.
std::vector<std::string> DriveCalls(int n, int linesBefore, bool opens) {
    std::vector<std::string> expected = {
        Text("open \\\\.\\PhysicalDrive%d access 0 share 3 security 0 disposition 3 flags 0 template 0 after %d lines",
             n, linesBefore)};
    if (!opens) return expected;
    expected.push_back(Text("ask %x code 0x70000 in 0 0 out 24 count overlapped 0", 0x1000 + 4 * n));
    expected.push_back(Text("close %x", 0x1000 + 4 * n));
    return expected;
}

// Calls of a run: the status, then each drive in turn.
std::vector<std::string> Calls(std::vector<std::vector<std::string>> drives) {
    std::vector<std::string> all = {"status"};
    for (const auto& drive : drives) all.insert(all.end(), drive.begin(), drive.end());
    return all;
}

std::vector<TreeLine> MemorySection(DWORD physical, DWORD pageFile, const std::map<int, Geometry>& present) {
    drives = present;
    memory.dwTotalPhys = physical;
    memory.dwTotalPageFile = pageFile;
    calls.clear();
    openHandles = 0;
    TestReport own;
    report = &own;
    WriteMemorySection(own.tree(), AddNode(own.tree(), nullptr, "Memory"), kCrafted);
    report = nullptr;
    EXPECT_EQ(openHandles, 0) << "a drive handle was left open";
    // The file holds the tree's lines in creation order.
    std::vector<std::string> texts;
    for (const TreeLine& line : own.Tree()) texts.push_back(line.text);
    EXPECT_LINES(own.FileLines(), texts);
    return own.Section();
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
        EXPECT_EQ(calls, Calls({DriveCalls(0, 4, false)}));
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
    EXPECT_EQ(calls, Calls({DriveCalls(0, 4, true), DriveCalls(1, 10, true), DriveCalls(2, 16, false)}));
}

TEST(MemorySection, CapacityKeepsTheLow64BitsAndItsSign) {
    struct Case {
        Geometry geometry;
        const char* cylinders;
        const char* capacity;
    } cases[] = {
        // Bit 63 set: negative decimal and megabytes, the same bits in hexadecimal.
        {{-1048576, 1, 1, 1}, "Cylinders: -1048576", "Total Capacity: -1048576 [-1 MB] [0xffffffff fff00000]"},
        {{INT64_C(0x4000000000000000), 1, 1, 2}, "Cylinders: 0",
         "Total Capacity: -9223372036854775808 [0 MB] [0x80000000 00000000]"},
        // 2^48 x (2^32 + 1) overflows to 2^48; the cylinders count whole, not just their low half.
        {{INT64_C(0x100000001), 0x10000, 0x10000, 0x10000}, "Cylinders: 1",
         "Total Capacity: 281474976710656 [268435456 MB] [0x10000 00000000]"},
        {{INT64_C(0x7FFFFFFFFFFFFFFF), 1, 1, 1}, "Cylinders: -1",
         "Total Capacity: 9223372036854775807 [-1 MB] [0x7fffffff ffffffff]"},
        {{0, 255, 63, 512}, "Cylinders: 0", "Total Capacity: 0 [0 MB] [0x0 00000000]"},
    };
    for (const Case& c : cases) {
        const auto section = MemorySection(0, 0, {{0, c.geometry}});
        ASSERT_EQ(section.size(), 9u);
        EXPECT_EQ(section[4].text, c.cylinders);
        EXPECT_EQ(section[8].text, c.capacity);
    }
}

TEST(MemorySection, EnumerationStopsAtTheFirstFailingDrive) {
    auto section = MemorySection(0, 0, {{0, {100, 2, 3, 4}}, {2, {100, 2, 3, 4}}});
    EXPECT_EQ(calls, Calls({DriveCalls(0, 4, true), DriveCalls(1, 10, false)}));
    ASSERT_EQ(section.size(), 9u);
    EXPECT_EQ(section[3].text, "Hard Drive 0");

    section = MemorySection(0, 0, {{1, {100, 2, 3, 4}}});
    EXPECT_EQ(calls, Calls({DriveCalls(0, 4, false)}));
    EXPECT_EQ(section.size(), 3u);

    // Drive 1 opens but refuses the geometry: its handle is closed all the same, and no node is added.
    section = MemorySection(0, 0, {{0, {100, 2, 3, 4}}, {1, {100, 2, 3, 0}}, {2, {100, 2, 3, 4}}});
    EXPECT_EQ(calls, Calls({DriveCalls(0, 4, true), DriveCalls(1, 10, true)}));
    EXPECT_EQ(section.size(), 9u);
}

// The real query, past the last drive any machine has.
TEST(QueryDriveGeometry, ANumberWithoutADriveFails) {
    DISK_GEOMETRY geometry;
    EXPECT_FALSE(QueryDriveGeometry(&geometry, 100000));
}

}  // namespace
