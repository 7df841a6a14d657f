#include "panel/module_dialog.h"

#include <commctrl.h>
#include <cwchar>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <exception>
#include <string>
#include "com/bstr.h"
#include "com/error.h"

namespace modkit {

using Microsoft::WRL::ComPtr;

ModuleDialog::~ModuleDialog() { Destroy(); }

std::wstring ModuleDialog::GetHelpFileName()
{
    if (!module) return {};
    ComPtr<IModule> host;
    check(module->QueryInterface(IID_IModule, reinterpret_cast<void**>(host.GetAddressOf())));
    Bstr path;
    check(host->GetHelpFile(path.put()));
    return std::wstring(path.view());
}

bool ModuleDialog::Create(int templateId, HWND parent)
{
    // Track bars and up-down controls live in the common controls; panels may use any of them.
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&classes);
    return CreateFromTemplate(templateId, parent) != nullptr;
}

void ModuleDialog::ExchangeFromControls()
{
    if (hwnd()) ExchangeControls(Exchange::FromControls);
}

void ModuleDialog::MarkUnchanged()
{
    if (pageSite && dirty) {
        dirty = 0;
        check(pageSite->OnStatusChange(0));
    }
    if (ComPtr<IModuleSite> site = ModuleSite()) check(site->SetModified(0));
}

ComPtr<IModuleSite> ModuleDialog::ModuleSite() const
{
    ComPtr<IModuleSite> site;
    if (module) module->QueryInterface(IID_IModuleSite, reinterpret_cast<void**>(site.GetAddressOf()));
    return site;
}

BOOL ModuleDialog::OnInitDialog()
{
    ExchangeControls(Exchange::ToControls);
    return TRUE;
}

BOOL EmptyModuleDialog::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    MarkUnchanged();
    return TRUE;
}

// --- messages ----------------------------------------------------------------------------------

namespace {
// Messages whose result the dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool returnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return true;
    default:
        return false;
    }
}
} // namespace

INT_PTR ModuleDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    case WM_HSCROLL: // the position is signed for track bars with a negative range
        return OnHScroll(LOWORD(wParam), static_cast<short>(HIWORD(wParam)), reinterpret_cast<HWND>(lParam));
    case WM_VSCROLL:
        return OnVScroll(LOWORD(wParam), static_cast<short>(HIWORD(wParam)), reinterpret_cast<HWND>(lParam));
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!lParam || !OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) return FALSE;
        SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, result);
        return TRUE;
    }
    default: {
        LRESULT result = 0;
        if (!OnMessage(message, wParam, lParam, result)) return FALSE;
        if (returnsResultDirectly(message)) return result;
        SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, result);
        return TRUE;
    }
    }
}

// --- update scope ------------------------------------------------------------------------------

ModuleDialog::UpdateScope::UpdateScope(ModuleDialog& dialog)
    : dialog_(dialog), site_(dialog.ModuleSite()), exceptionsAtStart_(std::uncaught_exceptions())
{
    if (site_) check(site_->BeginUpdate()); // not begun: the destructor does not run, no EndUpdate
}

ModuleDialog::UpdateScope::~UpdateScope()
{
    if (!open_) return;
    if (HRESULT hr = end(); FAILED(hr)) dialog_.NoteFailure(hr);
}

void ModuleDialog::UpdateScope::close()
{
    if (open_) check(end());
}

HRESULT ModuleDialog::UpdateScope::end() noexcept
{
    open_ = false;
    ComPtr<IModuleSite> site = std::move(site_);
    if (!site) return S_OK;
    HRESULT hr = site->EndUpdate();
    // A handler that failed half-way did not finish its change: the engine is not told of one.
    bool completed = std::uncaught_exceptions() <= exceptionsAtStart_;
    if (SUCCEEDED(hr) && changed_ && completed) hr = site->SetModified(1);
    return hr;
}

// --- controls ----------------------------------------------------------------------------------

void ModuleDialog::SetTrackRange(int id, int low, int high, bool redraw)
{
    // Separate messages: TBM_SETRANGE packs 16-bit halves and would lose negative limits.
    SendMessageW(Item(id), TBM_SETRANGEMIN, FALSE, low);
    SendMessageW(Item(id), TBM_SETRANGEMAX, redraw, high);
}

void ModuleDialog::SetTrackPos(int id, int position, bool redraw)
{
    SendMessageW(Item(id), TBM_SETPOS, redraw, position);
}

int ModuleDialog::TrackPos(int id) const { return static_cast<int>(SendMessageW(Item(id), TBM_GETPOS, 0, 0)); }

