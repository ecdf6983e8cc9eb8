#include "reader/survey_count.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "report/format.h"

namespace {

const CategoryInfo kCategories[kCategoryCount] = {
    {"Windows", nullptr, "", nullptr, false},
    {"Processors", "processors", "", nullptr, true},
    {"CPU vendor", nullptr, "", nullptr, false},
    {"CPU clock", "clock", "MHz", "The clock as the report measured it, in bands of 500 MHz; the median in whole MHz.",
     true},
    {"Physical memory", "memory", "MB",
     "The report's memory line stops at 2 GB (the 32-bit call it uses), so the top band is \"2 GB or more\".", true},
    {"Graphics vendor", nullptr, "", "The first Direct3D 8 adapter's VendorId, named from the PCI ID list.", false},
    {"Graphics device", nullptr, "", "The first Direct3D 8 adapter's VendorId and DeviceId.", false},
    {"Pixel shader", nullptr, "", "The first Direct3D 9 adapter's PixelShaderVersion.", true},
    {"Texture memory", "texture", "MB", "The first Direct3D 8 adapter's Available Texture Memory.", true},
    {"OpenGL version", nullptr, "", "Major.minor from the start of the OpenGL version string.", false},
};

// The bands, every category's in one table: a value falls in the last band of its
// category that starts at or below it; below the first it is unknown. Windows is
// banded by its version and build in one number, so Windows 11 is 10.0 from build
// 22000 (every such number is exact in a double).
#define WINDOWS(major, minor, build) (((major) * 100.0 + (minor)) * 1e6 + (build))
struct Band {
    Category category;
    double from;
    const char* label;
};
const double kNoLimit = -std::numeric_limits<double>::infinity();
const Band kBands[] = {
    {Category::Windows, 0, "before Windows 2000"},
    {Category::Windows, WINDOWS(5, 0, 0), "Windows 2000"},
    {Category::Windows, WINDOWS(5, 1, 0), "Windows XP"},
    {Category::Windows, WINDOWS(5, 2, 0), "Windows Server 2003"},
    {Category::Windows, WINDOWS(6, 0, 0), "Windows Vista"},
    {Category::Windows, WINDOWS(6, 1, 0), "Windows 7"},
    {Category::Windows, WINDOWS(6, 2, 0), "Windows 8"},
    {Category::Windows, WINDOWS(6, 3, 0), "Windows 8.1"},
    {Category::Windows, WINDOWS(6, 4, 0), "Windows 10"},  // early builds of 10 said 6.4
    {Category::Windows, WINDOWS(10, 0, 22000), "Windows 11"},
    {Category::Processors, 1, "1"},
    {Category::Processors, 2, "2"},
    {Category::Processors, 3, "3-4"},
    {Category::Processors, 5, "5 or more"},
    {Category::Clock, kNoLimit, "under 500 MHz"},
    {Category::Clock, 500, "500-999 MHz"},
    {Category::Clock, 1000, "1000-1499 MHz"},
    {Category::Clock, 1500, "1500-1999 MHz"},
    {Category::Clock, 2000, "2000-2499 MHz"},
    {Category::Clock, 2500, "2500-2999 MHz"},
    {Category::Clock, 3000, "3000-3499 MHz"},
    {Category::Clock, 3500, "3500-3999 MHz"},
    {Category::Clock, 4000, "4000-4499 MHz"},
    {Category::Clock, 4500, "4500 MHz or more"},
    {Category::Memory, kNoLimit, "under 64 MB"},
    {Category::Memory, 64, "64-127 MB"},
    {Category::Memory, 128, "128-255 MB"},
    {Category::Memory, 256, "256-511 MB"},
    {Category::Memory, 512, "512-1023 MB"},
    {Category::Memory, 1024, "1024-2046 MB"},
    {Category::Memory, 2047, "2 GB or more"},  // 2047 MB: the line's ceiling
    {Category::PixelShader, kNoLimit, "none"},
    {Category::PixelShader, 1, "1.x"},
    {Category::PixelShader, 2, "2.x"},
    {Category::PixelShader, 3, "3.0"},
    {Category::TextureMemory, kNoLimit, "under 32 MB"},
    {Category::TextureMemory, 32, "32-63 MB"},
    {Category::TextureMemory, 64, "64-127 MB"},
    {Category::TextureMemory, 128, "128-255 MB"},
    {Category::TextureMemory, 256, "256-511 MB"},
    {Category::TextureMemory, 512, "512-1023 MB"},
    {Category::TextureMemory, 1024, "1024-2047 MB"},
    {Category::TextureMemory, 2048, "2 GB or more"},
};
const size_t kBandCount = sizeof kBands / sizeof kBands[0];

const char* BandLabel(Category category, double value) {
    const char* label = nullptr;
    for (const Band& band : kBands)
        if (band.category == category && band.from <= value) label = band.label;
    return label;
}

// A text from a report as a row's label: on one line, printable, not too long.
std::string ReportText(const std::string& bytes) { return BytesToJsonText(Excerpt(bytes, 80)); }

std::string Hex4(int64_t value) {
    char text[16];
    FormatLine(text, sizeof text, "0x%.4x", static_cast<unsigned>(value & 0xFFFF));
    return text;
}

// A PCI number that names nothing: -1 is what the adapter gives when it has no
// number, and 0xFFFF is no vendor on the PCI bus; both count as unknown.
bool NoPciNumber(int64_t value) { return value == -1 || (value & 0xFFFF) == 0xFFFF; }

// "Service Pack 3" as "SP3"; any other text as it is.
std::string PackSuffix(const std::string& pack) {
    const std::string prefix = "Service Pack ";
    if (pack.empty()) return "";
    if (pack.compare(0, prefix.size(), prefix) == 0 && pack.size() > prefix.size() &&
        pack.find_first_not_of("0123456789", prefix.size()) == std::string::npos)
        return " SP" + pack.substr(prefix.size());
    return " " + ReportText(pack);
}

std::string IntegerText(int64_t value) { return std::to_string(value); }

}  // namespace

