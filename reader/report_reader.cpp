// The report's grammar, walked one way to read a file into a document and the other
// way to write the document back. The file is flat: only the order of fixed lines
// and formats tells where a block starts and ends.
#include "reader/report_reader.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <map>
#include <stdexcept>

using namespace rows;

const char* const kDocumentFormat = "vindrel stats.txt";

namespace {

const char* const kEncoding = "latin-1: each byte of a text is the code point of the same number";
// How far a platform text with line ends of its own may reach.
const size_t kSpanLimit = 256;

// Writing: the report's bytes as the walk gives its lines, with the lines that did
// not fit put back at their numbers.
struct Writer {
    std::string out;
    std::string end;
    std::map<size_t, std::string> unfit;  // by line number
    size_t line = 1;

    // Where the next line starts, after any unfit lines due before it.
    size_t Begin() {
        for (auto it = unfit.find(line); it != unfit.end() && it->first == line; it = unfit.find(line)) {
            out += it->second;
            out += end;
            unfit.erase(it);
            line++;
        }
        return out.size();
    }
    // A line written from start on, with any line ends of its texts.
    void Finish(size_t start) {
        out += end;
        for (size_t at = out.find(end, start); at != std::string::npos; at = out.find(end, at + end.size())) line++;
    }
    void Text(std::string_view text) {
        const size_t start = Begin();
        out += text;
        Finish(start);
    }
};

class Walker {
public:
    // Reading, into a document or (observer given) into nothing but the observer.
    Walker(const std::vector<std::string_view>& lines, Reading& out, ReportObserver* observer)
        : lines_(&lines), out_(&out), observer_(observer), document_(observer == nullptr) {}
    // Writing.
    explicit Walker(Writer& writer) : writer_(&writer) {}

    bool reading() const { return lines_ != nullptr; }
    bool AtEnd() const { return !reading() || at_ >= lines_->size(); }
    bool Fits(const Row& row, size_t ahead = 0) const {
        if (!reading() || at_ + ahead >= lines_->size()) return false;
        // The walk asks of a line whether it fits, then takes it: read it once.
        if (memo_row_ != &row || memo_at_ != at_ + ahead) {
            memo_row_ = &row;
            memo_at_ = at_ + ahead;
            memo_fits_ = ReadLineValue(row, (*lines_)[memo_at_], &memo_);
        }
        return memo_fits_;
    }

    // The value of the line last taken.
    const LineValue& last() const { return last_; }

    // One line of row into slot (a fixed text leaves slot alone). Reading recovers
    // from one extra, missing or damaged line; next is the row expected after it.
    // span: rows that may follow a text holding line ends of its own.
    bool Value(Json& slot, const Row& row, const Row* next = nullptr, std::initializer_list<const Row*> span = {}) {
        if (!reading()) {
            const size_t start = writer_->Begin();
            WriteLineTo(row, slot, writer_->out);
            writer_->Finish(start);
            return true;
        }
        if (!Take(row, next, span)) return false;
        if (document_) slot = LineJson(row, last_);  // null for a fixed text
        return true;
    }

    // The line of row, its value at obj[key]; writing: only when obj holds one.
    bool Line(Json& obj, const Row& row, const Row* next = nullptr, std::initializer_list<const Row*> span = {}) {
        const std::string& key = RowKey(row);
        if (!reading()) {
            Json* found = Member(obj, key);
            return found && Value(*found, row);
        }
        if (!Take(row, next, span)) return false;
        // Each row is read once into its object, so its key is new there: appended
        // without a search through the members (the checklist has 222).
        if (document_) {
            if (obj.is_null()) Roomy(obj = Json::object());
            obj.get_ref<Json::object_t&>().emplace_back(key, LineJson(row, last_));
        }
        return true;
    }

    // A line that may be absent: read only when it fits.
    bool LineIf(Json& obj, const Row& row) {
        if (reading() && !Fits(row)) return false;
        return Line(obj, row);
    }

