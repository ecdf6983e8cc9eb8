// The report's line formats and the reading and writing of one line.
// The formats are the file format itself: byte for byte what the program prints,
// "Faimly", "Brand:" before the stepping, "Unkown" and the odd blanks included.
#include "reader/lines.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "probes/graphics/gl_extension_checklist.h"
#include "report/format.h"

namespace {

const char* const kYesNo[] = {"yes", "no", nullptr};
const char* const kTrueFalse[] = {"true", "false", nullptr};
const char* const kSupported[] = {"supported", "not supported", nullptr};
const char* const kPresent[] = {"present", "not available", nullptr};
const char* const kDeviceTypes[] = {"Hardware", "Software", nullptr};
const char* const kConnectionNames[] = {"INTERNET_CONNECTION_MODEM", "INTERNET_CONNECTION_LAN",
                                        "INTERNET_CONNECTION_PROXY", "INTERNET_CONNECTION_MODEM_BUSY"};

// Megabytes are the unsigned 32-bit count shifted right by 20.
bool MegabytesAgree(const LineValue& v) {
    return v.Number(1) == static_cast<int64_t>(static_cast<uint32_t>(v.Number(0)) >> 20);
}

bool ShaderVersionAgrees(const LineValue& v) {
    const auto whole = static_cast<uint32_t>(v.Number(2));
    return v.Number(0) == ((whole >> 8) & 0xFF) && v.Number(1) == (whole & 0xFF);
}

bool CapacityAgrees(const LineValue& v) {
    const auto bytes = static_cast<uint64_t>(v.Number(0));
    const auto megabytes = static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(bytes) >> 20));
    return v.Number(1) == megabytes && static_cast<uint64_t>(v.Number(2)) == (bytes >> 32) &&
           static_cast<uint64_t>(v.Number(3)) == static_cast<uint32_t>(bytes);
}

struct Piece {
    std::string_view literal;  // before the conversion
    char conversion;           // 0 for the text after the last conversion
    bool precise;              // "%.8x"
};

// Every line is read with its row's pieces, so they are kept without allocating.
class PieceList {
public:
    size_t size() const { return count_; }
    const Piece& operator[](size_t i) const { return items_[i]; }
    const Piece& back() const { return items_[count_ - 1]; }
    void push_back(const Piece& piece) {
        if (count_ == kMost) throw std::logic_error("a line format with too many conversions");
        items_[count_++] = piece;
    }

private:
    static const size_t kMost = 8;
    Piece items_[kMost];
    size_t count_ = 0;
};

PieceList Pieces(const char* format) {
    PieceList pieces;
    const char* p = format;
    const char* start = p;
    while (*p) {
        if (*p != '%') {
            p++;
            continue;
        }
        Piece piece{std::string_view(start, p - start), 0, false};
        p++;
        if (*p == '.') {
            piece.precise = true;
            while (*p == '.' || (*p >= '0' && *p <= '9')) p++;
        }
        piece.conversion = *p++;
        pieces.push_back(piece);
        start = p;
    }
    pieces.push_back(Piece{std::string_view(start, p - start), 0, false});
    return pieces;
}

}  // namespace

// A row's format taken apart, kept with the row: every line is read with it.
struct RowForm {
    PieceList pieces;
    std::string parts[LineValue::kMost];
    std::string key;
    size_t fixed = 0;  // bytes before the first conversion
    bool percent = false;
};

