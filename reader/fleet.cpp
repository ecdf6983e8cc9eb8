#include "reader/fleet.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <unordered_map>

#include "report/format.h"

namespace {

enum class Kind { Values, Number, Checklist };

struct Counted {
    Field field;
    Kind kind;
};

// In the report's order. Memory is counted in the lines' own megabytes: their byte
// counts are printed by "%d" and go negative past 2 GB.
const Counted kFields[] = {
    {Field::Processors, Kind::Values},    {Field::Speed, Kind::Number},
    {Field::CpuVendor, Kind::Values},     {Field::Brand, Kind::Values},
    {Field::VertexShader, Kind::Values},  {Field::PixelShader, Kind::Values},
    {Field::Description, Kind::Values},   {Field::Driver, Kind::Values},
    {Field::DriverVersion, Kind::Values}, {Field::TextureMemory, Kind::Number},
    {Field::GLVersion, Kind::Values},     {Field::Renderer, Kind::Values},
    {Field::GLVendor, Kind::Values},      {Field::Checklist, Kind::Checklist},
    {Field::PhysicalMemory, Kind::Number}, {Field::VirtualMemory, Kind::Number},
    {Field::Capacity, Kind::Number},      {Field::Build, Kind::Values},
    {Field::ServicePack, Kind::Values},   {Field::Connected, Kind::Values},
    {Field::Connection, Kind::Values},
};
const size_t kFieldCount = sizeof kFields / sizeof kFields[0];

// The place in kFields of each field, or kFieldCount.
size_t FieldIndex(Field field) {
    static const std::vector<size_t> index = [] {
        std::vector<size_t> out(static_cast<size_t>(Field::Connection) + 1, kFieldCount);
        for (size_t i = 0; i < kFieldCount; ++i) out[static_cast<size_t>(kFields[i].field)] = i;
        return out;
    }();
    const auto at = static_cast<size_t>(field);
    return at < index.size() ? index[at] : kFieldCount;
}

std::string Place(const Counted& field) { return FieldPlace(field.field); }

bool Integral(double v) { return std::fabs(v) < 1e15 && v == std::floor(v); }

std::string NumberText(double v) {
    char text[64];
    if (Integral(v))
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v));
    else
        FormatLine(text, sizeof text, "%g", v);  // as the report prints it
    return text;
}

Json NumberJson(double v) {
    if (Integral(v)) return static_cast<int64_t>(v);
    return v;
}

std::string ValueText(const Json& v) {
    if (v.is_string()) return "\"" + Excerpt(JsonTextToBytes(v.get<std::string>()), 200) + "\"";
    return v.dump();
}

std::string Share(uint64_t n, uint64_t of) {
    char text[96];
    std::snprintf(text, sizeof text, "%llu of %llu (%.1f %%)", static_cast<unsigned long long>(n),
                  static_cast<unsigned long long>(of), of ? 100.0 * n / of : 0.0);
    return text;
}

// The middle value, the lower of the two middle ones for an even count: always a
// value some machine gave.
double Median(const std::map<double, uint64_t>& counts, uint64_t total) {
    uint64_t seen = 0;
    for (const auto& [value, count] : counts) {
        seen += count;
        if (seen > (total - 1) / 2) return value;
    }
    return 0;
}

uint64_t Total(const std::map<double, uint64_t>& counts) {
    uint64_t total = 0;
    for (const auto& entry : counts) total += entry.second;
    return total;
}

}  // namespace

FleetSummary::FleetSummary()
    : present_(rows::ChecklistSize()), values_(kFieldCount), none_(kFieldCount), numbers_(kFieldCount),
      held_(kFieldCount), seen_(kFieldCount) {}

void FleetSummary::Take(const Row& row, const LineValue& value, size_t) {
    const size_t i = FieldIndex(row.field);
    if (i == kFieldCount) return;
    switch (kFields[i].kind) {
    case Kind::Values:
        if (value.count == 3)  // a shader version: "major.minor"
            held_[i].push_back(std::to_string(value.Number(0)) + "." + std::to_string(value.Number(1)));
        else
            held_[i].push_back(LineJson(row, value));
        break;
    case Kind::Number: {
        // One value, or the megabytes of a line that holds bytes and megabytes.
        const double v = value.count > 1 ? static_cast<double>(value.Number(1)) : value.part[0].real;
        if (std::isfinite(v)) seen_[i].push_back(v);
        break;
    }
    case Kind::Checklist:
        if (&row == &rows::kCaps)
            checklist_now_ = true;
        else if (value.Token() == "present")
            present_now_.push_back(static_cast<size_t>(&row - rows::ChecklistRows()));
        break;
    }
}