    // Rows in order. Reading: when a line is none of the next two rows but a later
    // one of the block, the rows before it are missing (a checklist cut short inside).
    void Lines(Json& obj, const Row* rows, size_t count, const Row* after = nullptr) {
        for (size_t i = 0; i < count; ++i) {
            if (reading() && !ended_ && !AtEnd() && !Fits(rows[i]) && !Fits(rows[i], 1)) {
                size_t j = i + 1;
                while (j < count && !Fits(rows[j])) j++;
                if (j < count && j > i + 1) {
                    Note(at_, "missing " + RowShown(rows[i]) + " and the " + std::to_string(j - i - 1) +
                                  " lines after it before this line");
                    i = j;
                }
            }
            Line(obj, rows[i], i + 1 < count ? &rows[i + 1] : after);
        }
    }

    // A fixed line that opens obj[key] (empty: an object or an array to fill).
    // optional: the block may be left out, so reading takes it only when it fits.
    Json* Open(Json& obj, const Row& heading, Json empty, const Row* next = nullptr, bool optional = false) {
        const std::string& key = RowKey(heading);
        if (!reading()) {
            const auto it = obj.find(key);
            if (it == obj.end()) return nullptr;
            writer_->Text(heading.format);
            return &*it;
        }
        if (optional && !Fits(heading)) return nullptr;
        if (!Take(heading, next, {})) return nullptr;
        return Put(obj, key, std::move(empty));
    }

    // A list without a line of its own.
    Json* List(Json& obj, const char* key) {
        if (!reading()) {
            const auto it = obj.find(key);
            return it == obj.end() ? nullptr : &*it;
        }
        return Put(obj, key, Json::array());
    }

    // The items of list, each with its place in it; reading adds them while more()
    // says so. An item that reads nothing of its own (its line did not fit, and is
    // kept with the unfit ones) is left out.
    void Each(Json& list, const std::function<bool()>& more, const std::function<bool(Json&, size_t)>& item,
              Json empty = Json()) {
        const size_t outer = item_;
        if (!reading()) {
            size_t n = 0;
            for (Json& element : list) item(element, n++);
            return;
        }
        for (size_t n = 0; !AtEnd() && more(); ++n) {
            const size_t before = at_;
            item_ = n;
            if (document_) {
                list.push_back(empty);
                Roomy(list.back());
            }
            const bool read = item(document_ ? list.back() : scratch_, n);
            item_ = outer;
            if (document_ && (!read || at_ == before)) list.erase(list.end() - 1);
            if (at_ == before) break;
        }
    }

    // Whether a list of row goes on: it fits, or one damaged line stands between it
    // and the next one, and the line is not the follower.
    bool Goes(const Row& row, const Row& follower) const {
        return Fits(row) || (!Fits(follower) && Fits(row, 1));
    }

    // Whether the section goes on after a yes/no line (taken: whether it was read):
    // its word, or when the line was damaged, whether lines other than the next
    // section follow (writing: the lines that were read are there).
    bool Yes(const Json& obj, const Row& row, bool taken, const Row& follower) const {
        if (!reading()) {
            const auto it = obj.find(RowKey(row));
            return it == obj.end() || *it == "yes";
        }
        if (taken) return last_.Token() == "yes";
        return !AtEnd() && !Fits(follower);
    }

    // The section of index i. Reading: lines that stand before its heading do not
    // fit; a section whose heading is missing is read all the same, and marked.
    Json* Section(Json& doc, int index) {
        const Row& heading = kSections[index];
        const char* const kMissing = "heading_missing";
        if (!reading()) {
            const auto it = doc.find(heading.format);
            if (it == doc.end()) return nullptr;
            Json& section = *it;
            if (!section.is_object() || !section.contains(kMissing)) writer_->Text(heading.format);
            return &section;
        }
        if (AtEnd()) {
            EarlyEnd(heading);
            return nullptr;
        }
        section_ = heading.format;
        size_t found = at_;
        while (found < lines_->size() && (*lines_)[found] != heading.format && !LaterHeading(index, found)) found++;
        if (found == lines_->size() || (*lines_)[found] != heading.format) {
            Note(at_, "missing " + RowShown(heading) + " before this line");
            return Put(doc, heading.format, Json{{kMissing, true}});
        }
        while (at_ < found) Unfit(at_++, heading);
        at_++;
        return Put(doc, heading.format, Json::object());
    }

    // Whether the line at index is the heading of a section after section i.
    bool LaterHeading(int i) const { return !AtEnd() && LaterHeading(i, at_); }
    bool LaterHeading(int i, size_t index) const {
        for (int j = i + 1; j < 5; ++j)
            if ((*lines_)[index] == kSections[j].format) return true;
        return false;
    }