std::string GLMajorMinor(const std::string& version) {
    size_t i = 0;
    while (i < version.size() && version[i] >= '0' && version[i] <= '9') i++;
    if (i == 0 || i > 3 || i >= version.size() || version[i] != '.') return "";
    size_t j = i + 1;
    while (j < version.size() && version[j] >= '0' && version[j] <= '9') j++;
    if (j == i + 1 || j - i > 4) return "";
    return version.substr(0, j);
}

const CategoryInfo& Info(Category category) { return kCategories[static_cast<size_t>(category)]; }

bool CategoryNamed(const std::string& name, Category* category) {
    for (size_t i = 0; i < kCategoryCount; ++i)
        if (name == kCategories[i].name) {
            *category = static_cast<Category>(i);
            return true;
        }
    return false;
}

size_t BandOrder(Category category, const std::string& label) {
    for (size_t i = 0; i < kBandCount; ++i)
        if (kBands[i].category == category && label == kBands[i].label) return i;
    return kBandCount;
}

std::vector<std::string> BandLines() {
    std::vector<std::string> out;
    for (const Band& band : kBands) {
        std::string from = "-";
        if (band.category == Category::Windows) {
            const auto key = static_cast<int64_t>(band.from);
            from = std::to_string(key / 100000000) + "." + std::to_string(key / 1000000 % 100) +
                   (key % 1000000 ? " build " + std::to_string(key % 1000000) : "");
        } else if (band.from != kNoLimit) {
            from = std::to_string(static_cast<int64_t>(band.from));
        }
        out.push_back(std::string(Info(band.category).name) + "|" + band.label + "|" + from);
    }
    return out;
}

void Histogram::Add(double value, const std::string& text, uint64_t count) {
    auto& entry = values[value];
    if (entry.first.empty()) entry.first = text;
    entry.second += count;
}

uint64_t Histogram::Total() const {
    uint64_t total = 0;
    for (const auto& entry : values) total += entry.second.second;
    return total;
}

const std::string* Histogram::Median() const {
    const uint64_t total = Total();
    uint64_t seen = 0;
    for (const auto& entry : values) {
        seen += entry.second.second;
        if (seen > (total - 1) / 2) return &entry.second.first;
    }
    return nullptr;
}

SurveyCounts::SurveyCounts(const PciDeviceNames* devices, std::vector<Requirement> requirements_)
    : present(rows::ChecklistSize()), requirements(std::move(requirements_)), judged(requirements.size()),
      devices_(devices) {
    now_.present.assign(rows::ChecklistSize(), false);
}

void SurveyCounts::Take(const Row& row, const LineValue& v, size_t item) {
    Machine& m = now_;
    switch (row.field) {
    case Field::Processors: m.has_processors = true, m.processors = v.Number(); break;
    case Field::Speed:
        // "1.#INF" and the like are no clock.
        if (std::isfinite(v.part[0].real)) m.has_clock = true, m.clock = v.part[0].real;
        break;
    case Field::CpuVendor: m.has_cpu_vendor = true, m.cpu_vendor = std::string(v.Token()); break;
    case Field::PixelShader:
        if (item == 0) m.has_ps = true, m.ps_major = v.Number(0), m.ps_minor = v.Number(1);
        break;
    case Field::VertexShader:
        if (item == 0) m.has_vs = true, m.vs_major = v.Number(0), m.vs_minor = v.Number(1);
        break;
    case Field::VendorId:
        if (item == 0) m.has_vendor_id = true, m.vendor_id = v.Number();
        break;
    case Field::DeviceId:
        if (item == 0) m.has_device_id = true, m.device_id = v.Number();
        break;
    case Field::TextureMemory:
        if (item == 0) m.has_texture = true, m.texture = v.Number(1);
        break;
    case Field::GLVersion: m.has_gl = true, m.gl = std::string(v.Token()); break;
    case Field::Checklist:
        if (&row != &rows::kCaps && v.Token() == "present")
            m.present[static_cast<size_t>(&row - rows::ChecklistRows())] = true;
        // Held only when its last line is: a report cut inside it does not say what it lacks.
        if (&row == rows::ChecklistRows() + rows::ChecklistSize() - 1) m.has_checklist = true;
        break;
    case Field::PhysicalMemory: m.has_memory = true, m.memory = v.Number(1); break;
    case Field::Build: m.has_build = true, m.build = v.Number(); break;
    case Field::Major: m.has_major = true, m.major = v.Number(); break;
    case Field::Minor: m.has_minor = true, m.minor = v.Number(); break;
    case Field::ServicePack: m.has_pack = true, m.pack = std::string(v.Token()); break;
    default: break;
    }
}

