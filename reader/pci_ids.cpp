#include "reader/pci_ids.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace {

struct VendorEntry {
    uint16_t vendor;
    uint32_t offset;
};

#include "reader/pci_vendors.inc"

// Names come from a file we do not control: at most this many bytes of each are kept
// (scripts/pci-vendors.py cuts the built-in ones alike).
constexpr size_t kNameLimit = 160;
// pci.ids is about 1.4 MB; anything far larger is not one.
constexpr std::streamoff kFileLimit = 64 << 20;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "hhhh" then blanks then a name: the number and the name, or false.
bool ReadIdLine(const std::string& line, size_t at, unsigned* id, std::string* name) {
    if (line.size() < at + 4) return false;
    unsigned value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int digit = HexDigit(line[i]);
        if (digit < 0) return false;
        value = value << 4 | unsigned(digit);
    }
    size_t begin = at + 4, end = line.size();
    if (begin == end || (line[begin] != ' ' && line[begin] != '\t')) return false;
    while (begin < end && (line[begin] == ' ' || line[begin] == '\t')) ++begin;
    while (end > begin && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
    if (begin == end) return false;
    end = std::min(end, begin + kNameLimit);
    while (end > begin && end < line.size() && (line[end] & 0xC0) == 0x80) --end;  // not inside a UTF-8 sequence
    *id = value;
    name->clear();
    for (size_t i = begin; i < end; ++i) {  // a control byte would reach a terminal as it is: shown as \xNN
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c != 0x7F) {
            *name += char(c);
        } else {
            static const char kHex[] = "0123456789abcdef";
            *name += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        }
    }
    return true;
}

}  // namespace

const char* PciVendorName(unsigned vendor) {
    const auto end = std::end(kVendors);
    const auto it = std::lower_bound(std::begin(kVendors), end, vendor,
                                     [](const VendorEntry& entry, unsigned v) { return entry.vendor < v; });
    return it != end && it->vendor == vendor ? kVendorText + it->offset : nullptr;
}

bool PciDeviceNames::Load(const std::string& path, std::string* error) {
    names_.clear();
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        *error = path + ": is a directory, not a PCI ID list";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0);
    if (size < 0) {
        *error = path + ": cannot be read as a file";
        return false;
    }
    if (size > kFileLimit) {
        *error = path + ": not a PCI ID list (larger than 64 MB)";
        return false;
    }
    std::string line, name;
    unsigned vendor = 0, id = 0, line_number = 0;
    bool in_vendor = false, any_vendor = false;
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;
        if (line.compare(0, 2, "C ") == 0) break;  // the class section, after all vendors
        if (ReadIdLine(line, 0, &id, &name)) {
            vendor = id;
            in_vendor = any_vendor = true;
        } else if (in_vendor && line.compare(0, 2, "\t\t") == 0) {
            // a subsystem: not used
        } else if (in_vendor && line[0] == '\t' && ReadIdLine(line, 1, &id, &name)) {
            names_.emplace(vendor << 16 | id, name);
        } else {
            names_.clear();
            *error = path + ": not a PCI ID list (line " + std::to_string(line_number) + ")";
            return false;
        }
    }
    if (in.bad()) {
        names_.clear();
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!any_vendor) {
        *error = path + ": not a PCI ID list (no vendor in it)";
        return false;
    }
    return true;
}

const char* PciDeviceNames::Name(unsigned vendor, unsigned device) const {
    if (vendor > 0xFFFF || device > 0xFFFF) return nullptr;
    const auto it = names_.find(vendor << 16 | device);
    return it == names_.end() ? nullptr : it->second.c_str();
}

std::string DefaultPciIdsPath() {
#ifdef _WIN32
    return "";
#else
    struct stat st;
    const char* path = "/usr/share/misc/pci.ids";
    return stat(path, &st) == 0 && S_ISREG(st.st_mode) ? path : "";
#endif
}
