#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "probes/graphics/directshow.h"
#include "probes/graphics/directx.h"
#include "support/test_report.h"

#include <oleauto.h>

namespace {

// Counts the references the code under test holds to the doubles.
struct Ledger {
    int held = 0;
    int overReleased = 0;
    int calls = 0;  // calls of any method, counted only on the tripwire
};

template <class Interface>
class Counted : public Interface {
public:
    explicit Counted(Ledger* ledger) : ledger_(ledger) {}
    virtual ~Counted() = default;

    // Gives the code under test a reference of its own.
    Interface* HandOut() {
        AddRef();
        return this;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
            *out = HandOut();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        ++ledger_->held;
        return ++refs_;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        if (refs_ == 0) {
            ++ledger_->overReleased;
            return 0;
        }
        --ledger_->held;
        return --refs_;
    }

protected:
    Ledger* ledger_;

private:
    ULONG refs_ = 0;
};

class FakeUnknown : public Counted<IUnknown> {
public:
    using Counted::Counted;
};

enum class NameRead { kName, kFails, kNotAString };

class FakeBag : public Counted<IPropertyBag> {
public:
    FakeBag(Ledger* ledger, NameRead read, std::wstring name, FakeUnknown* value)
        : Counted(ledger), read_(read), name_(std::move(name)), value_(value) {}
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR property, VARIANT* value, IErrorLog*) override {
        ++ledger_->calls;
        asked.push_back(property);
        switch (read_) {
        case NameRead::kName:
            value->vt = VT_BSTR;
            value->bstrVal = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
            return S_OK;
        case NameRead::kFails:
            return E_FAIL;
        case NameRead::kNotAString:
            value->vt = VT_UNKNOWN;
            value->punkVal = value_->HandOut();
            return S_OK;
        }
        return E_UNEXPECTED;
    }
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }
    ULONG STDMETHODCALLTYPE Release() override {
        ++ledger_->calls;
        return Counted::Release();
    }
    std::vector<std::wstring> asked;

private:
    NameRead read_;
    std::wstring name_;
    FakeUnknown* value_;
};

class FakeMoniker : public Counted<IMoniker> {
public:
    // A null bag makes the binding fail; the out pointer is then left at tripwire.
    FakeMoniker(Ledger* ledger, FakeBag* bag, IPropertyBag* tripwire) : Counted(ledger), bag_(bag), tripwire_(tripwire) {}
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx* context, IMoniker* left, REFIID iid, void** out) override {
        EXPECT_EQ(context, nullptr);
        EXPECT_EQ(left, nullptr);
        EXPECT_TRUE(iid == __uuidof(IPropertyBag));
        if (!bag_) {
            *out = tripwire_;
            return E_FAIL;
        }
        *out = bag_->HandOut();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Load(IStream*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(IStream*, WINBOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx*, IMoniker*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker*, WINBOOL, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Enum(WINBOOL, IEnumMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Hash(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD*) override { return E_NOTIMPL; }

private:
    FakeBag* bag_;
    IPropertyBag* tripwire_;
};

class FakeMonikers : public Counted<IEnumMoniker> {
public:
    FakeMonikers(Ledger* ledger, std::vector<FakeMoniker*> monikers, HRESULT end)
        : Counted(ledger), monikers_(std::move(monikers)), end_(end) {}
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IMoniker** out, ULONG* fetched) override {
        EXPECT_EQ(count, 1u);
        if (next_ == monikers_.size()) {
            *out = nullptr;
            if (fetched) *fetched = 0;
            return end_;
        }
        *out = monikers_[next_++]->HandOut();
        if (fetched) *fetched = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumMoniker**) override { return E_NOTIMPL; }

private:
    std::vector<FakeMoniker*> monikers_;
    size_t next_ = 0;
    HRESULT end_;
};

class FakeDevEnum : public Counted<ICreateDevEnum> {
public:
    FakeDevEnum(Ledger* ledger, FakeMonikers* monikers, HRESULT result)
        : Counted(ledger), monikers_(monikers), result_(result) {}
    HRESULT STDMETHODCALLTYPE CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD flags) override {
        asked = category;
        askedFlags = flags;
        ++classEnumerators;
        *out = result_ == S_OK ? monikers_->HandOut() : nullptr;
        return result_;
    }
    CLSID asked = {};
    DWORD askedFlags = 0xFFFFFFFF;
    int classEnumerators = 0;

private:
    FakeMonikers* monikers_;
    HRESULT result_;
};

// The published identifiers of the system device enumerator and the seven categories.
const CLSID kSystemDeviceEnum = {0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const IID kICreateDevEnum = {0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
const struct {
    const char* text;
    CLSID id;
} kCategories[] = {
    {"Video Compressors", {0x33D9A760, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}}},
    {"Video Input", {0x860BB310, 0x5D01, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}}},
    {"Audio Compressors", {0x33D9A761, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}}},
    {"Audio Input", {0x33D9A762, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}}},
    {"Audio Output", {0xE0F158E1, 0xCB04, 0x11D0, {0xBD, 0x4E, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}}},
    {"MIDI", {0x4EFE2452, 0x168A, 0x11D1, {0xBC, 0x76, 0x00, 0xC0, 0x4F, 0xB9, 0x45, 0x3B}}},
    {"DirectShow Filters", {0x083863F1, 0x70DE, 0x11D0, {0xBD, 0x40, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}}},
};
const CLSID& kVideoInput = kCategories[1].id;

