#include "reader/json_text.h"

#include <charconv>

namespace {

void Indent(std::string& out, int indent, int depth) {
    out += '\n';
    out.append(static_cast<size_t>(indent) * depth, ' ');
}

void Text(std::string& out, const std::string& text, Json::error_handler_t utf8) {
    static const char kHex[] = "0123456789abcdef";
    const size_t start = out.size();
    out += '"';
    const char* run = text.data();
    const char* const end = run + text.size();
    // Bytes that need a look: controls, '"', '\\' and all beyond ASCII.
    static const struct Plain {
        bool byte[256];
        Plain() : byte() {
            for (int c = 0x20; c < 0x80; ++c) byte[c] = c != '"' && c != '\\';
        }
    } kPlain;
    for (const char* p = run; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (kPlain.byte[c]) continue;
        if (c >= 0x80) {  // beyond ASCII its own writer checks and keeps UTF-8 as it does
            out.resize(start);
            out += Json(text).dump(-1, ' ', false, utf8);
            return;
        }
        out.append(run, p);
        run = p + 1;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    out.append(run, end);
    out += '"';
}

template <class T>
void Integer(std::string& out, T n) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

void Value(std::string& out, const Json& v, int indent, Json::error_handler_t utf8, int depth) {
    switch (v.type()) {
    case Json::value_t::object: {
        if (v.empty()) {
            out += "{}";
            return;
        }
        out += '{';
        bool first = true;
        for (const auto& member : v.get_ref<const Json::object_t&>()) {
            if (!first) out += ',';
            first = false;
            if (indent >= 0) Indent(out, indent, depth + 1);
            Text(out, member.first, utf8);
            out += indent >= 0 ? ": " : ":";
            Value(out, member.second, indent, utf8, depth + 1);
        }
        if (indent >= 0) Indent(out, indent, depth);
        out += '}';
        return;
    }
    case Json::value_t::array: {
        if (v.empty()) {
            out += "[]";
            return;
        }
        out += '[';
        bool first = true;
        for (const Json& item : v) {
            if (!first) out += ',';
            first = false;
            if (indent >= 0) Indent(out, indent, depth + 1);
            Value(out, item, indent, utf8, depth + 1);
        }
        if (indent >= 0) Indent(out, indent, depth);
        out += ']';
        return;
    }
    case Json::value_t::string: return Text(out, v.get_ref<const std::string&>(), utf8);
    case Json::value_t::number_integer: return Integer(out, v.get<int64_t>());
    case Json::value_t::number_unsigned: return Integer(out, v.get<uint64_t>());
    case Json::value_t::boolean: out += v.get<bool>() ? "true" : "false"; return;
    case Json::value_t::null: out += "null"; return;
    default: out += v.dump(-1, ' ', false, utf8); return;  // floating point, as its writer rounds it
    }
}

}  // namespace

std::string JsonText(const Json& value, int indent, Json::error_handler_t utf8) {
    std::string out;
    out.reserve(1 << 14);
    Value(out, value, indent, utf8, 0);
    return out;
}