void SurveyCounts::Add(const Reading& reading) {
    if (!reading.report) {
        not_reports++;
    } else {
        if (!reading.Whole()) not_whole++;
        Count(now_);
    }
    now_ = Machine();
    now_.present.assign(rows::ChecklistSize(), false);
}

void SurveyCounts::Count(const Machine& m) {
    reports++;
    std::string labels[kCategoryCount];
    auto band = [&](Category c, bool has, double value) {
        if (!has) return;
        const char* label = BandLabel(c, value);
        if (label) labels[static_cast<size_t>(c)] = label;
    };
    if (m.has_major && m.has_minor && m.major >= 0 && m.minor >= 0 && m.minor < 100) {
        const int64_t build = m.has_build && m.build > 0 && m.build < 1000000 ? m.build : 0;
        const double key = WINDOWS(static_cast<double>(m.major), static_cast<double>(m.minor), static_cast<double>(build));
        const char* name = BandLabel(Category::Windows, key);
        if (name) labels[0] = name + PackSuffix(m.has_pack ? m.pack : "");
    }
    band(Category::Processors, m.has_processors, static_cast<double>(m.processors));
    if (m.has_cpu_vendor && !m.cpu_vendor.empty()) labels[2] = ReportText(m.cpu_vendor);
    band(Category::Clock, m.has_clock, m.clock);
    band(Category::Memory, m.has_memory, static_cast<double>(m.memory));
    if (m.has_vendor_id && !NoPciNumber(m.vendor_id)) {
        const unsigned vendor = static_cast<unsigned>(m.vendor_id & 0xFFFF);
        const char* name = PciVendorName(vendor);
        labels[5] = name ? std::string(name) + " (" + Hex4(vendor) + ")" : Hex4(vendor);
        if (m.has_device_id && !NoPciNumber(m.device_id)) {
            const unsigned device = static_cast<unsigned>(m.device_id & 0xFFFF);
            const char* device_name = devices_ ? devices_->Name(vendor, device) : nullptr;
            const std::string numbers = Hex4(vendor) + ":" + Hex4(device);
            labels[6] = device_name ? std::string(device_name) + " (" + numbers + ")" : numbers;
        }
    }
    band(Category::PixelShader, m.has_ps, static_cast<double>(m.ps_major));
    band(Category::TextureMemory, m.has_texture, static_cast<double>(m.texture));
    if (m.has_gl) labels[9] = GLMajorMinor(m.gl);
    for (size_t c = 0; c < kCategoryCount; ++c) {
        if (labels[c].empty())
            tallies[c].unknown++;
        else
            tallies[c].rows[labels[c]]++;
    }

    if (m.has_processors && !labels[1].empty())
        histograms[1].Add(static_cast<double>(m.processors), IntegerText(m.processors), 1);
    // The clock in whole MHz: as many values as there are MHz, however large the fleet.
    if (m.has_clock && !labels[3].empty()) {
        const double mhz = std::floor(m.clock + 0.5);
        histograms[3].Add(mhz, IntegerText(static_cast<int64_t>(mhz)), 1);
    }
    if (m.has_memory && !labels[4].empty()) histograms[4].Add(static_cast<double>(m.memory), IntegerText(m.memory), 1);
    if (m.has_texture && !labels[8].empty())
        histograms[8].Add(static_cast<double>(m.texture), IntegerText(m.texture), 1);

    if (m.has_checklist) {
        checklist_of++;
        for (size_t k = 0; k < present.size(); ++k) present[k] += m.present[k];
    }

    if (requirements.empty()) return;
    size_t failed = 0, last_failed = 0;
    for (size_t r = 0; r < requirements.size(); ++r) {
        const Judged j = Judge(requirements[r], m);
        if (j == Judged::Meets) continue;
        judged[r].fails++;
        if (j == Judged::Unknown) judged[r].unknown++;
        failed++;
        last_failed = r;
    }
    if (failed == 0) meets++;
    if (failed == 1) judged[last_failed].fails_only++;
}