struct Device {
    NameRead read;
    std::wstring name;
    bool binds;
};

// A category of devices behind fakes, listed under a "Video Input" node.
class Category {
public:
    Category(std::vector<Device> devices, HRESULT enumeratorResult = S_OK, HRESULT end = S_FALSE)
        : tripwire_(&tripLedger, NameRead::kFails, L"", nullptr), value_(&ledger) {
        std::vector<FakeMoniker*> monikers;
        for (const Device& device : devices) {
            bags_.emplace_back(new FakeBag(&ledger, device.read, device.name, &value_));
            monikers_.emplace_back(new FakeMoniker(&ledger, device.binds ? bags_.back().get() : nullptr, &tripwire_));
            monikers.push_back(monikers_.back().get());
        }
        enumerator_.reset(new FakeMonikers(&ledger, monikers, end));
        devEnum_.reset(new FakeDevEnum(&ledger, enumerator_.get(), enumeratorResult));
    }

    std::vector<std::string> List() {
        TestReport report;
        const ReportNode node = AddNode(report.tree(), nullptr, "Video Input");
        ICreateDevEnum* devices = devEnum_->HandOut();
        ListDirectShowDevices(report.tree(), node, devices, kVideoInput);
        devices->Release();
        // The names follow their category line in the file, as its children in the tree.
        std::vector<std::string> names = report.FileLines();
        EXPECT_FALSE(names.empty());
        if (!names.empty()) names.erase(names.begin());
        for (const TreeLine& line : report.Section()) EXPECT_EQ(line.depth, 0) << line.text;
        return names;
    }

    FakeDevEnum& devEnum() { return *devEnum_; }
    FakeBag& bag(size_t i) { return *bags_[i]; }

    Ledger ledger;
    Ledger tripLedger;

private:
    FakeBag tripwire_;
    FakeUnknown value_;
    std::vector<std::unique_ptr<FakeBag>> bags_;
    std::vector<std::unique_ptr<FakeMoniker>> monikers_;
    std::unique_ptr<FakeMonikers> enumerator_;
    std::unique_ptr<FakeDevEnum> devEnum_;
};

void ExpectAllReleased(const Category& category) {
    EXPECT_EQ(category.ledger.held, 0) << "references still held";
    EXPECT_EQ(category.ledger.overReleased, 0) << "released more than handed out";
    EXPECT_EQ(category.tripLedger.calls, 0) << "the property bag of a failed binding was touched";
}