    // Reading: whatever follows the last section.
    void Rest() {
        while (at_ < lines_->size()) Unfit(at_++, "the end of the report");
    }

    size_t Taken() const { return at_ - 1; }

    // Reading: a problem at a line (1-based numbers in messages).
    void Note(size_t index, const std::string& message) {
        out_->problems.push_back(std::to_string(index + 1) + ": " + message);
    }

private:
    // Writing: obj's member key. The walk meets the members in the order it read
    // them, so the one after the member found last is tried first.
    Json* Member(Json& obj, const std::string& key) {
        if (!obj.is_object()) return nullptr;
        auto& members = static_cast<Json::object_t::Container&>(obj.get_ref<Json::object_t&>());
        if (&obj == hint_object_ && hint_ + 1 < members.size() && members[hint_ + 1].first == key) {
            hint_++;
            return &members[hint_].second;
        }
        for (size_t i = 0; i < members.size(); ++i)
            if (members[i].first == key) {
                hint_object_ = &obj;
                hint_ = i;
                return &members[i].second;
            }
        return nullptr;
    }

    Json* Put(Json& obj, const std::string& key, Json value) {
        if (!document_) return &scratch_;
        Json& slot = obj[key] = std::move(value);
        return Roomy(slot);
    }

    // An object's members live in one vector whose keys are const, so growing it
    // copies every member, subtrees and all: each object is given room at once.
    static Json* Roomy(Json& node) {
        if (node.is_object()) node.get_ref<Json::object_t&>().reserve(kMembers);
        return &node;
    }
    static const size_t kMembers = 32;  // more than any block of the report but the checklist

    bool Take(const Row& row, const Row* next, std::initializer_list<const Row*> span) {
        if (!TakeLine(row, next, span)) return false;
        if (observer_ && row.field != Field::None) observer_->Take(row, last_, item_);
        return true;
    }

    bool TakeLine(const Row& row, const Row* next, std::initializer_list<const Row*> span) {
        if (ended_) return false;
        if (AtEnd()) {
            EarlyEnd(row);
            return false;
        }
        if (TakeText(row, next, span)) return true;
        if (Fits(row)) {
            last_ = memo_;
            at_++;
            return true;
        }
        if (Fits(row, 1)) {  // an extra line
            last_ = memo_;
            Unfit(at_, row);
            at_ += 2;
            return true;
        }
        if (next && !IsFixedText(*next) && Fits(*next)) {  // this one is missing
            Note(at_, "missing " + RowShown(row) + " before this line");
            return false;
        }
        Unfit(at_++, row);
        return false;
    }

    static bool IsFixedText(const Row& row) { return std::string_view(row.format) == "%s"; }

    // A text that holds line ends of its own spans lines up to one that fits a
    // row of span (by default the next row, unless that is a bare text too).
    bool TakeText(const Row& row, const Row* next, std::initializer_list<const Row*> span) {
        if (row.text != Text::Free || std::string_view(row.format).find("%s") == std::string_view::npos) return false;
        // Commonly the next line is already the follower: no text spans lines.
        if (span.size() == 0 && next && !IsFixedText(*next) && Fits(*next, 1)) return false;
        for (const Row* end : span)
            if (Fits(*end, 1)) return false;
        const Row* ends[4];
        size_t count = 0;
        for (const Row* end : span)
            if (count < 4) ends[count++] = end;
        if (count == 0 && next && !IsFixedText(*next)) ends[count++] = next;
        size_t k = std::string_view::npos;
        for (size_t i = 0; i < count; ++i) k = std::min(k, NextFit(*ends[i]));
        if (k == std::string_view::npos || k == at_ + 1 || k - at_ > kSpanLimit) return false;
        const std::string_view first = (*lines_)[at_], last = (*lines_)[k - 1];
        const std::string_view joined(first.data(), last.data() + last.size() - first.data());
        if (!ReadLineValue(row, joined, &last_)) return false;
        at_ = k;
        return true;
    }

    // The first line after the current one that fits row. Remembered per row, so a
    // damaged file costs one pass per row, not one per line.
    size_t NextFit(const Row& row) {
        auto cached = next_fit_.find(&row);
        const size_t from = at_ + 1;
        if (cached != next_fit_.end() && cached->second.first <= from &&
            (cached->second.second == std::string_view::npos || from <= cached->second.second))
            return cached->second.second;
        size_t found = std::string_view::npos;
        for (size_t k = from; k < lines_->size(); ++k)
            if (ReadLineValue(row, (*lines_)[k], nullptr)) {
                found = k;
                break;
            }
        next_fit_[&row] = {from, found};
        return found;
    }

