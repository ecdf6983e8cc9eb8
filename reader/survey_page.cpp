#include "reader/survey_page.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "reader/survey.h"

namespace {

// The page's only style sheet; the Content-Security-Policy admits it by its hash and
// nothing else, so a style or script that escaped its text would still not apply.
const char kStyle[] = R"(
:root { color-scheme: light; --bar: #2f6db5; --track: #e8edf3; --ink: #1d232b; --dim: #5b6673; }
* { box-sizing: border-box; }
body { margin: 0; background: #f6f8fa; color: var(--ink);
  font: 15px/1.45 "DejaVu Sans", "Segoe UI", Tahoma, Arial, sans-serif; }
main { max-width: 62rem; margin: 0 auto; padding: 1.5rem 1.5rem 3rem; }
h1 { font-size: 1.6rem; margin: 0 0 .2rem; }
h2 { font-size: 1.1rem; margin: 0 0 .4rem; }
header p { margin: .2rem 0; color: var(--dim); }
section { background: #fff; border: 1px solid #d8dee6; border-radius: 6px; padding: .9rem 1.1rem; margin: 1rem 0; }
.of { font-weight: normal; color: var(--dim); font-size: .9rem; }
.note, .median { margin: 0 0 .5rem; color: var(--dim); font-size: .9rem; }
ol.rows { list-style: none; margin: 0; padding: 0; }
li.row { display: grid; grid-template-columns: minmax(9rem, 17rem) 1fr 2.5rem 4.5rem 5.5rem; gap: .7rem;
  align-items: center; padding: .12rem 0; }
.label { overflow-wrap: anywhere; }
.count, .share, .change, .num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
.share { font-weight: bold; }
.change { color: var(--dim); }
.change.up { color: #19733a; }
.change.down { color: #a8321f; }
svg.bar { display: block; width: 100%; height: .9rem; }
svg.bar .track { fill: var(--track); }
svg.bar .fill { fill: var(--bar); }
svg.bar .before { fill: #c7651a; }
section.extensions ol.rows { columns: 2 26rem; column-gap: 2rem; }
section.extensions li.row { grid-template-columns: minmax(8rem, 17rem) 1fr 2rem 3.6rem; gap: .5rem;
  break-inside: avoid; font-size: .82rem; }
section.require { border-color: #2f6db5; }
.meets { font-size: 1.15rem; margin: 0 0 .6rem; }
table { border-collapse: collapse; width: 100%; }
th, td { padding: .25rem .5rem; border-bottom: 1px solid #e3e8ee; text-align: left; }
th.num, td.num { text-align: right; }
th { font-size: .85rem; color: var(--dim); font-weight: normal; }
.esc { color: #a8321f; font-family: monospace; }
)";

// ---- Texts from the document, shown safely ----

// One UTF-8 sequence at s[*at] (shortest form, no surrogates): its code point, or
// false leaving *at where it was.
bool NextUtf8(std::string_view s, size_t* at, uint32_t* point) {
    const unsigned char lead = static_cast<unsigned char>(s[*at]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : lead < 0xF5 ? 4 : 0;
    if (length == 0 || *at + length > s.size()) return false;
    uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(s[*at + i]);
        if ((next & 0xC0) != 0x80) return false;
        value = value << 6 | (next & 0x3F);
    }
    if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF)) ||
        (value >= 0xD800 && value <= 0xDFFF))
        return false;
    *at += length;
    *point = value;
    return true;
}

// Windows-1252's characters for 0x80-0x9F (0: none), as the reports' machines mostly
// wrote them; the other bytes above 0x7F are Latin-1's.
const uint16_t kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// What the page shows of a text: it is escaped for HTML, control and direction
// characters are shown as \xNN or \u{NNNN}, and a very long text is cut.
constexpr size_t kShownLimit = 300;

void AppendUtf8(uint32_t point, std::string* out) {
    if (point < 0x80) {
        *out += char(point);
    } else if (point < 0x800) {
        *out += char(0xC0 | point >> 6);
        *out += char(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        *out += char(0xE0 | point >> 12);
        *out += char(0x80 | (point >> 6 & 0x3F));
        *out += char(0x80 | (point & 0x3F));
    } else {
        *out += char(0xF0 | point >> 18);
        *out += char(0x80 | (point >> 12 & 0x3F));
        *out += char(0x80 | (point >> 6 & 0x3F));
        *out += char(0x80 | (point & 0x3F));
    }
}

void AppendShown(uint32_t point, std::string* out) {
    const bool hidden = point < 0x20 || (point >= 0x7F && point < 0xA0) || point == 0x200E || point == 0x200F ||
                        (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069) ||
                        point == 0xFEFF;
    if (hidden) {
        char text[48];
        std::snprintf(text, sizeof text, point <= 0xFF ? "<span class=\"esc\">\\x%02x</span>"
                                                       : "<span class=\"esc\">\\u{%04x}</span>", unsigned(point));
        *out += text;
        return;
    }
    switch (point) {
    case '&': *out += "&amp;"; break;
    case '<': *out += "&lt;"; break;
    case '>': *out += "&gt;"; break;
    case '"': *out += "&quot;"; break;
    case '\'': *out += "&#39;"; break;
    default: AppendUtf8(point, out);
    }
}

// A document's texts are Unicode; those taken from reports travel as Latin-1 code
// points, one for each byte. Such a text is turned back into its bytes, and its bytes
// shown as UTF-8 where they form it (names from the PCI ID list) and as Windows-1252
// where they do not (what Windows wrote in the report). A byte 1252 has no character
// for is shown as \xNN.
std::string Shown(std::string_view text) {
    std::vector<uint32_t> points;
    bool bytes = true;
    for (size_t at = 0; at < text.size();) {
        uint32_t point;
        if (!NextUtf8(text, &at, &point)) point = static_cast<unsigned char>(text[at++]);  // not UTF-8: a byte
        bytes = bytes && point <= 0xFF;
        points.push_back(point);
    }
    if (bytes) {
        const std::string raw(points.begin(), points.end());
        points.clear();
        for (size_t at = 0; at < raw.size();) {
            uint32_t point;
            if (!NextUtf8(raw, &at, &point)) {
                point = static_cast<unsigned char>(raw[at++]);
                if (point >= 0x80 && point < 0xA0 && kWindows1252[point - 0x80]) point = kWindows1252[point - 0x80];
            }
            points.push_back(point);
        }
    }
    std::string out;
    for (size_t i = 0; i < points.size() && i < kShownLimit; ++i) AppendShown(points[i], &out);
    if (points.size() > kShownLimit) out += "\xE2\x80\xA6";  // …
    return out;
}

std::string Text(const Json& object, const char* key) {
    if (!object.is_object()) return "";
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : "";
}

bool Has(const Json& object, const char* key) { return object.is_object() && object.contains(key); }

// A count of the document: 0 where it is missing or not a count.
uint64_t Count(const Json& object, const char* key) {
    if (!object.is_object()) return 0;
    const auto it = object.find(key);
    if (it == object.end()) return 0;
    if (it->is_number_unsigned()) return it->get<uint64_t>();
    if (it->is_number_integer() && it->get<int64_t>() > 0) return uint64_t(it->get<int64_t>());
    return 0;
}

const Json& List(const Json& object, const char* key) {
    static const Json empty = Json::array();
    if (!object.is_object()) return empty;
    const auto it = object.find(key);
    return it != object.end() && it->is_array() ? *it : empty;
}

std::string Number(uint64_t n) { return std::to_string(n); }

// ---- The page's parts ----

// A bar of count in of, with a mark at the earlier share when there is one.
std::string Bar(uint64_t count, uint64_t of, const uint64_t* before, uint64_t before_of) {
    const auto width = [](uint64_t n, uint64_t d) -> uint64_t {  // thousandths, rounded, in integers like the shares
        if (d == 0 || n >= d) return d == 0 ? 0 : 1000;
        for (; n > UINT64_MAX / 1000; n >>= 1) d >>= 1;
        const uint64_t r = n * 1000 % d;
        return n * 1000 / d + (r >= d - r);
    };
    std::string svg = "<svg class=\"bar\" viewBox=\"0 0 1000 10\" preserveAspectRatio=\"none\" aria-hidden=\"true\">"
                      "<rect class=\"track\" width=\"1000\" height=\"10\"/><rect class=\"fill\" width=\"" +
                      Number(width(count, of)) + "\" height=\"10\"/>";
    if (before && before_of)
        svg += "<rect class=\"before\" x=\"" + Number(std::min<uint64_t>(width(*before, before_of), 994)) +
               "\" width=\"6\" height=\"10\"/>";
    return svg + "</svg>";
}

std::string ChangeCell(uint64_t count, uint64_t of, uint64_t before, uint64_t before_of) {
    const std::string change = PointChange(count, of, before, before_of);
    const char* trend = change[0] == '+' ? " up" : change[0] == '-' ? " down" : "";
    return "<span class=\"change" + std::string(trend) + "\">" + change + "</span>";
}

std::string RowItem(const std::string& label, uint64_t count, uint64_t of, bool compared, uint64_t before,
                    uint64_t before_of) {
    std::string item = "<li class=\"row\" data-count=\"" + Number(count) + "\" data-of=\"" + Number(of) + "\"";
    if (compared) item += " data-before=\"" + Number(before) + "\" data-before-of=\"" + Number(before_of) + "\"";
    item += "><span class=\"label\">" + Shown(label) + "</span>" +
            Bar(count, of, compared ? &before : nullptr, before_of) + "<span class=\"count\">" + Number(count) +
            "</span><span class=\"share\">" + Percent(count, of) + "</span>";
    if (compared) item += ChangeCell(count, of, before, before_of);
    return item + "</li>\n";
}

std::string Totals(const Json& survey) {
    static const struct {
        const char* key;
        const char* one;
        const char* many;
    } kTotals[] = {{"files", "file", "files"},
                   {"reports", "report", "reports"},
                   {"not_whole", "not whole", "not whole"},
                   {"not_reports", "not a report", "not reports"},
                   {"not_read", "could not be read", "could not be read"},
                   {"named_again", "named again", "named again"}};
    std::string out = "<p class=\"totals\">";
    for (const auto& total : kTotals) {
        const uint64_t n = Count(survey, total.key);
        if (&total != kTotals) out += &total == kTotals + 1 ? ": " : ", ";
        out += "<span data-total=\"" + std::string(total.key) + "\" data-value=\"" + Number(n) + "\">" + Number(n) +
               " " + (n == 1 ? total.one : total.many) + "</span>";
    }
    return out + "</p>\n";
}

std::string Requirements(const Json& require) {
    const uint64_t of = Count(require, "of"), meets = Count(require, "meets");
    std::string out = "<section class=\"require\" data-meets=\"" + Number(meets) + "\" data-of=\"" + Number(of) +
                      "\">\n<h2>Minimum requirements</h2>\n<p class=\"meets\">Meets all: <strong>" + Number(meets) + " of " +
                      Number(of) + " (" + Percent(meets, of) + ")</strong></p>\n" +
                      "<table>\n<thead><tr><th>Requirement</th><th class=\"num\">Fail it</th>"
                      "<th class=\"num\">Fail only it</th><th class=\"num\">Unknown</th></tr></thead>\n<tbody>\n";
    for (const Json& requirement : List(require, "requirements")) {
        const uint64_t fails = Count(requirement, "fails"), only = Count(requirement, "fails_only"),
                       unknown = Count(requirement, "unknown");
        out += "<tr class=\"requirement\" data-fails=\"" + Number(fails) + "\" data-fails-only=\"" + Number(only) +
               "\" data-unknown=\"" + Number(unknown) + "\"><td class=\"expression\">" +
               Shown(Text(requirement, "expression")) + "</td>";
        for (const uint64_t n : {fails, only, unknown})
            out += "<td class=\"num\">" + Number(n) + " (" + Percent(n, of) + ")</td>";
        out += "</tr>\n";
    }
    return out + "</tbody>\n</table>\n</section>\n";
}

std::string Category(const Json& category, bool compared) {
    const uint64_t of = Count(category, "of"), before_of = Count(category, "before_of");
    std::string out = "<section class=\"category\" data-of=\"" + Number(of) + "\"";
    if (compared) out += " data-before-of=\"" + Number(before_of) + "\"";
    out += ">\n<h2><span class=\"name\">" + Shown(Text(category, "name")) + "</span> <span class=\"of\">of " +
           Number(of) + " reports";
    if (compared) out += ", earlier " + Number(before_of);
    out += "</span></h2>\n";
    if (Has(category, "note")) out += "<p class=\"note\">" + Shown(Text(category, "note")) + "</p>\n";
    if (Has(category, "median")) out += "<p class=\"median\">Median: " + Shown(Text(category, "median")) + "</p>\n";
    out += "<ol class=\"rows\">\n";
    for (const Json& row : List(category, "rows"))
        out += RowItem(Text(row, "label"), Count(row, "count"), of, compared, Count(row, "before"), before_of);
    return out + "</ol>\n</section>\n";
}

std::string Extensions(const Json& extensions) {
    const uint64_t of = Count(extensions, "of");
    std::vector<const Json*> names;
    for (const Json& name : List(extensions, "names")) names.push_back(&name);
    std::stable_sort(names.begin(), names.end(), [](const Json* a, const Json* b) {
        const uint64_t ca = Count(*a, "count"), cb = Count(*b, "count");
        return ca != cb ? ca > cb : Text(*a, "name") < Text(*b, "name");
    });
    std::string out = "<section class=\"extensions\" data-of=\"" + Number(of) +
                      "\">\n<h2>OpenGL extensions <span class=\"of\">of " + Number(of) +
                      " reports</span></h2>\n<ol class=\"rows\">\n";
    for (const Json* name : names) out += RowItem(Text(*name, "name"), Count(*name, "count"), of, false, 0, 0);
    return out + "</ol>\n</section>\n";
}

// ---- SHA-256, for the style sheet's hash in the policy ----

std::string Sha256Base64(std::string_view data) {
    static const uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98,
        0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786,
        0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8,
        0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13,
        0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819,
        0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a,
        0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::string message(data);
    const uint64_t bits = uint64_t(data.size()) * 8;
    message += '\x80';
    while (message.size() % 64 != 56) message += '\0';
    for (int i = 7; i >= 0; --i) message += char(bits >> (8 * i));
    const auto rotr = [](uint32_t x, int n) { return x >> n | x << (32 - n); };
    for (size_t block = 0; block < message.size(); block += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i) {
            const char* p = message.data() + block + 4 * i;
            w[i] = uint32_t(uint8_t(p[0])) << 24 | uint32_t(uint8_t(p[1])) << 16 | uint32_t(uint8_t(p[2])) << 8 |
                   uint8_t(p[3]);
        }
        for (int i = 16; i < 64; ++i)
            w[i] = w[i - 16] + (rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ w[i - 15] >> 3) + w[i - 7] +
                   (rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ w[i - 2] >> 10);
        uint32_t v[8];
        std::copy(h, h + 8, v);
        for (int i = 0; i < 64; ++i) {
            const uint32_t t1 = v[7] + (rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25)) +
                                ((v[4] & v[5]) ^ (~v[4] & v[6])) + k[i] + w[i];
            const uint32_t t2 = (rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22)) +
                                ((v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]));
            std::copy_backward(v, v + 7, v + 8);
            v[4] += t1;
            v[0] = t1 + t2;
        }
        for (int i = 0; i < 8; ++i) h[i] += v[i];
    }
    std::string digest;
    for (const uint32_t word : h)
        for (int i = 3; i >= 0; --i) digest += char(word >> (8 * i));
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < digest.size(); i += 3) {
        const uint32_t n = uint32_t(uint8_t(digest[i])) << 16 |
                           (i + 1 < digest.size() ? uint32_t(uint8_t(digest[i + 1])) << 8 : 0) |
                           (i + 2 < digest.size() ? uint8_t(digest[i + 2]) : 0);
        out += kDigits[n >> 18 & 63];
        out += kDigits[n >> 12 & 63];
        out += i + 1 < digest.size() ? kDigits[n >> 6 & 63] : '=';
        out += i + 2 < digest.size() ? kDigits[n & 63] : '=';
    }
    return out;
}

}  // namespace

