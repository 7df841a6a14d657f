#include "module_harness.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include "com/bstr.h"
#include "com/error.h"
#include "window_watcher.h"

namespace vento {
std::ostream& operator<<(std::ostream& os, SiteCall call)
{
    for (wchar_t c : siteCallName(call)) os << static_cast<char>(c); // the names are ASCII
    return os;
}
} // namespace vento

namespace vento::test {

namespace {

std::string narrow(std::wstring_view text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

[[noreturn]] void fail(std::string_view what, std::wstring_view pin)
{
    throw std::logic_error(std::string(what) + " \"" + narrow(pin) + "\"");
}

// A name without a folder is a file beside the test program.
std::filesystem::path besideThisProgram(const wchar_t* name)
{
    std::filesystem::path path(name);
    return path.has_parent_path() ? path : programFolder() / path;
}

std::optional<std::wstring_view> viewOf(const std::optional<std::wstring>& props)
{
    if (!props) return std::nullopt;
    return std::wstring_view(*props);
}

} // namespace

Instance& ModuleHarness::addModule(const wchar_t* dllName, REFCLSID moduleClsid, std::wstring_view name)
{
    auto& library = moreLibraries_.emplace_back(std::make_unique<ServerLibrary>(besideThisProgram(dllName)));
    return engine_.create(*library->classFactory(moduleClsid).Get(), name);
}

Instance& ModuleHarness::addSource(const wchar_t* dllName, REFCLSID moduleClsid, std::wstring_view name,
                                   const wchar_t* input)
{
    Instance& source = addModule(dllName, moduleClsid, name);
    EXPECT_EQ(S_OK, source.module->Initialize());
    engine_.connect(source, L"Default", *instance_, input);
    return source;
}

ModuleHarness::ModuleHarness(const wchar_t* dllName, REFCLSID moduleClsid)
    : library_(besideThisProgram(dllName)), engine_(std::make_unique<ManualClock>())
{
    auto factory = library_.classFactory(moduleClsid);

    engine_.setProbe(&probe_);
    probe_.setRecording(true);
    engine_.setSendObserver([this](const ModuleCore& from, std::wstring_view pin, const OutputPin& out) {
        if (!instance_ || &from != instance_->core) return;
        auto it = sent_.find(pin);
        if (it == sent_.end()) it = sent_.try_emplace(std::wstring(pin)).first;
        it->second.data.assign(out.data().begin(), out.data().end());
        it->second.props = modkit::bstrView(out.props());
    });

    instance_ = &engine_.create(*factory.Get());
}

ModuleHarness::~ModuleHarness()
{
    if (ULONG left = releaseModule(); left != 0)
        ADD_FAILURE() << "the module still holds " << left << " reference(s) after its last Release";
    if (!moduleCanUnload()) ADD_FAILURE() << "DllCanUnloadNow refuses after the module was released (leaked objects or locks)";
}

std::map<std::wstring, float> ModuleHarness::savedFloats()
{
    Microsoft::WRL::ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
    EXPECT_EQ(S_OK, module()->SaveSettings(store.Get()));
    std::map<std::wstring, float> values;
    for (const auto& write : store->writes())
        if (auto value = store->floatValue(write.name)) values[write.name] = *value;
    return values;
}

std::vector<std::wstring> ModuleHarness::savedNames()
{
    Microsoft::WRL::ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
    EXPECT_EQ(S_OK, module()->SaveSettings(store.Get()));
    std::vector<std::wstring> names;
    for (const auto& write : store->writes()) names.push_back(write.name);
    return names;
}

HWND ModuleHarness::openWindow()
{
    EXPECT_EQ(S_OK, module()->OpenWindow());
    HWND window = findThreadDialog(GetCurrentThreadId(), L"Wave");
    EXPECT_NE(nullptr, window) << "no window shown";
    return window;
}

ULONG ModuleHarness::releaseModule()
{
    if (!releasedCount_) {
        releasedCount_ = instance_ ? engine_.remove(*instance_) : 0;
        instance_ = nullptr;
    }
    return *releasedCount_;
}

bool ModuleHarness::moduleCanUnload() const { return library_.call("DllCanUnloadNow") == S_OK; }

InputSlot& ModuleHarness::inputSlot(std::wstring_view pin, int index)
{
    InputPin* in = core().findInput(pin);
    if (!in) fail("the module has no input", pin);
    if (index < 0 || static_cast<std::size_t>(index) >= in->slots.size())
        fail("no such connection (add one with connect()) on input", pin);
    return *in->slots[static_cast<std::size_t>(index)];
}

void ModuleHarness::feed(std::wstring_view pin, const std::vector<float>& data, std::optional<std::wstring> props)
{
    inputSlot(pin).receive(data, viewOf(props));
}

void ModuleHarness::feedWithStatus(std::wstring_view pin, long status, const std::vector<float>& data,
                                   std::optional<std::wstring> props)
{
    inputSlot(pin).receive(data, viewOf(props), status);
}

void ModuleHarness::feedNullRecord(std::wstring_view pin) { inputSlot(pin).receiveNullRecord(); }

void ModuleHarness::feedEmpty(std::wstring_view pin) { inputSlot(pin).receive({}, std::nullopt); }

int ModuleHarness::connect(std::wstring_view multiInput)
{
    InputPin* in = core().findInput(multiInput);
    if (!in) fail("the module has no input", multiInput);
    if (!in->multi) fail("connect() adds connections to multi-inputs only; not one:", multiInput);
    core().connectionSlot(multiInput);
    return static_cast<int>(in->slots.size()) - 1;
}

void ModuleHarness::feedAt(std::wstring_view pin, int index, const std::vector<float>& data,
                           std::optional<std::wstring> props)
{
    inputSlot(pin, index).receive(data, viewOf(props));
}

const OutputPin& ModuleHarness::output(std::wstring_view pin) const
{
    const OutputPin* out = core().findOutput(pin);
    if (!out) fail("the module has no output", pin);
    return *out;
}

std::vector<float> ModuleHarness::outputData(std::wstring_view pin) const
{
    auto data = output(pin).data();
    return {data.begin(), data.end()};
}

std::wstring ModuleHarness::outputProps(std::wstring_view pin) const
{
    return std::wstring(modkit::bstrView(output(pin).props()));
}

std::vector<float> ModuleHarness::processed(std::wstring_view pin, const std::vector<float>& data)
{
    feed(pin, data);
    const HRESULT hr = process();
    if (hr != S_OK) fail("Process failed (" + narrow(modkit::hresultText(hr)) + ") for a block on", pin);
    return lastSent(pin).data;
}

const SentBlock& ModuleHarness::lastSent(std::wstring_view pin) const
{
    auto it = sent_.find(pin);
    if (it == sent_.end()) fail("nothing was sent on output", pin);
    return it->second;
}

} // namespace vento::test