    void Unfit(size_t index, const Row& expected) { Unfit(index, RowShown(expected)); }

    void Unfit(size_t index, const std::string& expected) {
        const std::string_view text = (*lines_)[index];
        if (document_)
            unfit_.push_back(Json{{"line", index + 1}, {"text", BytesToJsonText(text)}, {"expected", expected}});
        Note(index, "expected " + expected + ", found \"" + Excerpt(text) + "\"");
    }

    void EarlyEnd(const Row& expected) {
        if (ended_) return;
        ended_ = true;
        const size_t last = lines_->size();
        if (document_) end_ = Json{{"section", section_}, {"after_line", last}, {"expected", RowShown(expected)}};
        out_->problems.push_back("ends early" + (section_.empty() ? std::string() : " in section \"" + section_ + "\"") +
                                 " after line " + std::to_string(last) + ": expected " + RowShown(expected) +
                                 " next");
    }

    const std::vector<std::string_view>* lines_ = nullptr;
    Reading* out_ = nullptr;
    ReportObserver* observer_ = nullptr;
    bool document_ = true;
    Writer* writer_ = nullptr;
    size_t at_ = 0;
    size_t item_ = 0;  // the place of the adapter or drive being read in its list
    bool ended_ = false;
    std::string section_;
    std::map<const Row*, std::pair<size_t, size_t>> next_fit_;
    LineValue last_;
    mutable LineValue memo_;
    mutable const Row* memo_row_ = nullptr;
    mutable size_t memo_at_ = 0;
    mutable bool memo_fits_ = false;
    Json scratch_;  // what a walk without a document reads into: nothing is kept
    const Json* hint_object_ = nullptr;
    size_t hint_ = 0;
    // Kept apart from the document while it grows: a new member of the document
    // would move the sections that the walk holds.
    Json unfit_ = Json::array();
    Json end_;

public:
    // Reading: the lines that do not fit, and where the report ends early.
    Json& unfit() { return unfit_; }
    const Json& end() const { return end_; }
};

void Cpu(Walker& w, Json& s) {
    w.Line(s, kProcessors, &kSpeed);
    w.Line(s, kSpeed, &kCpuidPresent);
    if (!w.Yes(s, kCpuidPresent, w.Line(s, kCpuidPresent), kSections[1])) return;
    w.Line(s, kVendor, nullptr, {&kSignature[0]});
    w.Lines(s, kSignature, 4, &kStandardFlags[0]);
    w.Lines(s, kStandardFlags, 3, &kExtendedPresent);
    if (!w.Yes(s, kExtendedPresent, w.Line(s, kExtendedPresent), kSections[1])) return;
    w.Line(s, kBrand, nullptr, {&kExtendedFlags[0]});
    w.Lines(s, kExtendedFlags, 3);
}

void Direct3D8Adapter(Walker& w, Json& a) {
    w.Line(a, kDescription);
    w.Line(a, kDriver, nullptr, {&kDriverLines[0]});
    w.Lines(a, kDriverLines, 5, &kDisplayModes8);
    if (Json* modes = w.Open(a, kDisplayModes8, Json::array(), &kHalCaps))
        w.Each(*modes, [&] { return w.Goes(kMode8, kHalCaps); }, [&](Json& mode, size_t) { return w.Value(mode, kMode8); });
    if (Json* caps = w.Open(a, kHalCaps, Json::object(), &kCapsFlags[0])) {
        w.Lines(*caps, kCapsFlags, 9, &kFlipSync);
        if (Json* flip = w.Open(*caps, kFlipSync, Json::object(), &kIntervals[0]))
            w.Lines(*flip, kIntervals, 5, &kDirectX8Caps[0]);
        w.Lines(*caps, kDirectX8Caps, 17);
        w.LineIf(*caps, kTextureMemory);  // left out when the test device is refused
    }
}

void DirectX(Walker& w, Json& s) {
    if (Json* d3d9 = w.Open(s, kDirectX9, Json::array(), nullptr, true))
        w.Each(*d3d9, [&] { return w.Fits(kHalCaps); },
               [&](Json& caps, size_t) {
                   w.Value(caps, kHalCaps);
                   w.Lines(caps, kDirectX9Caps, 21);
                   return true;
               },
               Json::object());
    // Without Direct3D 8 there is no DirectShow block either.
    Json* d3d8 = w.Open(s, kDirectX8, Json::array(), nullptr, true);
    if (!d3d8) return;
    w.Each(*d3d8, [&] { return !w.Fits(kDirectShow) && !w.Fits(kSections[2]); },
           [&](Json& adapter, size_t) { return Direct3D8Adapter(w, adapter), true; }, Json::object());
    Json* show = w.Open(s, kDirectShow, Json::object(), &kCategories[0]);
    if (!show) return;
    for (int i = 0; i < 7; ++i) {
        const Row& follower = i < 6 ? kCategories[i + 1] : kSections[2];
        if (Json* names = w.Open(*show, kCategories[i], Json::array(), &follower))
            // A lost "OpenGL" line must not make the rest of the file device names.
            w.Each(*names, [&] { return !w.Fits(follower) && !(i == 6 && w.Fits(kGLVersion)) && !w.LaterHeading(1); },
                   [&](Json& name, size_t) { return w.Value(name, kDeviceName); });
    }
}

void OpenGL(Walker& w, Json& s) {
    const Row& memory = kSections[3];
    if (w.reading() && w.Fits(memory)) return;  // no rendering context
    w.Line(s, kGLVersion);
    w.Line(s, kRenderer, nullptr, {&kGLVendor});
    w.Line(s, kGLVendor, nullptr, {&kDisplayModesGL, &memory});
    if (w.reading() && (w.AtEnd() || w.Fits(memory))) return;  // no display-device query
    w.Line(s, kDisplayModesGL, nullptr, {&kModeGL, &kCaps});
    if (Json* modes = w.List(s, "modes"))
        w.Each(*modes, [&] { return w.Goes(kModeGL, kCaps); }, [&](Json& mode, size_t) { return w.Value(mode, kModeGL); });
    if (Json* caps = w.Open(s, kCaps, Json::object(), &ChecklistRows()[0])) {
        // Grown one name at a time, the list would copy every name at each doubling.
        if (w.reading() && caps->is_object()) caps->get_ref<Json::object_t&>().reserve(ChecklistSize());
        w.Lines(*caps, ChecklistRows(), ChecklistSize());
    }
}

void Memory(Walker& w, Json& s) {
    if (Json* ram = w.Open(s, kRam, Json::object(), &kMemoryTotals[0])) w.Lines(*ram, kMemoryTotals, 2);
    Json* drives = w.List(s, "drives");
    if (!drives) return;
    w.Each(*drives, [&] { return w.Goes(kHardDrive, kSections[4]); },
           [&](Json& drive, size_t number) {
               // The walk ends at the first drive that does not answer: no gaps.
               if (w.Line(drive, kHardDrive, &kDriveLines[0]) && w.reading() &&
                   w.last().Number() != static_cast<int64_t>(number))
                   w.Note(w.Taken(), "expected \"Hard Drive " + std::to_string(number) +
                                         "\": drives are numbered from 0 without a gap");
               w.Lines(drive, kDriveLines, 5);
               return true;
           },
           Json::object());
}

void Windows(Walker& w, Json& s) { w.Lines(s, kWindowsLines, 11); }

void Walk(Walker& w, Json& doc) {
    static void (*const kBodies[5])(Walker&, Json&) = {Cpu, DirectX, OpenGL, Memory, Windows};
    for (int i = 0; i < 5; ++i)
        if (Json* section = w.Section(doc, i)) kBodies[i](w, *section);
    if (w.reading()) w.Rest();
}

// Splits at CR LF, or at LF in a file without any CR LF. The pieces point into bytes.
std::vector<std::string_view> SplitLines(std::string_view bytes, std::string_view end, bool& ended) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const size_t at = bytes.find(end, pos);
        if (at == std::string_view::npos) break;
        lines.push_back(bytes.substr(pos, at - pos));
        pos = at + end.size();
    }
    ended = pos == bytes.size();
    if (!ended) lines.push_back(bytes.substr(pos));
    return lines;
}

