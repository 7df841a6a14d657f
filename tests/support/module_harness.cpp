#include "module_harness.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include "com/bstr.h"

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

std::wstring besideThisProgram(const wchar_t* name)
{
    std::wstring_view n(name);
    if (n.find_first_of(L"\\/:") != std::wstring_view::npos) return std::wstring(n);
    wchar_t path[MAX_PATH];
    DWORD len = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (len == 0 || len >= MAX_PATH) throw std::runtime_error("cannot find the test program's folder");
    std::wstring folder(path, len);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + std::wstring(n);
}

std::optional<std::wstring_view> viewOf(const std::optional<std::wstring>& props)
{
    if (!props) return std::nullopt;
    return std::wstring_view(*props);
}

} // namespace

ModuleHarness::Library::~Library()
{
    if (handle) FreeLibrary(handle);
}

// A module server loaded beside this program, and the class factory of one of its classes.
Microsoft::WRL::ComPtr<IClassFactory> ModuleHarness::loadFactory(const wchar_t* dllName, REFCLSID clsid, HMODULE* handle)
{
    std::wstring path = besideThisProgram(dllName);
    *handle = LoadLibraryW(path.c_str());
    if (!*handle)
        throw std::runtime_error("cannot load " + narrow(path) + " (error " + std::to_string(GetLastError()) + ")");
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(*handle, "DllGetClassObject")));
    if (!getClassObject) throw std::runtime_error(narrow(path) + " does not export DllGetClassObject");
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    modkit::check(getClassObject(clsid, IID_PPV_ARGS(&factory)));
    return factory;
}

Instance& ModuleHarness::addModule(const wchar_t* dllName, REFCLSID moduleClsid, std::wstring_view name)
{
    auto& library = moreLibraries_.emplace_back(std::make_unique<Library>());
    auto factory = loadFactory(dllName, moduleClsid, &library->handle);
    return engine_.create(*factory.Get(), name);
}

ModuleHarness::ModuleHarness(const wchar_t* dllName, REFCLSID moduleClsid)
    : engine_(std::make_unique<ManualClock>())
{
    auto factory = loadFactory(dllName, moduleClsid, &library_.handle);

    engine_.setCallRecording(true);
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

ULONG ModuleHarness::releaseModule()
{
    if (!releasedCount_) {
        releasedCount_ = instance_ ? engine_.remove(*instance_) : 0;
        instance_ = nullptr;
    }
    return *releasedCount_;
}

bool ModuleHarness::moduleCanUnload() const
{
    using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
    auto canUnload =
        reinterpret_cast<CanUnloadNow>(reinterpret_cast<void*>(GetProcAddress(library_.handle, "DllCanUnloadNow")));
    return canUnload && canUnload() == S_OK;
}

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

const SentBlock& ModuleHarness::lastSent(std::wstring_view pin) const
{
    auto it = sent_.find(pin);
    if (it == sent_.end()) fail("nothing was sent on output", pin);
    return it->second;
}

} // namespace vento::test
