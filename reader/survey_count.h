// The survey's counts: what each report holds of the surveyed fields, the bands
// they fall in, the requirements judged on them, and the tallies that add up across
// reports and across surveys of parts of a fleet.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "reader/pci_ids.h"
#include "reader/report_reader.h"

// The categories, in the order the survey shows them.
enum class Category {
    Windows, Processors, CpuVendor, Clock, Memory, GraphicsVendor, GraphicsDevice, PixelShader,
    TextureMemory, GLVersion,
};
const size_t kCategoryCount = 10;

struct CategoryInfo {
    const char* name;     // as the survey names it
    const char* counts;   // its exact values' member in "counts", or null when it has none
    const char* unit;     // after its median: "MB"; empty for none
    const char* note;     // shown under its title, or null
    bool banded;          // rows in the bands' order; otherwise the most common first
};
const CategoryInfo& Info(Category category);
// The category of that name, or false.
bool CategoryNamed(const std::string& name, Category* category);
// The band's place in the bands table, for ordering rows; a label of no band sorts last.
size_t BandOrder(Category category, const std::string& label);
// "4.5" from "4.5 (Compatibility Profile) Mesa 22.3.6"; empty when it starts otherwise.
std::string GLMajorMinor(const std::string& version);
// Every band, as the documentation lists them: "Physical memory: 512-1023 MB from 512".
std::vector<std::string> BandLines();

// What one report holds of the surveyed fields, as the walk told it.
struct Machine {
    bool has_processors = false, has_clock = false, has_memory = false, has_texture = false;
    bool has_ps = false, has_vs = false, has_vendor_id = false, has_device_id = false;
    bool has_major = false, has_minor = false, has_build = false, has_pack = false;
    bool has_cpu_vendor = false, has_gl = false, has_checklist = false;
    int64_t processors = 0, memory = 0, texture = 0, vendor_id = 0, device_id = 0;
    int64_t major = 0, minor = 0, build = 0;
    int64_t ps_major = 0, ps_minor = 0, vs_major = 0, vs_minor = 0;
    double clock = 0;
    std::string cpu_vendor, gl, pack;  // the report's bytes
    std::vector<bool> present;                     // by checklist row
};

// One --require: a field compared with a value, or a checklist name present.
struct Requirement {
    std::string expression;  // as the survey shows it: "memory>=512"
    size_t field = 0;        // in the requirement fields' table
    std::string op;          // ">=", ">", "<=", "<", "=", "!="; empty for a checklist name
    std::vector<double> value;  // a number, or a version's parts
    size_t checklist = 0;    // a checklist name: its row
};
// False, and a line naming what is accepted in *error, for an expression that is no
// requirement.
bool ParseRequirement(const std::string& text, Requirement* out, std::string* error);
enum class Judged { Meets, Fails, Unknown };
Judged Judge(const Requirement& requirement, const Machine& machine);
// The requirement fields, for messages and the documentation: "memory (MB)".
std::vector<std::string> RequirementFieldLines();

struct Tally {
    std::map<std::string, uint64_t> rows;  // label: reports
    uint64_t unknown = 0;
};

// Exact values, by their text as the report prints them, for medians that merge.
struct Histogram {
    std::map<double, std::pair<std::string, uint64_t>> values;
    void Add(double value, const std::string& text, uint64_t count);
    uint64_t Total() const;
    // The middle value, the lower of the two middle ones for an even count.
    const std::string* Median() const;
};

struct RequirementTally {
    uint64_t fails = 0, fails_only = 0, unknown = 0;
};

class SurveyCounts : public ReportObserver {
public:
    SurveyCounts(const PciDeviceNames* devices, std::vector<Requirement> requirements);
    void Take(const Row& row, const LineValue& value, size_t item) override;
    // One file read: its fields, told since the last Add, counted when it is a report.
    void Add(const Reading& reading);
    // A machine's fields counted as one more report (the walk's, or a test's).
    void Count(const Machine& machine);

    uint64_t reports = 0, not_whole = 0, not_reports = 0, not_read = 0, named_again = 0;
    Tally tallies[kCategoryCount];
    Histogram histograms[kCategoryCount];
    uint64_t checklist_of = 0;
    std::vector<uint64_t> present;  // by checklist row
    std::vector<Requirement> requirements;
    uint64_t meets = 0;
    std::vector<RequirementTally> judged;

private:
    const PciDeviceNames* devices_;
    Machine now_;
};
