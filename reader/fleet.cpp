#include "reader/fleet.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <unordered_map>

#include "report/format.h"

namespace {

enum class Kind { Values, Number, Checklist };

struct Field {
    Kind kind;
    const char* path;  // "/" between keys; "*": each item of a list
};

// In the report's order. Memory is counted in the lines' own megabytes: their byte
// counts are printed by "%d" and go negative past 2 GB.
const Field kFields[] = {
    {Kind::Values, "CPU/Number of Processors"},
    {Kind::Number, "CPU/CPU speed"},
    {Kind::Values, "CPU/vendor"},
    {Kind::Values, "CPU/brand"},
    {Kind::Values, "DirectX/DirectX9.0/*/VertexShaderVersion"},
    {Kind::Values, "DirectX/DirectX9.0/*/PixelShaderVersion"},
    {Kind::Values, "DirectX/DirectX8.1/*/description"},
    {Kind::Values, "DirectX/DirectX8.1/*/driver"},
    {Kind::Values, "DirectX/DirectX8.1/*/DriverVersion"},
    {Kind::Number, "DirectX/DirectX8.1/*/D3DDEVTYPE_HAL caps/Available Texture Memory/MB"},
    {Kind::Values, "OpenGL/Version"},
    {Kind::Values, "OpenGL/renderer"},
    {Kind::Values, "OpenGL/Vendor"},
    {Kind::Checklist, "OpenGL/Caps"},
    {Kind::Number, "Memory/RAM/Total Physical Memory/MB"},
    {Kind::Number, "Memory/RAM/Total Virtual Memory/MB"},
    {Kind::Number, "Memory/drives/*/Total Capacity/MB"},
    {Kind::Values, "Windows/Build"},
    {Kind::Values, "Windows/ServicePack"},
    {Kind::Values, "Windows/Connected to Internet"},
    {Kind::Values, "Windows/Internet Connection"},
};
const size_t kFieldCount = sizeof kFields / sizeof kFields[0];

// How the field is named in the summary: "DirectX > DirectX8.1 > DriverVersion".
std::string Place(const Field& field) {
    std::string out;
    std::string_view rest = field.path;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view key = rest.substr(0, slash);
        if (key != "*") out += (out.empty() ? "" : " > ") + std::string(key);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    return out;
}

// Every value at path below node.
void Collect(const Json& node, std::string_view path, std::vector<const Json*>& out) {
    if (path.empty()) {
        out.push_back(&node);
        return;
    }
    const size_t slash = path.find('/');
    const std::string key(path.substr(0, slash));
    const std::string_view rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (key == "*") {
        if (node.is_array())
            for (const Json& item : node) Collect(item, rest, out);
    } else if (node.is_object()) {
        const auto it = node.find(key);
        if (it != node.end()) Collect(*it, rest, out);
    }
}

const std::unordered_map<std::string, size_t>& ChecklistIndex() {
    static const std::unordered_map<std::string, size_t> index = [] {
        std::unordered_map<std::string, size_t> out;
        for (size_t i = 0; i < rows::ChecklistSize(); ++i) out[RowKey(rows::ChecklistRows()[i])] = i;
        return out;
    }();
    return index;
}

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
    : present_(rows::ChecklistSize()), values_(kFieldCount), none_(kFieldCount), numbers_(kFieldCount) {}

void FleetSummary::Add(const Reading& reading) {
    if (!reading.report) {
        not_reports_++;
        return;
    }
    reports_++;
    if (!reading.Whole()) not_whole_++;
    std::vector<const Json*> found;
    for (size_t i = 0; i < kFieldCount; ++i) {
        found.clear();
        Collect(reading.doc, kFields[i].path, found);
        switch (kFields[i].kind) {
        case Kind::Values: {
            std::set<Json> held;  // a value two adapters share counts once for the report
            for (const Json* v : found) {
                if (v->is_object() && v->contains("major") && v->contains("minor"))
                    held.insert(v->at("major").dump() + "." + v->at("minor").dump());
                else if (v->is_primitive() && !v->is_null())
                    held.insert(*v);
            }
            for (const Json& v : held) values_[i][v]++;
            if (held.empty()) none_[i]++;
            break;
        }
        case Kind::Number:
            for (const Json* v : found)
                if (v->is_number() && std::isfinite(v->get<double>())) numbers_[i][v->get<double>()]++;
            break;
        case Kind::Checklist:
            if (found.empty() || !found[0]->is_object()) break;
            checklist_read_++;
            for (const auto& [name, word] : found[0]->items()) {
                const auto at = ChecklistIndex().find(name);
                if (at != ChecklistIndex().end() && word == "present") present_[at->second]++;
            }
            break;
        }
    }
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
