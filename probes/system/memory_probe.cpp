// The "Memory" section: memory totals, then the geometry and capacity of each physical drive.
// Its texts are frozen: stored reports and the tools that read them depend on every byte.
#include "probes/system/memory_probe.h"

#include <string.h>

#include "probes/probes.h"
#include "probes/system/system_text.h"
#include "report/format.h"

namespace {

struct TotalLine {
    LineFormat<DWORD, uint32_t> format;
    DWORD MEMORYSTATUS::*bytes;
};

const TotalLine kTotalLines[] = {
    {"Total Physical Memory: %d [%d MB]", &MEMORYSTATUS::dwTotalPhys},
    {"Total Virtual Memory: %d [%d MB]", &MEMORYSTATUS::dwTotalPageFile},
};

struct GeometryLine {
    LineFormat<DWORD> format;
    DWORD (*value)(const DISK_GEOMETRY&);
};

const GeometryLine kGeometryLines[] = {
    {"Cylinders: %d", [](const DISK_GEOMETRY& g) -> DWORD { return g.Cylinders.LowPart; }},
    {"Tracks: %d", [](const DISK_GEOMETRY& g) -> DWORD { return g.TracksPerCylinder; }},
    {"Sectors: %d", [](const DISK_GEOMETRY& g) -> DWORD { return g.SectorsPerTrack; }},
    {"Sector size: %d", [](const DISK_GEOMETRY& g) -> DWORD { return g.BytesPerSector; }},
};

}  // namespace

const MemoryAnswers kThisMemory = {GlobalMemoryStatus, CreateFileA, DeviceIoControl, CloseHandle};

BOOL QueryDriveGeometry(DISK_GEOMETRY* geometry, int drive, const MemoryAnswers& answers) {
    char path[256];
    FormatLine(path, sizeof path, "\\\\.\\PhysicalDrive%d", drive);
    // Access 0: the geometry needs no read access, so no administrator rights.
    const HANDLE device =
        answers.createFile(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return FALSE;
    DWORD returned = 0;
    const BOOL answered = answers.deviceIoControl(device, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, geometry,
                                                  sizeof(DISK_GEOMETRY), &returned, nullptr);
    answers.closeHandle(device);
    return answered;
}

void WriteMemorySection(HWND tree, ReportNode parent, const MemoryAnswers& answers) {
    MEMORYSTATUS status;
    memset(&status, 0, sizeof status);
    status.dwLength = sizeof status;
    answers.globalMemoryStatus(&status);
    const ReportNode ram = AddNode(tree, parent, "RAM");
    for (const TotalLine& line : kTotalLines)
        AddNodeFormatted(tree, ram, line.format, status.*line.bytes, MegabytesOf(status.*line.bytes));

    DISK_GEOMETRY geometry;
    memset(&geometry, 0, sizeof geometry);
    for (int drive = 0; QueryDriveGeometry(&geometry, drive, answers); ++drive) {
        const ReportNode node = AddNodeFormatted(tree, parent, "Hard Drive %d", drive);
        for (const GeometryLine& line : kGeometryLines) AddNodeFormatted(tree, node, line.format, line.value(geometry));
        const CapacityParts capacity =
            DescribeCapacity(DriveCapacity(geometry.Cylinders.QuadPart, geometry.TracksPerCylinder,
                                           geometry.SectorsPerTrack, geometry.BytesPerSector));
        AddNodeFormatted(tree, node, "Total Capacity: %s [%d MB] [0x%x %.8x]", capacity.decimal, capacity.megabytes,
                         capacity.high, capacity.low);
    }
}

void ProbeMemory(HWND tree, ReportNode parent) { WriteMemorySection(tree, parent, kThisMemory); }
