// The DirectShow block: the friendly names of the devices in seven categories.
// Its texts are frozen: stored reports and the tools that read them depend on every byte.
#include <stdlib.h>
#include <string.h>

#include <objbase.h>
#include <oleauto.h>

#include "probes/graphics/directshow.h"
#include "probes/graphics/directx.h"

// Declared here so that nothing needs the strmiids library.
namespace ids {
const CLSID CLSID_VideoCompressorCategory = {0x33D9A760, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const CLSID CLSID_VideoInputDeviceCategory = {0x860BB310, 0x5D01, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const CLSID CLSID_AudioCompressorCategory = {0x33D9A761, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const CLSID CLSID_AudioInputDeviceCategory = {0x33D9A762, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const CLSID CLSID_AudioRendererCategory = {0xE0F158E1, 0xCB04, 0x11D0, {0xBD, 0x4E, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const CLSID CLSID_MidiRendererCategory = {0x4EFE2452, 0x168A, 0x11D1, {0xBC, 0x76, 0x00, 0xC0, 0x4F, 0xB9, 0x45, 0x3B}};
const CLSID CLSID_LegacyAmFilterCategory = {0x083863F1, 0x70DE, 0x11D0, {0xBD, 0x40, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const CLSID CLSID_SystemDeviceEnum = {0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const IID IID_ICreateDevEnum = {0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const IID IID_IPropertyBag = {0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
}  // namespace ids

namespace {

struct Category {
    const char* text;
    const CLSID* id;
};

static const Category kCategories[] = {
    {"Video Compressors", &ids::CLSID_VideoCompressorCategory},
    {"Video Input", &ids::CLSID_VideoInputDeviceCategory},
    {"Audio Compressors", &ids::CLSID_AudioCompressorCategory},
    {"Audio Input", &ids::CLSID_AudioInputDeviceCategory},
    {"Audio Output", &ids::CLSID_AudioRendererCategory},
    {"MIDI", &ids::CLSID_MidiRendererCategory},
    {"DirectShow Filters", &ids::CLSID_LegacyAmFilterCategory},
};

enum { kNameSize = 256 };

template <class Interface>
void ReleaseIfHeld(Interface*& held) {
    if (held) held->Release();
    held = nullptr;
}

// A name that needs more than the buffer is cut to its first 255 bytes; a failed
// conversion would leave the buffer unterminated.
bool ConvertFriendlyName(const WCHAR* wide, char (&name)[kNameSize]) {
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, name, kNameSize, nullptr, nullptr) > 0) return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    const int needed = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return false;
    char* whole = static_cast<char*>(malloc(needed));
    if (!whole) return false;
    const bool converted = WideCharToMultiByte(CP_ACP, 0, wide, -1, whole, needed, nullptr, nullptr) > 0;
    if (converted) {
        memcpy(name, whole, kNameSize - 1);
        name[kNameSize - 1] = '\0';
    }
    free(whole);
    return converted;
}

// One device: no node unless its property bag gives a string "FriendlyName".
void AddFriendlyName(HWND tree, ReportNode node, IMoniker* moniker) {
    IPropertyBag* bag = nullptr;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, ids::IID_IPropertyBag, reinterpret_cast<void**>(&bag))) ||
        !bag)
        return;
    VARIANT value;
    VariantInit(&value);
    char name[kNameSize];
    if (SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR &&
        ConvertFriendlyName(value.bstrVal ? value.bstrVal : L"", name))
        AddNodeFormatted(tree, node, "%s", name);
    VariantClear(&value);
    bag->Release();
}

}  // namespace

void ListDirectShowDevices(HWND tree, ReportNode node, ICreateDevEnum* devices, REFCLSID category) {
    IEnumMoniker* monikers = nullptr;
    if (devices->CreateClassEnumerator(category, &monikers, 0) == S_OK && monikers) {
        IMoniker* moniker = nullptr;
        ULONG fetched = 0;
        while (monikers->Next(1, &moniker, &fetched) == S_OK && moniker) {
            AddFriendlyName(tree, node, moniker);
            ReleaseIfHeld(moniker);
        }
        ReleaseIfHeld(moniker);
    }
    ReleaseIfHeld(monikers);
}

void ProbeDirectShowCategory(HWND tree, ReportNode node, REFCLSID category) {
    ICreateDevEnum* devices = nullptr;
    if (SUCCEEDED(CoCreateInstance(ids::CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, ids::IID_ICreateDevEnum,
                                   reinterpret_cast<void**>(&devices))) &&
        devices)
        ListDirectShowDevices(tree, node, devices, category);
    ReleaseIfHeld(devices);
}

void ProbeDirectShow(HWND tree, ReportNode parent) {
    const ReportNode block = AddNode(tree, parent, "DirectShow");
    for (const Category& category : kCategories)
        ProbeDirectShowCategory(tree, AddNode(tree, block, category.text), *category.id);
}