namespace {

const RowForm& Form(const Row& row) {
    if (row.form) return *row.form;
    auto* form = new RowForm;  // lives as long as the row
    form->pieces = Pieces(row.format);
    if (form->pieces.size() - 1 > LineValue::kMost) throw std::logic_error("a line format with too many conversions");
    size_t n = 0;
    for (std::string_view rest = row.parts ? row.parts : ""; !rest.empty() && n < LineValue::kMost; ++n) {
        const size_t space = rest.find(' ');
        form->parts[n] = std::string(rest.substr(0, space));
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    }
    const char* percent = std::strchr(row.format, '%');
    form->percent = percent != nullptr;
    form->fixed = percent ? percent - row.format : std::strlen(row.format);
    if (row.key) {
        form->key = row.key;
    } else {
        std::string_view f = row.format;
        f = f.substr(0, form->percent ? f.find_first_of(":%") : std::string_view::npos);  // a fixed text names itself
        while (!f.empty() && f.back() == ' ') f.remove_suffix(1);
        form->key = std::string(f);
    }
    row.form = form;
    return *form;
}

bool InClass(char c, char conversion) {
    const bool digit = c >= '0' && c <= '9';
    switch (conversion) {
    case 'd': return digit || c == '-';
    case 'u': return digit;
    case 'x': return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    case 'g': return digit || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '+' ||
                     c == '-' || c == '#';
    default: return digit || c == '-';  // a decimal "%s"
    }
}

template <class T>
bool Number(std::string_view token, T& out, int base = 10) {
    const auto result = std::from_chars(token.data(), token.data() + token.size(), out, base);
    return result.ec == std::errc() && result.ptr == token.data() + token.size();
}

const char* const kOddFloats[] = {"1.#INF", "-1.#INF", "1.#QNAN", "-1.#QNAN"};

std::string Formatted(const char* format, ...) {
    char buf[64];
    va_list args;
    va_start(args, format);
    const size_t n = FormatLineV(buf, sizeof buf, format, args);
    va_end(args);
    return std::string(buf, n);
}

bool IsWord(const Row& row, std::string_view token) {
    if (row.text == Text::Connection) {
        for (const char* name : kConnectionNames)
            if (token == name) return true;
        const std::string_view unknown = "Unkown 0x";
        uint32_t flags = 0;
        return token.substr(0, unknown.size()) == unknown && token.size() - unknown.size() <= 8 &&
               Number(token.substr(unknown.size()), flags, 16) && flags != 1 && flags != 2 && flags != 4 &&
               flags != 8 && Formatted("%x", flags) == token.substr(unknown.size());
    }
    for (const char* const* word = row.words; word && *word; ++word)
        if (token == *word) return true;
    return false;
}

// Whether a number's digits are the ones printf writes for it: no leading zero, no
// "-0", lower-case hexadecimal.
bool Canonical(std::string_view token) {
    const size_t first = !token.empty() && token[0] == '-' ? 1 : 0;
    if (first == token.size()) return false;
    if (token[first] == '0' && (token.size() > first + 1 || first == 1)) return false;
    for (char c : token)
        if (c >= 'A' && c <= 'F') return false;
    return true;
}

bool IsOddFloat(std::string_view token) {
    for (const char* odd : kOddFloats)
        if (token == odd) return true;
    return false;
}

// One conversion's value from its text; false when the text is not what printf
// writes for any value.
bool ReadPart(const Row& row, const Piece& piece, std::string_view token, LineValue::Part& out) {
    out.token = token;
    out.conversion = piece.conversion;
    switch (piece.conversion) {
    case 'd': {
        int32_t v;
        if (!Number(token, v) || !Canonical(token)) return false;
        out.number = v;
        return true;
    }
    case 'u': {
        uint32_t v;
        if (!Number(token, v) || !Canonical(token)) return false;
        out.number = v;
        return true;
    }
    case 'x': {
        uint32_t v;
        if (token.size() > 8 || !Number(token, v, 16)) return false;
        if (piece.precise ? token.size() != 8 || !Canonical("1" + std::string(token)) : !Canonical(token))
            return false;
        out.number = v;
        return true;
    }
    case 'g': {
        if (IsOddFloat(token)) {
            const bool negative = token[0] == '-';
            out.real = token.find("INF") != std::string_view::npos ? (negative ? -HUGE_VAL : HUGE_VAL)
                                                                   : std::copysign(std::nan(""), negative ? -1.0 : 1.0);
        } else {
            char copy[48];
            if (token.size() >= sizeof copy) return false;
            token.copy(copy, token.size());
            copy[token.size()] = 0;
            char* end = nullptr;
            out.real = std::strtod(copy, &end);
            if (end != copy + token.size()) return false;
        }
        char again[64];
        const size_t n = FormatLine(again, sizeof again, "%g", out.real);
        return std::string_view(again, n) == token;
    }
    case 's':
        if (row.text == Text::Decimal64) {
            int64_t v;
            if (!Number(token, v) || !Canonical(token)) return false;
            out.number = v;
            return true;
        }
        if (row.text != Text::Free && !IsWord(row, token)) return false;
        return token.find('\0') == std::string_view::npos;  // never part of a printed text
    }
    return false;
}

Json PartJson(const Row& row, const Piece& piece, const LineValue::Part& part) {
    switch (piece.conversion) {
    case 'd': return static_cast<int32_t>(part.number);
    case 'u': return static_cast<uint32_t>(part.number);
    case 'x': return piece.precise ? std::string(part.token) : "0x" + std::string(part.token);
    case 'g': return IsOddFloat(part.token) ? Json(std::string(part.token)) : Json(part.real);
    case 's': return row.text == Text::Decimal64 ? Json(part.number) : Json(BytesToJsonText(part.token));
    }
    return Json();
}

uint32_t Unsigned32(const Json& v) {
    const int64_t n = v.get<int64_t>();
    if (v.is_number_unsigned() ? v.get<uint64_t>() > 0xFFFFFFFFu : (n < 0 || n > 0xFFFFFFFF))
        throw std::invalid_argument("a value out of the unsigned 32-bit range");
    return static_cast<uint32_t>(n);
}

void AppendNumber(std::string& out, int64_t n, int base = 10, size_t width = 0) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, n, base).ptr;
    for (size_t i = static_cast<size_t>(end - digits); i < width; ++i) out += '0';
    out.append(digits, end);
}

