#include "reader/pci_ids.h"

const char* PciVendorName(unsigned) { return nullptr; }

bool PciDeviceNames::Load(const std::string&, std::string* error) {
    *error = "not built yet";
    return false;
}

const char* PciDeviceNames::Name(unsigned vendor, unsigned device) const {
    const auto it = names_.find(vendor << 16 | device);
    return it == names_.end() ? nullptr : it->second.c_str();
}

std::string DefaultPciIdsPath() { return ""; }