Json Head(std::string_view end, bool ended, size_t count) {
    Json head = Json{{"format", kDocumentFormat},
                     {"encoding", kEncoding},
                     {"line_end", end == "\r\n" ? "CR LF" : "LF"},
                     {"final_line_end", ended},
                     {"line_count", count}};
    head.get_ref<Json::object_t&>().reserve(16);  // the sections are not copied as it grows
    return head;
}

}  // namespace

Reading ReadReport(std::string_view bytes, ReportObserver* observer) {
    const std::string_view end = bytes.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    bool ended = true;
    std::vector<std::string_view> lines = SplitLines(bytes, end, ended);
    Reading out;
    if (!observer) out.doc = Head(end, ended, lines.size());
    for (std::string_view line : lines)
        for (const Row& heading : kSections) out.report = out.report || line == heading.format;

    std::string_view cut;  // a last line without its line end is not read by the grammar
    if (!ended) {
        cut = lines.back();
        lines.pop_back();
    }
    Walker walker(lines, out, observer);
    Walk(walker, out.doc);
    Json& unfit = walker.unfit();
    if (!ended) {
        unfit.push_back(Json{{"line", lines.size() + 1},
                             {"text", BytesToJsonText(cut)},
                             {"expected", "a line end: the file ends inside this line"}});
        out.problems.push_back(std::to_string(lines.size() + 1) + ": the file ends inside this line, \"" +
                               Excerpt(cut) + "\"");
    }
    if (observer) {
        if (lines.empty() && ended) out.problems.assign(1, "empty: not a report");
        return out;
    }
    if (!unfit.empty()) out.doc["unfit"] = std::move(unfit);
    if (!walker.end().is_null()) out.doc["ends_early"] = walker.end();
    if (lines.empty() && ended) out.problems.assign(1, "empty: not a report");

    // The document must give back the very bytes; anything else is a fault of the
    // reader, and the lines are kept as they are. A whole report, every line taken by
    // its row in the grammar's order, is the walk's plain path, which every test and
    // the fuzzer write back: it is not written again here, where json of a fleet
    // would spend a fifth of its time on it.
    if (out.Whole()) return out;
    std::string again;
    try {
        again = WriteReport(out.doc);
    } catch (const std::exception&) {
    }
    if (again != bytes) {
        out.doc = Head(end, ended, lines.size() + (ended ? 0 : 1));
        Json& unfit = out.doc["unfit"] = Json::array();
        for (size_t i = 0; i < lines.size(); ++i)
            unfit.push_back(Json{{"line", i + 1}, {"text", BytesToJsonText(lines[i])}, {"expected", "a report line"}});
        if (!ended)
            unfit.push_back(Json{{"line", lines.size() + 1}, {"text", BytesToJsonText(cut)}, {"expected", "a line end"}});
        out.problems.push_back("the lines could not be placed in the report's grammar");
        out.placed = false;
    }
    return out;
}