TEST(DirectShowDevices, ListsEachNameUntilTheEnumeratorEndsOrFails) {
    const std::vector<Device> one = {{NameRead::kName, L"never listed", true}};
    const struct {
        HRESULT enumeratorResult, end;
        std::vector<Device> devices;
        std::vector<std::string> names;
    } cases[] = {
        // An empty or unregistered category lists nothing.
        {S_FALSE, S_FALSE, one, {}},
        {E_FAIL, S_FALSE, one, {}},
        {S_OK, S_FALSE, {}, {}},
        // A failing enumerator ends the list like its end.
        {S_OK, E_FAIL, {{NameRead::kName, L"first", true}, {NameRead::kName, L"second", true}}, {"first", "second"}},
        // Long names are cut to 255 bytes.
        {S_OK, S_FALSE,
         {{NameRead::kName, std::wstring(255, L'a'), true}, {NameRead::kName, std::wstring(256, L'b'), true},
          {NameRead::kName, std::wstring(300, L'c'), true}, {NameRead::kName, L"after", true}},
         {std::string(255, 'a'), std::string(255, 'b'), std::string(255, 'c'), "after"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "CreateClassEnumerator 0x" << c.enumeratorResult << ", end 0x"
                                        << c.end << ", " << c.devices.size() << " devices");
        Category category(c.devices, c.enumeratorResult, c.end);
        EXPECT_LINES(category.List(), c.names);
        ExpectAllReleased(category);
    }
}

TEST(DirectShowDevices, DevicesWithoutAReadableStringNameGetNoNode) {
    Category category({
        {NameRead::kName, L"Good One", true},
        {NameRead::kFails, L"", true},
        {NameRead::kName, L"unbound", false},
        {NameRead::kNotAString, L"", true},
        {NameRead::kName, L"", true},
        {NameRead::kName, L"100% %s%n", true},
    });
    EXPECT_LINES(category.List(), {"Good One", "", "100% %s%n"});
    EXPECT_TRUE(category.bag(0).asked == std::vector<std::wstring>{L"FriendlyName"});
    EXPECT_TRUE(category.bag(2).asked.empty());
    ExpectAllReleased(category);  // the VT_UNKNOWN value included
}

// The system device enumerator's class, registered in this process: every instance
// is a new enumerator whose one device is named after its number.
class DevEnumClass : public Counted<IClassFactory> {
public:
    using Counted::Counted;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        EXPECT_EQ(outer, nullptr);
        EXPECT_TRUE(iid == kICreateDevEnum);
        made.emplace_back(new Category({{NameRead::kName, L"device " + std::to_wstring(made.size()), true}}));
        return made.back()->devEnum().QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(WINBOOL) override { return S_OK; }
    std::vector<std::unique_ptr<Category>> made;
};

TEST(ProbeDirectShow, SevenCategoriesInOrderEachFromAnEnumeratorOfItsOwn) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    Ledger ledger;
    DevEnumClass devEnumClass(&ledger);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kSystemDeviceEnum, devEnumClass.HandOut(), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    TestReport report;
    ProbeDirectShow(report.tree(), AddNode(report.tree(), nullptr, "DirectX"));
    CoRevokeClassObject(cookie);

    std::vector<TreeLine> expected = {{0, "DirectShow"}};
    ASSERT_EQ(devEnumClass.made.size(), 7u);
    for (size_t i = 0; i < 7; ++i) {
        SCOPED_TRACE(kCategories[i].text);
        expected.push_back({1, kCategories[i].text});
        expected.push_back({2, "device " + std::to_string(i)});
        const FakeDevEnum& devEnum = devEnumClass.made[i]->devEnum();
        EXPECT_EQ(devEnum.classEnumerators, 1);
        EXPECT_TRUE(devEnum.asked == kCategories[i].id);
        EXPECT_EQ(devEnum.askedFlags, 0u);
        ExpectAllReleased(*devEnumClass.made[i]);
    }
    EXPECT_TREE(report.Section(), expected);
    CoUninitialize();
}

}  // namespace