std::wstring ModuleDialog::Text(int id) const
{
    HWND control = Item(id);
    if (!control) return {};
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void ModuleDialog::SetText(int id, std::wstring_view text) { SetDlgItemTextW(hwnd(), id, std::wstring(text).c_str()); }

namespace {
// True when nothing but blanks follows the number.
bool onlyBlanksAfter(const wchar_t* end)
{
    while (*end == L' ' || *end == L'\t') ++end;
    return *end == L'\0';
}
} // namespace

std::optional<int> ModuleDialog::GetInt(int id) const
{
    std::wstring text = Text(id);
    const wchar_t* begin = text.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    long value = std::wcstol(begin, &end, 10);
    if (end == begin || errno == ERANGE || !onlyBlanksAfter(end) || value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

void ModuleDialog::SetInt(int id, int value) { SetText(id, std::to_wstring(value)); }

std::optional<double> ModuleDialog::GetFloat(int id) const
{
    std::wstring text = Text(id);
    const wchar_t* begin = text.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    double value = std::wcstod(begin, &end);
    if (end == begin || errno == ERANGE || !onlyBlanksAfter(end)) return std::nullopt;
    return value;
}

void ModuleDialog::SetFloat(int id, double value)
{
    wchar_t text[40];
    for (int digits = 1; digits <= 17; ++digits) {
        swprintf(text, 40, L"%.*g", digits, value);
        if (std::wcstod(text, nullptr) == value) break;
    }
    SetText(id, text);
}

void ModuleDialog::AddComboItems(int id, std::initializer_list<std::wstring_view> items)
{
    for (std::wstring_view item : items)
        SendMessageW(Item(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::wstring(item).c_str()));
}

int ModuleDialog::ComboSelection(int id) const
{
    LRESULT selected = SendMessageW(Item(id), CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : static_cast<int>(selected);
}

void ModuleDialog::SelectCombo(int id, int index) { SendMessageW(Item(id), CB_SETCURSEL, index, 0); }

std::wstring ModuleDialog::ComboText(int id, int index) const
{
    if (index < 0) index = ComboSelection(id);
    if (index < 0) return {};
    LRESULT length = SendMessageW(Item(id), CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(Item(id), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

int ModuleDialog::ComboCount(int id) const
{
    LRESULT count = SendMessageW(Item(id), CB_GETCOUNT, 0, 0);
    return count == CB_ERR ? 0 : static_cast<int>(count);
}

void ModuleDialog::RunDialogInit(int resourceId)
{
    constexpr WORD addStringOf16BitLists = 0x0403;
    HINSTANCE instance = resourceInstance();
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(240));
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const BYTE* bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!bytes) return;
    const size_t size = SizeofResource(instance, found);
    auto word = [&](size_t at) { return static_cast<WORD>(bytes[at] | (bytes[at + 1] << 8)); };
    // Entry: control id (0 ends the list), message, data length (32 bits), data.
    for (size_t at = 0; at + 2 <= size && word(at) != 0;) {
        if (at + 8 > size) return;
        const int control = word(at);
        // Resource editors record a list's add-string message by its 16-bit number.
        const UINT message = word(at + 2) == addStringOf16BitLists ? CB_ADDSTRING : word(at + 2);
        const size_t length = word(at + 4) | (static_cast<size_t>(word(at + 6)) << 16);
        at += 8;
        if (length > size - at) return;
        // The data is narrow text; a copy gives it its terminator whatever the resource holds.
        std::string text(reinterpret_cast<const char*>(bytes + at), length);
        SendDlgItemMessageA(hwnd(), control, message, 0, reinterpret_cast<LPARAM>(text.c_str()));
        at += length;
    }
}

long samplesPerSecondFromKilohertz(std::wstring_view text)
{
    // Double precision: "11.025" x 1000 gives 11025 (in single precision it would give 11024).
    const std::wstring terminated(text);
    const double kilohertz = std::wcstod(terminated.c_str(), nullptr);
    const double rate = kilohertz * 1000.0;
    if (!(rate > LONG_MIN && rate < LONG_MAX)) return 0;
    return static_cast<long>(rate);
}

bool ModuleDialog::IsChecked(int id) const { return IsDlgButtonChecked(hwnd(), id) == BST_CHECKED; }

void ModuleDialog::SetChecked(int id, bool checked) { CheckDlgButton(hwnd(), id, checked ? BST_CHECKED : BST_UNCHECKED); }

} // namespace modkit