std::string SurveyPage(const Json& survey) {
    const uint64_t reports = Count(survey, "reports");
    const bool compared = Has(survey, "previous");
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'sha256-" +
                       Sha256Base64(kStyle) +
                       "'; img-src 'none'; base-uri 'none'; form-action 'none'\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<title>Hardware survey of " + Number(reports) + (reports == 1 ? " report" : " reports") +
                       "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n<main>\n<header>\n"
                       "<h1>Hardware survey</h1>\n" + Totals(survey);
    if (compared) {
        const uint64_t before = Count(survey["previous"], "reports");
        page += "<p class=\"previous\" data-reports=\"" + Number(before) +
                "\">Changes in percentage points since an earlier survey of " + Number(before) +
                (before == 1 ? " report" : " reports") + "; the orange mark is the earlier share.</p>\n";
    }
    page += "</header>\n";
    if (Has(survey, "require")) page += Requirements(survey["require"]);
    for (const Json& category : List(survey, "categories")) page += Category(category, compared);
    if (Has(survey, "extensions")) page += Extensions(survey["extensions"]);
    return page + "</main>\n</body>\n</html>\n";
}

bool WriteFileWhole(const std::string& path, const std::string& bytes, std::string* error) {
#ifdef _WIN32
    const std::string temporary = path + ".tmp-" + std::to_string(_getpid());
    _unlink(temporary.c_str());  // left by an earlier process of this number, which has ended
    const int fd = _open(temporary.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    const std::string temporary = path + ".tmp-" + std::to_string(getpid());
    unlink(temporary.c_str());  // left by an earlier process of this number, which has ended
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
    if (fd < 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    int failure = 0;
    for (size_t at = 0; !failure && at < bytes.size();) {
        const size_t chunk = std::min<size_t>(bytes.size() - at, 1 << 20);
#ifdef _WIN32
        const long n = _write(fd, bytes.data() + at, unsigned(chunk));
#else
        const long n = write(fd, bytes.data() + at, chunk);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n > 0) at += size_t(n);
        else failure = n < 0 ? errno : ENOSPC;
    }
#ifdef _WIN32
    if (!failure && _commit(fd) != 0) failure = errno;
    if (_close(fd) != 0 && !failure) failure = errno;
    if (!failure && !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        failure = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    if (failure) _unlink(temporary.c_str());
#else
    if (!failure && fsync(fd) != 0) failure = errno;
    if (close(fd) != 0 && !failure) failure = errno;
    if (!failure && rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
    if (failure) unlink(temporary.c_str());
#endif
    if (failure) *error = "cannot write " + path + ": " + std::strerror(failure);
    return !failure;
}
