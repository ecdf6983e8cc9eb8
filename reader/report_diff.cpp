// Two documents walked side by side. Lists of adapters and drives pair up by
// position; lists of modes, device names and unfit lines by what they hold, since a
// new device or mode anywhere in the list is one difference, not a shifted tail.
#include "reader/report_diff.h"

#include <cmath>
#include <map>

#include "reader/report_reader.h"
#include "report/format.h"

namespace {

class Differ {
public:
    Differ(double tolerance, std::vector<std::string>& out) : tolerance_(tolerance), out_(out) {}

    void Object(const std::string& place, const Json& a, const Json& b) {
        for (auto it = a.begin(); it != a.end(); ++it) {
            const std::string here = Join(place, it.key());
            if (b.contains(it.key()))
                Value(here, it.key(), it.value(), b.at(it.key()));
            else
                Lone(here, it.value(), "gone");
        }
        for (auto it = b.begin(); it != b.end(); ++it)
            if (!a.contains(it.key())) Lone(Join(place, it.key()), it.value(), "appeared");
    }

private:
    static std::string Join(const std::string& place, const std::string& key) {
        return place.empty() ? key : place + " > " + key;
    }

    static std::string Shown(const Json& v) {
        if (v.is_string()) {
            std::string bytes;
            try {
                bytes = JsonTextToBytes(v.get<std::string>());
            } catch (const std::exception&) {
                return v.dump();
            }
            return "\"" + Excerpt(bytes, 120) + "\"";
        }
        if (v.is_number_float()) {  // as the report prints it
            char text[64];
            FormatLine(text, sizeof text, "%g", v.get<double>());
            return text;
        }
        return v.dump();
    }

    void Lone(const std::string& place, const Json& v, const char* what) {
        if (v.is_structured())
            out_.push_back(place + ": " + what);
        else if (std::string(what) == "gone")
            out_.push_back(place + ": " + Shown(v) + " -> (none)");
        else
            out_.push_back(place + ": (none) -> " + Shown(v));
    }

    void Value(const std::string& place, const std::string& key, const Json& a, const Json& b) {
        if (a.is_object() && b.is_object()) return Object(place, a, b);
        if (a.is_array() && b.is_array()) return List(place, key, a, b);
        if (a == b) return;
        if (place == FieldPlace(Field::Speed) && a.is_number() && b.is_number()) {
            const double x = a.get<double>(), y = b.get<double>();
            if (std::fabs(x - y) <= std::fabs(x) * tolerance_ / 100.0) return;
        }
        out_.push_back(place + ": " + Shown(a) + " -> " + Shown(b));
    }

    // How an item of a list that pairs by content is named.
    static std::string Item(const std::string& key, const Json& v) {
        try {
            if (key == "Display Modes") return WriteLine(rows::kMode8, v);
            if (key == "modes") return WriteLine(rows::kModeGL, v);
            if (key == "unfit") return "\"" + Excerpt(JsonTextToBytes(v.at("text").get<std::string>()), 120) + "\"";
        } catch (const std::exception&) {
        }
        return Shown(v);
    }

    void List(const std::string& place, const std::string& key, const Json& a, const Json& b) {
        const bool by_content = key == "Display Modes" || key == "modes" || key == "unfit" ||
                                (!a.empty() && !a[0].is_structured()) || (!b.empty() && !b[0].is_structured());
        if (by_content) {
            std::map<std::string, int> count;
            for (const Json& v : b) count[Item(key, v)]++;
            for (const Json& v : a)
                if (count[Item(key, v)]-- <= 0) out_.push_back(place + ": gone: " + Item(key, v));
            count.clear();
            for (const Json& v : a) count[Item(key, v)]++;
            for (const Json& v : b)
                if (count[Item(key, v)]-- <= 0) out_.push_back(place + ": appeared: " + Item(key, v));
            return;
        }
        const char* noun = key == "drives" ? "Hard Drive" : (key == "DirectX9.0" || key == "DirectX8.1") ? "adapter" : "item";
        for (size_t i = 0; i < a.size() || i < b.size(); ++i) {
            const std::string here = place + " > " + noun + " " + std::to_string(i);
            if (i >= b.size())
                Lone(here, a[i], "gone");
            else if (i >= a.size())
                Lone(here, b[i], "appeared");
            else
                Value(here, key, a[i], b[i]);
        }
    }

    double tolerance_;
    std::vector<std::string>& out_;
};

// What says where a report ends early, for one line.
std::string EndShown(const Json& doc) {
    if (!doc.contains("ends_early")) return "whole";
    const Json& end = doc.at("ends_early");
    return "ends early in \"" + end.value("section", "") + "\" after line " + end.at("after_line").dump();
}

}  // namespace

std::vector<std::string> DiffReports(const Json& a, const Json& b, double clock_tolerance_percent) {
    std::vector<std::string> out;
    if (EndShown(a) != EndShown(b)) out.push_back("end: " + EndShown(a) + " -> " + EndShown(b));
    Json x = a, y = b;
    for (const char* key : {"format", "encoding", "line_count", "ends_early"}) {
        x.erase(key);
        y.erase(key);
    }
    Differ(clock_tolerance_percent, out).Object("", x, y);
    return out;
}
