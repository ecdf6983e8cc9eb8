// The report's line formats, one row each, and how one line is read by a row and
// written back from its value. Reading, checking and writing all go through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// What the "%s" of a row may hold.
enum class Text {
    Free,        // any platform text (or none: the row has no "%s")
    Words,       // one of the row's words
    Decimal64,   // a 64-bit number in decimal
    Connection,  // a connection name, or "Unkown 0x%x" with any other flags word
};

// The fields that the fleet's counts (summary, survey) take from the walk, each
// tagged on the one row that holds it.
enum class Field : unsigned char {
    None,
    Processors, Speed, CpuVendor, Brand,
    VertexShader, PixelShader,  // of the Direct3D 9 adapters
    Description, Driver, DriverVersion, VendorId, DeviceId, TextureMemory,  // of the Direct3D 8 adapters
    GLVersion, Renderer, GLVendor, Checklist,
    PhysicalMemory, VirtualMemory, Capacity,
    Build, Major, Minor, ServicePack, Connected, Connection,
};

// One line's values as read, pointing into the line: each conversion's text and,
// for a number, its value.
struct LineValue {
    struct Part {
        std::string_view token;
        int64_t number = 0;  // %d %u %x, and the decimal "%s"
        double real = 0;     // %g
        char conversion = 0;
    };
    static const size_t kMost = 4;
    Part part[kMost];
    size_t count = 0;
    int64_t Number(size_t i = 0) const { return part[i].number; }
    std::string_view Token(size_t i = 0) const { return part[i].token; }
};

struct RowForm;

struct Row {
    const char* format;          // byte for byte as the program prints it
    const char* key;             // JSON name; null: the label before the colon
    const char* parts;           // names of the values of a line that holds several
    const char* const* words;    // Text::Words: the words, null-terminated
    Text text;
    bool (*agrees)(const LineValue&);  // values of one line that must agree with each other
    Field field = Field::None;   // what the fleet's counts take from it
    mutable const RowForm* form = nullptr;  // the format taken apart, once
};

// How the summary names a field: "CPU > Number of Processors".
const char* FieldPlace(Field field);

// The JSON name of a row's value.
const std::string& RowKey(const Row& row);
// How a message names a row: its format, or <key> for a line that is only a text.
std::string RowShown(const Row& row);
// True for a row that is a fixed text.
bool IsFixed(const Row& row);

// Reads line by row. The line fits when the row, given the values read, writes the
// very same bytes again; value (when not null) then holds them: the one value, an
// object of the parts, or null for a fixed text.
bool ReadLine(const Row& row, std::string_view line, Json* value);
// The same, the values left in the line's bytes: nothing is allocated.
bool ReadLineValue(const Row& row, std::string_view line, LineValue* value);
// The document's value of a line read: the one value, an object of the parts, or
// null for a fixed text.
Json LineJson(const Row& row, const LineValue& value);
// Writes the line of row from value. Throws Json's type_error on a value of the
// wrong kind.
std::string WriteLine(const Row& row, const Json& value);
// The same, appended to out (which a throw may leave with part of the line).
void WriteLineTo(const Row& row, const Json& value, std::string& out);

// Platform texts travel in JSON as Latin-1: each byte is the code point of the same
// number, so any bytes come back exactly whatever the machine's code page was.
std::string BytesToJsonText(std::string_view bytes);
// Throws std::invalid_argument for a code point above 0xFF.
std::string JsonTextToBytes(const std::string& utf8);

// The line-format tables, block by block, in the report's order.
namespace rows {
extern const Row kSections[5];  // "CPU" "DirectX" "OpenGL" "Memory" "Windows"

// CPU
extern const Row kProcessors, kSpeed, kCpuidPresent, kVendor;
extern const Row kSignature[4];      // CPUID1, Faimly, Model, Brand
extern const Row kStandardFlags[3];
extern const Row kExtendedPresent, kBrand;
extern const Row kExtendedFlags[3];

// DirectX
extern const Row kDirectX9, kHalCaps;
extern const Row kDirectX9Caps[21];
extern const Row kDirectX8, kDescription, kDriver;
extern const Row kDriverLines[5];
extern const Row kDisplayModes8, kMode8;
extern const Row kCapsFlags[9];
extern const Row kFlipSync;
extern const Row kIntervals[5];
extern const Row kDirectX8Caps[17];
extern const Row kTextureMemory;
extern const Row kDirectShow;
extern const Row kCategories[7];
extern const Row kDeviceName;

// OpenGL
extern const Row kGLVersion, kRenderer, kGLVendor, kDisplayModesGL, kModeGL, kCaps;
// The 222 checklist rows, "NAME:%s" with present/not available.
const Row* ChecklistRows();
size_t ChecklistSize();

// Memory
extern const Row kRam;
extern const Row kMemoryTotals[2];
extern const Row kHardDrive;
extern const Row kDriveLines[5];

// Windows
extern const Row kWindowsLines[11];
}  // namespace rows