// Appends the bytes of a document's text; throws as JsonTextToBytes does.
void AppendTextBytes(std::string& out, const std::string& utf8) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            throw std::invalid_argument("a text holds a character above U+00FF, which is no byte of a report");
        }
    }
}

void WriteConversion(const Row& row, const Piece& piece, const Json& v, std::string& out) {
    switch (piece.conversion) {
    case 'd': {
        const int64_t n = v.get<int64_t>();
        if (n < INT32_MIN || n > INT32_MAX || (v.is_number_unsigned() && v.get<uint64_t>() > INT32_MAX))
            throw std::invalid_argument("a value out of the signed 32-bit range");
        return AppendNumber(out, n);
    }
    case 'u':
        return AppendNumber(out, Unsigned32(v));
    case 'x': {
        std::string_view digits = v.get_ref<const std::string&>();
        if (!piece.precise && digits.compare(0, 2, "0x") == 0) digits.remove_prefix(2);
        uint32_t n;
        if (digits.size() > 8 || !Number(digits, n, 16))
            throw std::invalid_argument("not a hexadecimal 32-bit value: " + std::string(digits));
        return AppendNumber(out, n, 16, piece.precise ? 8 : 0);
    }
    case 'g': {
        double d;
        if (v.is_string()) {
            const std::string odd = v.get<std::string>();
            const bool negative = !odd.empty() && odd[0] == '-';
            if (odd == "1.#INF" || odd == "-1.#INF")
                d = negative ? -HUGE_VAL : HUGE_VAL;
            else if (odd == "1.#QNAN" || odd == "-1.#QNAN")
                d = std::copysign(std::nan(""), negative ? -1.0 : 1.0);
            else
                throw std::invalid_argument("not a number: " + odd);
        } else {
            d = v.get<double>();
        }
        out += Formatted("%g", d);
        return;
    }
    case 's':
        if (row.text == Text::Decimal64) {
            out += std::to_string(v.get<int64_t>());
            return;
        }
        return AppendTextBytes(out, v.get_ref<const std::string&>());
    }
}

}  // namespace

bool IsFixed(const Row& row) { return !Form(row).percent; }

const std::string& RowKey(const Row& row) { return Form(row).key; }

std::string RowShown(const Row& row) {
    if (std::strcmp(row.format, "%s") == 0) return "<" + RowKey(row) + ">";
    return "\"" + std::string(row.format) + "\"";
}

bool ReadLineValue(const Row& row, std::string_view line, LineValue* value) {
    // Most lines meet most rows in their first bytes.
    const RowForm& form = Form(row);
    if (line.size() < form.fixed || std::memcmp(line.data(), row.format, form.fixed) != 0 ||
        (!form.percent && line.size() != form.fixed))
        return false;
    LineValue scratch;
    LineValue& v = value ? *value : scratch;
    const size_t conversions = form.pieces.size() - 1;
    const std::string_view tail = form.pieces.back().literal;
    size_t pos = 0;
    for (size_t i = 0; i < conversions; ++i) {
        const Piece& piece = form.pieces[i];
        if (line.substr(pos, piece.literal.size()) != piece.literal) return false;
        pos += piece.literal.size();
        size_t end = pos;
        if (piece.conversion == 's' && row.text != Text::Decimal64) {
            // The text runs to the row's last words.
            if (line.size() < pos + tail.size()) return false;
            end = line.size() - tail.size();
        } else {
            while (end < line.size() && end - pos <= 40 && InClass(line[end], piece.conversion)) end++;
            if (end == pos || end - pos > 40) return false;
        }
        if (!ReadPart(row, piece, line.substr(pos, end - pos), v.part[i])) return false;
        pos = end;
    }
    v.count = conversions;
    if (line.substr(pos) != tail) return false;
    return !row.agrees || row.agrees(v);
}

