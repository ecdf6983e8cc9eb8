// Graphics vendors and devices by their PCI numbers, named as lspci names them.
#pragma once

#include <string>
#include <unordered_map>

// The vendor's name from the table built in from the PCI ID list, or null.
const char* PciVendorName(unsigned vendor);

// Device names, read from a PCI ID file ("pci.ids" format).
class PciDeviceNames {
public:
    // False, and why in *error, when the file cannot be read or is not a PCI ID list.
    bool Load(const std::string& path, std::string* error);
    // The device's name, or null.
    const char* Name(unsigned vendor, unsigned device) const;

private:
    std::unordered_map<unsigned, std::string> names_;  // vendor << 16 | device
};

// The system's PCI ID list where there is one (/usr/share/misc/pci.ids), or empty.
std::string DefaultPciIdsPath();