std::string WriteReport(const Json& document) {
    if (!document.is_object() || document.value("format", "") != kDocumentFormat)
        throw std::invalid_argument(std::string("not a report document (no \"format\": \"") + kDocumentFormat + "\")");
    const std::string mark = document.at("line_end").get<std::string>();
    if (mark != "CR LF" && mark != "LF") throw std::invalid_argument("line_end is neither \"CR LF\" nor \"LF\"");
    Writer writer;
    writer.end = mark == "LF" ? "\n" : "\r\n";
    writer.out.reserve(1 << 14);
    if (document.contains("unfit"))
        for (const Json& entry : document.at("unfit"))
            writer.unfit[entry.at("line").get<size_t>()] = JsonTextToBytes(entry.at("text").get<std::string>());
    // Writing only looks the document up, never adds to it.
    Walker walker(writer);
    Walk(walker, const_cast<Json&>(document));
    writer.Begin();
    std::string& out = writer.out;
    for (const auto& entry : writer.unfit) {  // numbered past the end
        out += entry.second;
        out += writer.end;
    }
    const std::string& end = writer.end;
    if (!document.value("final_line_end", true) && out.size() >= end.size()) out.resize(out.size() - end.size());
    return std::move(out);
}

std::string Excerpt(std::string_view bytes, size_t limit) {
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
            static const char kHex[] = "0123456789abcdef";
            out += c == '"' ? "\\\"" : c == '\\' ? "\\\\" : std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (bytes.size() > limit) out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}