Json LineJson(const Row& row, const LineValue& value) {
    const RowForm& form = Form(row);
    const size_t conversions = form.pieces.size() - 1;
    if (conversions == 0) return Json();
    if (conversions == 1) return PartJson(row, form.pieces[0], value.part[0]);
    Json out = Json::object();
    auto& members = out.get_ref<Json::object_t&>();
    for (size_t i = 0; i < conversions; ++i) members.emplace_back(form.parts[i], PartJson(row, form.pieces[i], value.part[i]));
    return out;
}

bool ReadLine(const Row& row, std::string_view line, Json* value) {
    LineValue v;
    if (!ReadLineValue(row, line, &v)) return false;
    if (value) *value = LineJson(row, v);
    return true;
}

void WriteLineTo(const Row& row, const Json& value, std::string& out) {
    const RowForm& form = Form(row);
    const size_t conversions = form.pieces.size() - 1;
    for (size_t i = 0; i < conversions; ++i) {
        out += form.pieces[i].literal;
        WriteConversion(row, form.pieces[i], conversions > 1 ? value.at(form.parts[i]) : value, out);
    }
    out += form.pieces.back().literal;
}

std::string WriteLine(const Row& row, const Json& value) {
    std::string out;
    WriteLineTo(row, value, out);
    return out;
}

std::string BytesToJsonText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string JsonTextToBytes(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    AppendTextBytes(out, utf8);
    return out;
}

