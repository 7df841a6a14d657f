#include "module/module_base.h"

#include <olectl.h>
#include <algorithm>
#include "com/handle.h"

namespace modkit {

ModuleBase::ModuleBase(const ModuleIdentity& identity) : identity_(identity)
{
    // Without a work document the module still runs; it only stops rebuilding output documents.
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"msxml2.domdocument", &clsid))) return;
    ComPtr<IUnknown> unknown;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IUnknown, &unknown))) return;
    if (FAILED(OleRun(unknown.Get()))) return;
    unknown->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(document.ReleaseAndGetAddressOf()));
}

ModuleBase::~ModuleBase() = default;

HRESULT ModuleBase::FinalConstruct() noexcept
{
    return boundary([&] {
        IUnknown* self = controllingUnknown();
        check(CoCreateInstance(CLSID_ModuleCore, self, CLSCTX_INPROC_SERVER, IID_IUnknown, &core));
        check(core->QueryInterface(IID_IModuleSite, reinterpret_cast<void**>(&site)));
        self->Release(); // the site lives inside us: its reference must not keep us alive
        check(site->SetModuleName(Bstr(identity_.typeName).get()));
        check(site->AttachModule(self));
    });
}

void ModuleBase::FinalRelease()
{
    // The core goes last, whatever the module's own step does.
    auto releaseCore = scopeExit([this]() noexcept {
        site = nullptr;
        core.Reset();
    });
    CloseWindow();
    OnFinalRelease();
}

HRESULT ModuleBase::QueryExtraInterface(REFIID iid, void** out) noexcept
{
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IModuleSite) || !core) return E_NOINTERFACE;
    return core->QueryInterface(iid, out);
}

// --- IModule -------------------------------------------------------------------------------------

STDMETHODIMP ModuleBase::Process() noexcept { return boundary([&] { OnProcess(); }); }
STDMETHODIMP ModuleBase::Stop() noexcept { return boundary([&] { OnStop(); }); }
STDMETHODIMP ModuleBase::Start() noexcept { return boundary([&] { OnStart(); }); }
STDMETHODIMP ModuleBase::Initialize() noexcept
{
    return boundary([&] {
        AnnouncePage();
        OnInitialize();
    });
}

void ModuleBase::AnnouncePage()
{
    if (!identity_.page || !core) return;
    // An engine without IModuleUI simply shows no panel; a failing SetControlPage is an error.
    ComPtr<IModuleUI> ui;
    if (FAILED(core->QueryInterface(IID_IModuleUI, reinterpret_cast<void**>(ui.GetAddressOf())))) return;
    check(ui->SetControlPage(*identity_.page, identity_.localOnlyPanel));
}
STDMETHODIMP ModuleBase::OpenWindow() noexcept { return boundary([&] { OnOpenWindow(); }); }
STDMETHODIMP ModuleBase::CloseWindow() noexcept { return boundary([&] { OnCloseWindow(); }); }

namespace {
// The store as ISettingsStore; null when there is none or the object is not a store.
ComPtr<ISettingsStore> settingsStore(IUnknown* store)
{
    ComPtr<ISettingsStore> settings;
    if (!store) return settings;
    HRESULT hr = store->QueryInterface(IID_ISettingsStore, &settings);
    if (hr != E_NOINTERFACE) check(hr);
    return settings;
}
} // namespace

STDMETHODIMP ModuleBase::SaveSettings(IUnknown* store) noexcept
{
    return boundary([&] {
        if (ComPtr<ISettingsStore> found = settingsStore(store)) {
            Settings settings(*found.Get());
            OnSaveSettings(settings);
            SaveDeclaredSettings(settings);
        }
    });
}

STDMETHODIMP ModuleBase::LoadSettings(IUnknown* store) noexcept
{
    return boundary([&] {
        if (ComPtr<ISettingsStore> found = settingsStore(store)) {
            Settings settings(*found.Get());
            LoadDeclaredSettings(settings);
        }
    });
}

STDMETHODIMP ModuleBase::GetIcon(IDispatch** picture) noexcept
{
    return boundary([&]() -> HRESULT {
        if (!picture) return E_POINTER;
        *picture = nullptr;
        GdiObject<HBITMAP> bitmap(LoadBitmapW(resourceInstance(), MAKEINTRESOURCEW(4000)));
        if (!bitmap) return E_FAIL;
        PICTDESC desc{};
        desc.cbSizeofstruct = sizeof(PICTDESC);
        desc.picType = PICTYPE_BITMAP;
        desc.bmp.hbitmap = bitmap.get();
        HRESULT hr = OleCreatePictureIndirect(&desc, IID_IDispatch, TRUE, reinterpret_cast<void**>(picture));
        if (SUCCEEDED(hr)) bitmap.release(); // the picture owns it now
        return hr;
    });
}

STDMETHODIMP ModuleBase::GetHelpFile(BSTR* path) noexcept
{
    return boundary([&]() -> HRESULT {
        if (!path) return E_POINTER;
        *path = nullptr;
        *path = Bstr(GetHelpPath()).release();
        return S_OK;
    });
}

