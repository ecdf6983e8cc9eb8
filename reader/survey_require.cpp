// --require: the one table of fields a requirement may name, its one parser, and a
// report judged against it.
#include <cstdlib>
#include <cstring>

#include "reader/survey_count.h"

namespace {

// A field's value on a machine: one number, or a version's parts; false: unknown.
using Getter = bool (*)(const Machine&, std::vector<double>&);

struct RequirementField {
    const char* name;
    size_t parts;      // 0: a number; otherwise a version of at most so many parts
    const char* what;  // what its value is, for messages
    Getter get;
};

bool Version(int64_t major, int64_t minor, std::vector<double>& out) {
    out = {static_cast<double>(major), static_cast<double>(minor)};
    return true;
}

const RequirementField kFields[] = {
    {"memory", 0, "a number of MB of physical memory, such as 512",
     [](const Machine& m, std::vector<double>& v) { return m.has_memory && (v = {double(m.memory)}, true); }},
    {"clock", 0, "a number of MHz, such as 1500",
     [](const Machine& m, std::vector<double>& v) { return m.has_clock && (v = {m.clock}, true); }},
    {"processors", 0, "a number of processors, such as 2",
     [](const Machine& m, std::vector<double>& v) { return m.has_processors && (v = {double(m.processors)}, true); }},
    {"texture", 0, "a number of MB of texture memory, such as 128",
     [](const Machine& m, std::vector<double>& v) { return m.has_texture && (v = {double(m.texture)}, true); }},
    {"ps", 2, "a pixel shader version, such as 2.0",
     [](const Machine& m, std::vector<double>& v) { return m.has_ps && Version(m.ps_major, m.ps_minor, v); }},
    {"vs", 2, "a vertex shader version, such as 1.1",
     [](const Machine& m, std::vector<double>& v) { return m.has_vs && Version(m.vs_major, m.vs_minor, v); }},
    {"gl", 2, "an OpenGL version, such as 2.1",
     [](const Machine& m, std::vector<double>& v) {
         const std::string version = m.has_gl ? GLMajorMinor(m.gl) : "";
         if (version.empty()) return false;
         const size_t dot = version.find('.');
         return Version(std::atoll(version.c_str()), std::atoll(version.c_str() + dot + 1), v);
     }},
    {"windows", 3, "a Windows version, such as 6.1 or 10.0.22000",
     [](const Machine& m, std::vector<double>& v) {
         if (!m.has_major || !m.has_minor) return false;
         Version(m.major, m.minor, v);
         if (m.has_build) v.push_back(static_cast<double>(m.build));
         return true;
     }},
};
const size_t kFieldCount = sizeof kFields / sizeof kFields[0];
const char* const kOperators[] = {">=", "<=", "!=", ">", "<", "="};

std::string Accepted() {
    std::string out = "accepted: ";
    for (size_t i = 0; i < kFieldCount; ++i) out += std::string(i ? ", " : "") + kFields[i].name;
    return out + " with >=, >, <=, <, = or != and a value (memory>=512, windows>=6.1), or a checklist name "
                 "(GL_ARB_multitexture)";
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Digits with at most one point ("512", "1.5"), or a version of at most parts parts.
bool Value(const std::string& text, size_t parts, std::vector<double>& out) {
    out.clear();
    size_t at = 0;
    while (at <= text.size()) {
        const size_t dot = text.find('.', at);
        const std::string piece = text.substr(at, dot == std::string::npos ? std::string::npos : dot - at);
        if (piece.empty() || piece.size() > 9 || piece.find_first_not_of("0123456789") != std::string::npos)
            return false;
        out.push_back(std::strtod(piece.c_str(), nullptr));
        if (dot == std::string::npos) break;
        at = dot + 1;
    }
    if (parts == 0) {
        if (out.size() > 2) return false;
        if (out.size() == 2) out = {std::strtod(text.c_str(), nullptr)};
        return true;
    }
    return out.size() <= parts;
}

}  // namespace

bool ParseRequirement(const std::string& given, Requirement* out, std::string* error) {
    const std::string text = Trim(given);
    const std::string quoted = "--require \"" + given + "\": ";
    const size_t op_at = text.find_first_of("<>=!");
    if (op_at == std::string::npos) {
        for (size_t k = 0; k < rows::ChecklistSize(); ++k)
            if (text == RowKey(rows::ChecklistRows()[k])) {
                *out = Requirement();
                out->expression = text;
                out->field = kFieldCount;
                out->checklist = k;
                return true;
            }
        *error = quoted + "neither a checklist name nor a field with a comparison; " + Accepted();
        return false;
    }
    const std::string name = Trim(text.substr(0, op_at));
    size_t field = 0;
    while (field < kFieldCount && name != kFields[field].name) field++;
    if (field == kFieldCount) {
        *error = quoted + "unknown field \"" + name + "\"; " + Accepted();
        return false;
    }
    const size_t op_end = text.find_first_not_of("<>=!", op_at);
    const std::string op = text.substr(op_at, op_end == std::string::npos ? std::string::npos : op_end - op_at);
    bool known = false;
    for (const char* accepted : kOperators) known = known || op == accepted;
    if (!known) {
        *error = quoted + "unknown operator \"" + op + "\"; accepted: >=, >, <=, <, =, !=";
        return false;
    }
    const std::string value = Trim(op_end == std::string::npos ? "" : text.substr(op_end));
    Requirement r;
    if (!Value(value, kFields[field].parts, r.value)) {
        *error = quoted + "\"" + value + "\" is not " + kFields[field].what;
        return false;
    }
    r.expression = std::string(kFields[field].name) + op + value;
    r.field = field;
    r.op = op;
    *out = r;
    return true;
}

Judged Judge(const Requirement& r, const Machine& m) {
    if (r.field == kFieldCount) {
        if (!m.has_checklist) return Judged::Unknown;
        return m.present[r.checklist] ? Judged::Meets : Judged::Fails;
    }
    std::vector<double> have;
    if (!kFields[r.field].get(m, have) || have.size() < r.value.size()) return Judged::Unknown;
    int order = 0;  // compared part by part, as far as the requirement names parts
    for (size_t i = 0; i < r.value.size() && order == 0; ++i) order = have[i] < r.value[i] ? -1 : have[i] > r.value[i];
    const std::string& op = r.op;
    const bool meets = op == ">=" ? order >= 0 : op == ">" ? order > 0 : op == "<=" ? order <= 0 : op == "<" ? order < 0
                     : op == "=" ? order == 0 : order != 0;
    return meets ? Judged::Meets : Judged::Fails;
}

std::vector<std::string> RequirementFieldLines() {
    std::vector<std::string> out;
    for (const RequirementField& f : kFields) out.push_back(std::string(f.name) + "|" + f.what);
    return out;
}