namespace rows {

#define FIXED(text) {text, nullptr, nullptr, nullptr, Text::Free, nullptr}
#define LINE(format) {format, nullptr, nullptr, nullptr, Text::Free, nullptr}
#define WORDS(format, words) {format, nullptr, nullptr, words, Text::Words, nullptr}
#define COUNTED(format, field) {format, nullptr, nullptr, nullptr, Text::Free, nullptr, field}

const Row kSections[5] = {FIXED("CPU"), FIXED("DirectX"), FIXED("OpenGL"), FIXED("Memory"), FIXED("Windows")};

const Row kProcessors = COUNTED("Number of Processors:%d", Field::Processors);
const Row kSpeed = COUNTED("CPU speed: %g", Field::Speed);
const Row kCpuidPresent = WORDS("CPUID present: %s", kYesNo);
const Row kVendor = {"%s", "vendor", nullptr, nullptr, Text::Free, nullptr, Field::CpuVendor};
const Row kSignature[4] = {LINE("CPUID1:0x%x"), LINE("Faimly: %d"), LINE("Model: %d"), LINE("Brand: %d")};
const Row kStandardFlags[3] = {WORDS("MMX  Capable: %s", kYesNo), WORDS("SSE  Capable: %s", kYesNo),
                               WORDS("SSE2 Capable: %s", kYesNo)};
const Row kExtendedPresent = WORDS("Extended CPUID present: %s", kYesNo);
const Row kBrand = {"%s", "brand", nullptr, nullptr, Text::Free, nullptr, Field::Brand};
const Row kExtendedFlags[3] = {WORDS("3dNow! Capable: %s", kYesNo), WORDS("3dNow!+ Capable: %s", kYesNo),
                               WORDS("MMXSSE Extension Capable: %s", kYesNo)};

#define SHADER(format, field) {format, nullptr, "major minor value", nullptr, Text::Free, ShaderVersionAgrees, field}
#define CAPS_1_TO_16(vs, ps)                                                                                     \
    LINE("MaxTextureWidth : %u"), LINE("MaxTextureHeight: %u"), LINE("MaxVolumeExtent: %u"),              \
        LINE("MaxTextureRepeat: %u"), LINE("MaxVertexW: %g"), LINE("MaxTextureBlendStages: %u"),          \
        LINE("MaxSimultaneousTextures: %u"), LINE("MaxActiveLights: %u"), LINE("MaxPointSize: %g"),       \
        LINE("MaxPrimitiveCount: %u"), LINE("MaxVertexIndex: %u"), LINE("MaxStreams: %u"),                \
        LINE("MaxStreamStride: %u"), SHADER("VertexShaderVersion: [%d.%d] %u", vs),                           \
        LINE("MaxVertexShaderConst: %u"), SHADER("PixelShaderVersion: [%d.%d] %u", ps)

const Row kDirectX9 = FIXED("DirectX9.0");
const Row kHalCaps = FIXED("D3DDEVTYPE_HAL caps");
const Row kDirectX9Caps[21] = {CAPS_1_TO_16(Field::VertexShader, Field::PixelShader),
                               LINE("MaxPixelShaderValue (1x): %g"),
                               LINE("MaxVertexShaderInstructionsExecuted: %d"),
                               LINE("MaxPixelShaderInstructionsExecuted: %d"),
                               LINE("MaxVertexShader30InstructionSlots: %d"),
                               LINE("MaxPixelShader30InstructionSlots: %d")};

const Row kDirectX8 = FIXED("DirectX8.1");
const Row kDescription = {"%s", "description", nullptr, nullptr, Text::Free, nullptr, Field::Description};
const Row kDriver = {"%s", "driver", nullptr, nullptr, Text::Free, nullptr, Field::Driver};
const Row kDriverLines[5] = {COUNTED("DriverVersion:%d", Field::DriverVersion), COUNTED("VendorId: %d", Field::VendorId),
                             COUNTED("DeviceId: %d", Field::DeviceId),
                             LINE("SubSysId: %d"), LINE("Revision: %d")};
const Row kDisplayModes8 = FIXED("Display Modes");
const Row kMode8 = {"%dx%d @ %d Hz [FMT:0x%x]", nullptr, "width height refresh format", nullptr, Text::Free,
                    nullptr};
const Row kCapsFlags[9] = {WORDS("DeviceType: %s", kDeviceTypes),
                           WORDS("ReadScanLine: %s", kTrueFalse),
                           WORDS("Gamma Calibrator: %s", kTrueFalse),
                           WORDS("Render in Window: %s", kTrueFalse),
                           WORDS("Driver Managed Resources: %s", kTrueFalse),
                           WORDS("Dynamic Texture Support: %s", kTrueFalse),
                           WORDS("Fullscreen Gamma Calibrator: %s", kTrueFalse),
                           WORDS("Partitioned Rendering: %s", kTrueFalse),
                           WORDS("Fullscreen Alphablend flip support : %s", kTrueFalse)};
const Row kFlipSync = FIXED("Video Flip Synchronization");
const Row kIntervals[5] = {WORDS("Immediate:%s", kSupported), WORDS("Every Refresh:%s", kSupported),
                           WORDS("Every Second Refresh:%s", kSupported), WORDS("Every Third Refresh:%s", kSupported),
                           WORDS("Every Fourth Refresh:%s", kSupported)};
const Row kDirectX8Caps[17] = {CAPS_1_TO_16(Field::None, Field::None), LINE("MaxPixelShaderValue: %g")};
const Row kTextureMemory = {"Available Texture Memory: %d [%d MB]", nullptr, "bytes MB", nullptr, Text::Free,
                            MegabytesAgree, Field::TextureMemory};
const Row kDirectShow = FIXED("DirectShow");
const Row kCategories[7] = {FIXED("Video Compressors"), FIXED("Video Input"), FIXED("Audio Compressors"),
                            FIXED("Audio Input"), FIXED("Audio Output"), FIXED("MIDI"), FIXED("DirectShow Filters")};
const Row kDeviceName = {"%s", "device", nullptr, nullptr, Text::Free, nullptr};

const Row kGLVersion = COUNTED("Version: %s", Field::GLVersion);
const Row kRenderer = {"%s", "renderer", nullptr, nullptr, Text::Free, nullptr, Field::Renderer};
const Row kGLVendor = COUNTED("Vendor: %s", Field::GLVendor);
const Row kDisplayModesGL = {"Display modes (%s)", "Display modes", nullptr, nullptr, Text::Free, nullptr};
const Row kModeGL = {"%dx%d @ %d Hz %d bpp", nullptr, "width height refresh bpp", nullptr, Text::Free, nullptr};
// Tagged: the checklist counts among the reports that hold this heading.
const Row kCaps = {"Caps", nullptr, nullptr, nullptr, Text::Free, nullptr, Field::Checklist};

const Row* ChecklistRows() {
    // Never destroyed, as the other rows are not: each keeps its form to the end.
    static const std::vector<std::string>* const formats = [] {
        auto* out = new std::vector<std::string>();
        for (const char* name : GLExtensionChecklist) out->push_back(std::string(name) + ":%s");
        return out;
    }();
    static const std::vector<Row>* const table = [] {
        auto* out = new std::vector<Row>();
        for (const std::string& format : *formats)
            out->push_back(Row{format.c_str(), nullptr, nullptr, kPresent, Text::Words, nullptr, Field::Checklist});
        return out;
    }();
    return table->data();
}

size_t ChecklistSize() { return kGLExtensionCount; }

const Row kRam = FIXED("RAM");
const Row kMemoryTotals[2] = {
    {"Total Physical Memory: %d [%d MB]", nullptr, "bytes MB", nullptr, Text::Free, MegabytesAgree,
     Field::PhysicalMemory},
    {"Total Virtual Memory: %d [%d MB]", nullptr, "bytes MB", nullptr, Text::Free, MegabytesAgree,
     Field::VirtualMemory}};
const Row kHardDrive = LINE("Hard Drive %d");
const Row kDriveLines[5] = {
    LINE("Cylinders: %d"), LINE("Tracks: %d"), LINE("Sectors: %d"), LINE("Sector size: %d"),
    {"Total Capacity: %s [%d MB] [0x%x %.8x]", nullptr, "bytes MB high low", nullptr, Text::Decimal64,
     CapacityAgrees, Field::Capacity}};

const Row kWindowsLines[11] = {COUNTED("Build:%d", Field::Build),
                               COUNTED("Major:%d", Field::Major),
                               COUNTED("Minor:%d", Field::Minor),
                               COUNTED("ServicePack:%s", Field::ServicePack),
                               LINE("Network:0x%x"),
                               LINE("System Dir:%s"),
                               LINE("Windows Dir:%s"),
                               LINE("Computer Name:%s"),
                               LINE("User Name:%s"),
                               {"Connected to Internet:%s", nullptr, nullptr, kTrueFalse, Text::Words, nullptr,
                                Field::Connected},
                               {"Internet Connection:%s", nullptr, nullptr, nullptr, Text::Connection, nullptr,
                                Field::Connection}};

}  // namespace rows