STDMETHODIMP ModuleBase::GetInfo(ModuleInfo* info) noexcept
{
    return boundary([&]() -> HRESULT {
        if (!info) return E_POINTER;
        Bstr a(author), d(description);
        info->instance = serverInstance();
        info->author = a.release();
        info->description = d.release();
        return S_OK;
    });
}

STDMETHODIMP ModuleBase::GetFlags(long* flags) noexcept
{
    if (!flags) return E_POINTER;
    *flags = 0;
    return S_OK;
}

// --- Help page -----------------------------------------------------------------------------------

std::wstring ModuleBase::GetModuleDirectory()
{
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetModuleFileNameW(serverInstance(), path.data(), MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::wstring();
    path.resize(n);
    wchar_t drive[_MAX_DRIVE], dir[_MAX_DIR];
    if (_wsplitpath_s(path.c_str(), drive, _MAX_DRIVE, dir, _MAX_DIR, nullptr, 0, nullptr, 0) != 0) return std::wstring();
    std::wstring result = std::wstring(drive) + dir;
    if (result.empty() || result.back() != L'\\') result += L'\\';
    return result;
}

std::wstring ModuleBase::GetHelpPath()
{
    if (helpPath.empty() && site) {
        Bstr name;
        check(site->GetModuleName(name.put()));
        helpPath = GetModuleDirectory() + std::wstring(name.view()) + L"ModuleHelp.htm";
    }
    WriteHelpFile();
    return helpPath;
}

void ModuleBase::WriteHelpFile()
{
    if (helpPath.empty()) return;
    HINSTANCE instance = resourceInstance();
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(202), MAKEINTRESOURCEW(23));
    if (!found) return;
    HGLOBAL loaded = LoadResource(instance, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return;
    DWORD size = SizeofResource(instance, found);
    // A help page that cannot be written is not an error: the path is still answered.
    UniqueFile file(CreateFileW(helpPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) file.writeAll(bytes, size);
}

// --- Pins and blocks -----------------------------------------------------------------------------

void ModuleBase::AddInput(const Pin& pin, long size)
{
    check(site->AddInput(pin.bstr(), 0, size));
    Declare(pin, InputKind::Single);
}

void ModuleBase::AddMultiInput(const Pin& pin, long size)
{
    check(site->AddMultiInput(pin.bstr(), 0, size));
    Declare(pin, InputKind::Multi);
}

void ModuleBase::Declare(const Pin& pin, InputKind kind)
{
    for (auto& [name, declared] : declaredInputs_)
        if (pin == name) {
            declared = kind;
            return;
        }
    declaredInputs_.emplace_back(pin.name(), kind);
}

ModuleBase::InputKind ModuleBase::DeclaredInput(const Pin& pin) const noexcept
{
    for (const auto& [name, kind] : declaredInputs_)
        if (pin == name) return kind;
    return InputKind::None;
}
void ModuleBase::AddOutput(const Pin& pin, long size) { check(site->AddOutput(pin.bstr(), 0, size)); }

bool ModuleBase::IsInputReady(const Pin& pin)
{
    long ready = 0;
    check(site->IsInputReady(pin.bstr(), &ready));
    return ready != 0;
}

long ModuleBase::GetInputCount(const Pin& pin)
{
    long count = 0;
    check(site->GetInputCount(pin.bstr(), &count));
    return count;
}

bool ModuleBase::IsInputReadyAt(const Pin& pin, long index)
{
    long ready = 0;
    check(site->IsInputReadyAt(pin.bstr(), index, &ready));
    return ready != 0;
}

Block ModuleBase::GetInputBlock(const Pin& pin)
{
    SignalBlock* record = nullptr;
    check(site->GetInputBlock(pin.bstr(), &record));
    return Block::from(record);
}

Block ModuleBase::GetInputBlockAt(const Pin& pin, long index)
{
    SignalBlock* record = nullptr;
    check(site->GetInputBlockAt(pin.bstr(), index, &record));
    return Block::from(record);
}

Block ModuleBase::GetOutputBlock(const Pin& pin)
{
    SignalBlock* record = nullptr;
    check(site->GetOutputBlock(pin.bstr(), &record));
    return Block::from(record);
}

void ModuleBase::SendOutput(const Pin& pin)
{
    if (!pendingProps_.empty() &&
        std::find(pendingProps_.begin(), pendingProps_.end(), pin.name()) != pendingProps_.end())
        PropagateProps(pin); // its last publication was refused by the engine
    check(site->SendOutput(pin.bstr()));
}

Block ModuleBase::ResizeOutput(const Pin& pin, Block out, long size, bool republish)
{
    if (out.count == size) return out;
    AddOutput(pin, size);
    out = GetOutputBlock(pin);
    if (republish) PropagateProps(pin);
    return out;
}

} // namespace modkit
