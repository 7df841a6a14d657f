#include "panel/property_page.h"

#include <optional>
#include <vector>
#include "com/error.h"
#include "com/handle.h"

namespace modkit {

using Microsoft::WRL::ComPtr;

// --- dialog templates ----------------------------------------------------------------------------

std::span<const BYTE> findDialogTemplate(int id) noexcept
{
    HINSTANCE instance = resourceInstance();
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(instance, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return {};
    return {static_cast<const BYTE*>(bytes), SizeofResource(instance, found)};
}

namespace {

// Bounds-checked reading of a template: every read past the end reports failure instead.
class TemplateReader {
public:
    explicit TemplateReader(std::span<const BYTE> bytes) noexcept : bytes_(bytes) {}

    bool extended() const noexcept
    {
        WORD signature = 0;
        return wordAt(2, signature) && signature == 0xFFFF;
    }
    bool wordAt(size_t offset, WORD& value) const noexcept
    {
        if (offset + 2 > bytes_.size()) return false;
        value = static_cast<WORD>(bytes_[offset] | (bytes_[offset + 1] << 8));
        return true;
    }
    bool dwordAt(size_t offset, DWORD& value) const noexcept
    {
        WORD low = 0, high = 0;
        if (!wordAt(offset, low) || !wordAt(offset + 2, high)) return false;
        value = low | (static_cast<DWORD>(high) << 16);
        return true;
    }
    // Steps over a menu, class or title field: 0, 0xFFFF plus an ordinal, or a terminated string.
    bool skipNameOrOrdinal(size_t& offset) const noexcept
    {
        WORD first = 0;
        if (!wordAt(offset, first)) return false;
        if (first == 0xFFFF) {
            offset += 4;
            return offset <= bytes_.size();
        }
        return skipString(offset);
    }
    bool readString(size_t& offset, std::wstring& text) const
    {
        for (WORD c = 0; wordAt(offset, c); offset += 2) {
            if (c == 0) {
                offset += 2;
                return true;
            }
            text.push_back(static_cast<wchar_t>(c));
        }
        return false; // unterminated
    }

private:
    bool skipString(size_t& offset) const noexcept
    {
        for (WORD c = 0; wordAt(offset, c); offset += 2)
            if (c == 0) {
                offset += 2;
                return true;
            }
        return false;
    }

    std::span<const BYTE> bytes_;
};

struct TemplateFont {
    WORD pointSize;
    std::wstring face;
};

constexpr DWORD setFontStyle = 0x40; // DS_SETFONT

// The template's own font; none when the template sets none or its font fields are cut short.
std::optional<TemplateFont> templateFont(std::span<const BYTE> bytes)
{
    TemplateReader t(bytes);
    bool extended = t.extended();
    DWORD style = 0;
    if (!t.dwordAt(extended ? 12 : 0, style) || !(style & setFontStyle)) return std::nullopt;
    size_t offset = extended ? 26 : 18; // menu, class and title follow the fixed header
    for (int field = 0; field < 3; ++field)
        if (!t.skipNameOrOrdinal(offset)) return std::nullopt;
    TemplateFont font{};
    if (!t.wordAt(offset, font.pointSize)) return std::nullopt;
    offset += extended ? 6 : 2; // the extended layout adds weight and italic/character set
    if (!t.readString(offset, font.face)) return std::nullopt;
    return font;
}

// Average character width and character height of a font on the screen, as dialogs measure them.
std::optional<SIZE> fontBaseUnits(const TemplateFont& font)
{
    WindowDc screen(nullptr);
    if (!screen) return std::nullopt;
    GdiObject<HFONT> f(CreateFontW(-MulDiv(font.pointSize, GetDeviceCaps(screen.get(), LOGPIXELSY), 72), 0, 0, 0, 400,
                                   FALSE, FALSE, FALSE, 1 /* DEFAULT_CHARSET */, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, font.face.c_str()));
    if (!f) return std::nullopt;
    Selection withFont(screen.get(), f.get());
    static constexpr wchar_t alphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent{};
    TEXTMETRICW metrics{};
    if (!GetTextExtentPoint32W(screen.get(), alphabet, 52, &extent) || !GetTextMetricsW(screen.get(), &metrics))
        return std::nullopt;
    return SIZE{(extent.cx + 26) / 52, metrics.tmHeight + metrics.tmExternalLeading};
}

} // namespace

bool dialogTemplateUnits(std::span<const BYTE> bytes, SIZE& units) noexcept
{
    TemplateReader t(bytes);
    size_t at = t.extended() ? 22 : 14;
    WORD width = 0, height = 0;
    if (!t.wordAt(at, width) || !t.wordAt(at + 2, height)) return false;
    units = {static_cast<short>(width), static_cast<short>(height)};
    return true;
}

SIZE dialogTemplatePixels(std::span<const BYTE> bytes)
{
    SIZE units{};
    if (!dialogTemplateUnits(bytes, units)) throwHr(E_UNEXPECTED);
    std::optional<SIZE> base;
    if (std::optional<TemplateFont> font = templateFont(bytes)) base = fontBaseUnits(*font);
    if (!base) {
        LONG system = GetDialogBaseUnits();
        base = SIZE{LOWORD(system), HIWORD(system)};
    }
    return {MulDiv(units.cx, base->cx, 4), MulDiv(units.cy, base->cy, 8)};
}

// --- the page ------------------------------------------------------------------------------------

namespace {

// The frame reads the structure as its platform lays it out: 28 bytes on 32-bit Windows.
static_assert(sizeof(void*) != 4 || sizeof(PROPPAGEINFO) == 28);

bool keyboardOrMouse(UINT message)
{
    return (message >= 0x100 && message <= 0x108) || (message >= 0x200 && message <= 0x209);
}

} // namespace

template <class Notify>
HRESULT PropertyPageBase::notifyHosts(Notify&& notify)
{
    HRESULT first = S_OK;
    // A copy: a host may hand the page new objects while it is being told.
    std::vector<ComPtr<IUnknown>> objects = dialog_.objects;
    for (const ComPtr<IUnknown>& object : objects) {
        ComPtr<IModulePageHost> host;
        if (FAILED(object->QueryInterface(IID_IModulePageHost, reinterpret_cast<void**>(host.GetAddressOf()))))
            continue;
        HRESULT hr = notify(host.Get(), static_cast<IModulePage*>(this));
        if (FAILED(hr) && SUCCEEDED(first)) first = hr;
    }
    return first;
}

STDMETHODIMP PropertyPageBase::SetPageSite(IPropertyPageSite* site) noexcept
{
    return boundary([&]() -> HRESULT {
        if (site) {
            if (site_) return E_UNEXPECTED;
            site_ = site;
            dialog_.pageSite = site;
        } else {
            site_.Reset();
            dialog_.pageSite = nullptr;
        }
        return S_OK;
    });
}

STDMETHODIMP PropertyPageBase::Activate(HWND parent, LPCRECT rect, BOOL) noexcept
{
    return boundary([&]() -> HRESULT {
        if (!rect) return E_POINTER;
        HRESULT result = E_FAIL;
        if (dialog_.Create(templateId_, parent)) {
            MoveWindow(dialog_.hwnd(), rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
            width_ = rect->right - rect->left;
            height_ = rect->bottom - rect->top;
            result = S_OK;
        }
        // The hosts learn of the page whether or not its window could be made.
        HRESULT attached = notifyHosts([](IModulePageHost* host, IModulePage* page) { return host->AttachPage(page); });
        return SUCCEEDED(result) ? attached : result;
    });
}

STDMETHODIMP PropertyPageBase::Deactivate() noexcept
{
    return boundary([&]() -> HRESULT {
        HRESULT detached = notifyHosts([](IModulePageHost* host, IModulePage* page) { return host->DetachPage(page); });
        dialog_.Destroy();
        return detached;
    });
}

STDMETHODIMP PropertyPageBase::GetPageInfo(PROPPAGEINFO* info) noexcept
{
    return boundary([&]() -> HRESULT {
        if (!info) return E_POINTER;
        std::span<const BYTE> dialogTemplate = findDialogTemplate(templateId_);
        if (dialogTemplate.empty()) return E_UNEXPECTED;
        SIZE size = dialogTemplatePixels(dialogTemplate);
        TaskString title = TaskString::copy(dialog_.title);
        TaskString docString = TaskString::copy(dialog_.docString);
        TaskString helpFile = TaskString::copy(dialog_.GetHelpFileName());
        info->cb = sizeof(PROPPAGEINFO); // 28 on 32-bit Windows
        info->pszTitle = title.release();
        info->size = size;
        info->pszDocString = docString.release();
        info->pszHelpFile = helpFile.release();
        info->dwHelpContext = dialog_.helpContext;
        return S_OK;
    });
}

STDMETHODIMP PropertyPageBase::SetObjects(ULONG count, IUnknown** objects) noexcept
{
    return boundary([&]() -> HRESULT {
        if (!objects) return E_POINTER;
        std::vector<ComPtr<IUnknown>> kept;
        kept.reserve(count);
        for (ULONG i = 0; i < count; ++i)
            if (objects[i]) kept.emplace_back(objects[i]);
        dialog_.objects.swap(kept); // the old ones are released as `kept` goes
        for (const ComPtr<IUnknown>& object : dialog_.objects) {
            if (dialog_.module) break;
            void* found = nullptr;
            if (FAILED(object->QueryInterface(moduleInterface_, &found)) || !found) continue;
            // The module's own interface is a dual interface: its pointer is its IDispatch.
            *moduleHeld_.ReleaseAndGetAddressOf() = static_cast<IDispatch*>(found); // takes the query's count
            dialog_.module = moduleHeld_.Get();
        }
        return S_OK;
    });
}

STDMETHODIMP PropertyPageBase::Show(UINT command) noexcept
{
    return boundary([&]() -> HRESULT {
        if (!dialog_.hwnd()) return E_UNEXPECTED;
        ShowWindow(dialog_.hwnd(), static_cast<int>(command));
        return S_OK;
    });
}

STDMETHODIMP PropertyPageBase::Move(LPCRECT rect) noexcept
{
    return boundary([&]() -> HRESULT {
        if (!dialog_.hwnd()) return E_UNEXPECTED;
        if (!rect) return E_POINTER;
        MoveWindow(dialog_.hwnd(), rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        return S_OK;
    });
}

STDMETHODIMP PropertyPageBase::IsPageDirty() noexcept
{
    // The flag is the answer: clear (S_OK) makes the frame apply every time, which module panels want.
    return dialog_.dirty ? S_FALSE : S_OK;
}

STDMETHODIMP PropertyPageBase::Apply() noexcept
{
    return boundary([&]() -> HRESULT {
        dialog_.ExchangeFromControls();
        HRESULT result = dialog_.Apply();
        // The page is clean and the engine told so whatever the panel's Apply answered; its answer is
        // the page's.
        dialog_.MarkUnchanged();
        return result;
    });
}

STDMETHODIMP PropertyPageBase::Help(LPCOLESTR) noexcept { return E_NOTIMPL; }

STDMETHODIMP PropertyPageBase::TranslateAccelerator(MSG* message) noexcept
{
    return boundary([&]() -> HRESULT {
        if (!message) return E_POINTER;
        if (!keyboardOrMouse(message->message) || !dialog_.hwnd()) return S_FALSE;
        return IsDialogMessageW(dialog_.hwnd(), message) ? S_OK : S_FALSE;
    });
}

STDMETHODIMP PropertyPageBase::Refresh() noexcept
{
    return boundary([&] { return dialog_.Refresh(); });
}

STDMETHODIMP PropertyPageBase::GetDialogSize(long* width, long* height) noexcept
{
    return boundary([&]() -> HRESULT {
        if (!width || !height) return E_POINTER;
        SIZE units{};
        if (!dialogTemplateUnits(findDialogTemplate(templateId_), units)) return E_UNEXPECTED;
        *width = units.cx;
        *height = units.cy;
        return S_OK;
    });
}

void PropertyPageBase::FinalRelease()
{
    dialog_.Destroy();
    dialog_.objects.clear();
    dialog_.pageSite = nullptr;
    dialog_.module = nullptr;
    moduleHeld_.Reset();
    site_.Reset();
}

} // namespace modkit