const char* FieldPlace(Field field) {
    switch (field) {
    case Field::None: break;
    case Field::Processors: return "CPU > Number of Processors";
    case Field::Speed: return "CPU > CPU speed";
    case Field::CpuVendor: return "CPU > vendor";
    case Field::Brand: return "CPU > brand";
    case Field::VertexShader: return "DirectX > DirectX9.0 > VertexShaderVersion";
    case Field::PixelShader: return "DirectX > DirectX9.0 > PixelShaderVersion";
    case Field::Description: return "DirectX > DirectX8.1 > description";
    case Field::Driver: return "DirectX > DirectX8.1 > driver";
    case Field::DriverVersion: return "DirectX > DirectX8.1 > DriverVersion";
    case Field::VendorId: return "DirectX > DirectX8.1 > VendorId";
    case Field::DeviceId: return "DirectX > DirectX8.1 > DeviceId";
    case Field::TextureMemory: return "DirectX > DirectX8.1 > D3DDEVTYPE_HAL caps > Available Texture Memory > MB";
    case Field::GLVersion: return "OpenGL > Version";
    case Field::Renderer: return "OpenGL > renderer";
    case Field::GLVendor: return "OpenGL > Vendor";
    case Field::Checklist: return "OpenGL > Caps";
    case Field::PhysicalMemory: return "Memory > RAM > Total Physical Memory > MB";
    case Field::VirtualMemory: return "Memory > RAM > Total Virtual Memory > MB";
    case Field::Capacity: return "Memory > drives > Total Capacity > MB";
    case Field::Build: return "Windows > Build";
    case Field::Major: return "Windows > Major";
    case Field::Minor: return "Windows > Minor";
    case Field::ServicePack: return "Windows > ServicePack";
    case Field::Connected: return "Windows > Connected to Internet";
    case Field::Connection: return "Windows > Internet Connection";
    }
    return "";
}