void FleetSummary::Add(const Reading& reading) {
    if (!reading.report) {
        not_reports_++;
    } else {
        reports_++;
        if (!reading.Whole()) not_whole_++;
        for (size_t i = 0; i < kFieldCount; ++i) {
            switch (kFields[i].kind) {
            case Kind::Values: {
                std::set<Json> held(held_[i].begin(), held_[i].end());  // a value two adapters share counts once
                for (const Json& v : held) values_[i][v]++;
                if (held.empty()) none_[i]++;
                break;
            }
            case Kind::Number:
                for (double v : seen_[i]) numbers_[i][v]++;
                break;
            case Kind::Checklist:
                if (!checklist_now_) break;
                checklist_read_++;
                for (size_t k : present_now_) present_[k]++;
                break;
            }
        }
    }
    for (auto& held : held_) held.clear();
    for (auto& seen : seen_) seen.clear();
    present_now_.clear();
    checklist_now_ = false;
}

std::string FleetSummary::Text() const {
    std::string out;
    auto line = [&](const std::string& text) { out += text + "\n"; };
    line("files: " + std::to_string(reports_ + not_reports_ + not_read_));
    line("reports: " + std::to_string(reports_));
    line("reports not whole: " + std::to_string(not_whole_));
    line("files not reports: " + std::to_string(not_reports_));
    line("files not read: " + std::to_string(not_read_));
    line("names of a file given again: " + std::to_string(twice_));
    if (reports_ == 0) return out;
    line("");
    for (size_t i = 0; i < kFieldCount; ++i) {
        const std::string place = Place(kFields[i]);
        switch (kFields[i].kind) {
        case Kind::Values:
            for (const auto& [value, count] : values_[i])
                line(place + ": " + ValueText(value) + ": " + Share(count, reports_));
            if (none_[i]) line(place + ": (none): " + Share(none_[i], reports_));
            break;
        case Kind::Number: {
            const uint64_t total = Total(numbers_[i]);
            if (total == 0) {
                line(place + ": no values");
                break;
            }
            line(place + ": min " + NumberText(numbers_[i].begin()->first) + ", median " +
                 NumberText(Median(numbers_[i], total)) + ", max " + NumberText(numbers_[i].rbegin()->first) + " (" +
                 std::to_string(total) + " values)");
            break;
        }
        case Kind::Checklist:
            line(place + ": in " + Share(checklist_read_, reports_));
            for (size_t k = 0; k < present_.size(); ++k)
                line(place + " > " + RowKey(rows::ChecklistRows()[k]) + ": present on " + Share(present_[k], reports_));
            break;
        }
    }
    return out;
}

Json FleetSummary::ToJson() const {
    Json fields = Json::object();
    for (size_t i = 0; i < kFieldCount; ++i) {
        Json& field = fields[Place(kFields[i])];
        switch (kFields[i].kind) {
        case Kind::Values:
            field["values"] = Json::array();
            for (const auto& [value, count] : values_[i])
                field["values"].push_back(Json{{"value", value}, {"reports", count}});
            field["none"] = none_[i];
            break;
        case Kind::Number: {
            const uint64_t total = Total(numbers_[i]);
            field["count"] = total;
            if (total == 0) break;
            field["min"] = NumberJson(numbers_[i].begin()->first);
            field["median"] = NumberJson(Median(numbers_[i], total));
            field["max"] = NumberJson(numbers_[i].rbegin()->first);
            break;
        }
        case Kind::Checklist:
            field["reports"] = checklist_read_;
            field["present"] = Json::object();
            for (size_t k = 0; k < present_.size(); ++k)
                field["present"][RowKey(rows::ChecklistRows()[k])] = present_[k];
            break;
        }
    }
    return Json{{"files", reports_ + not_reports_ + not_read_},
                {"reports", reports_},
                {"not_whole", not_whole_},
                {"not_reports", not_reports_},
                {"not_read", not_read_},
                {"named_again", twice_},
                {"fields", std::move(fields)}};
}
