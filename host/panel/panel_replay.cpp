#include "host/panel/panel_replay.h"

#include <commctrl.h>
#include <ocidl.h>
#include <algorithm>
#include <cwctype>
#include <string>
#include <utility>
#include <wrl/client.h>
#include "com/error.h"
#include "com/handle.h"
#include "com/object.h"
#include "host/panel/page_site.h"

namespace vento {

namespace {

std::wstring windowText(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(size_t(std::max(length, 0)) + 1, L'\0');
    text.resize(size_t(std::max(GetWindowTextW(window, text.data(), length + 1), 0)));
    return text;
}

// A control's text as a label: accelerator marks gone, line breaks and runs of blanks made one blank.
std::wstring labelText(HWND window)
{
    const std::wstring text = windowText(window);
    std::wstring label;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'&' && i + 1 < text.size() && text[i + 1] != L'&') continue;
        if (c == L'&') ++i;
        if (std::iswspace(c)) {
            if (!label.empty() && label.back() != L' ') label += L' ';
            continue;
        }
        label += c;
    }
    if (!label.empty() && label.back() == L' ') label.pop_back();
    return label;
}

PanelControlInfo::Kind kindOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    using Kind = PanelControlInfo::Kind;
    if (_wcsicmp(name, TRACKBAR_CLASSW) == 0) return Kind::Trackbar;
    if (_wcsicmp(name, UPDOWN_CLASSW) == 0) return Kind::UpDown;
    if (_wcsicmp(name, L"ComboBox") == 0) return Kind::List;
    if (_wcsicmp(name, L"Edit") == 0) return Kind::Edit;
    if (_wcsicmp(name, L"Static") == 0) return Kind::Label;
    if (_wcsicmp(name, L"Button") == 0) {
        switch (GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_3STATE:
        case BS_AUTO3STATE: return Kind::CheckBox;
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON: return Kind::Button;
        default: return Kind::Other;
        }
    }
    return Kind::Other;
}

// A drop-down list's entries, in order.
std::vector<std::wstring> listEntries(HWND list)
{
    std::vector<std::wstring> entries;
    const int count = int(SendMessageW(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        const int length = int(SendMessageW(list, CB_GETLBTEXTLEN, i, 0));
        std::wstring entry(size_t(std::max(length, 0)) + 1, L'\0');
        const int got = int(SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data())));
        entry.resize(size_t(std::max(got, 0)));
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The dialog's controls in their order (a dialog creates its children in template order).
std::vector<PanelControlInfo> readControls(HWND dialog)
{
    std::vector<PanelControlInfo> controls;
    if (!dialog) return controls;
    using Kind = PanelControlInfo::Kind;
    std::wstring pending; // the last static label, until a control it names is reached
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        PanelControlInfo c;
        c.id = GetDlgCtrlID(child);
        c.kind = kindOf(child);
        c.visible = (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE) != 0; // the panel itself is never shown
        c.enabled = IsWindowEnabled(child) != FALSE;
        GetWindowRect(child, &c.place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.place), 2);
        switch (c.kind) {
        case Kind::Label:
            pending = labelText(child);
            if (c.id == 0 || c.id == 0xFFFF || c.id == -1) continue;
            c.label = pending;
            break;
        case Kind::Button:
        case Kind::CheckBox:
            c.label = labelText(child);
            c.position = int(SendMessageW(child, BM_GETCHECK, 0, 0));
            break;
        case Kind::Trackbar:
            c.label = std::exchange(pending, {});
            c.low = int(SendMessageW(child, TBM_GETRANGEMIN, 0, 0));
            c.high = int(SendMessageW(child, TBM_GETRANGEMAX, 0, 0));
            c.position = int(SendMessageW(child, TBM_GETPOS, 0, 0));
            break;
        case Kind::List:
            c.label = std::exchange(pending, {});
            c.entries = listEntries(child);
            c.position = int(SendMessageW(child, CB_GETCURSEL, 0, 0));
            break;
        case Kind::UpDown: {
            c.label = pending;
            INT low = 0, high = 0;
            SendMessageW(child, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
            c.low = low, c.high = high;
            c.position = int(SendMessageW(child, UDM_GETPOS32, 0, 0));
            break;
        }
        case Kind::Edit:
            c.label = pending;
            c.text = windowText(child);
            break;
        case Kind::Other: c.label = pending; break;
        }
        controls.push_back(std::move(c));
    }
    return controls;
}

bool sameLabel(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

} // namespace

std::optional<PanelControl::Action> PanelControlInfo::action() const
{
    switch (kind) {
    case Kind::Trackbar: return PanelControl::Action::Position;
    case Kind::List: return PanelControl::Action::Select;
    case Kind::Button:
    case Kind::CheckBox: return PanelControl::Action::Click;
    default: return std::nullopt;
    }
}

const wchar_t* kindName(PanelControlInfo::Kind kind)
{
    using Kind = PanelControlInfo::Kind;
    switch (kind) {
    case Kind::Trackbar: return L"trackbar";
    case Kind::List: return L"list";
    case Kind::Button: return L"button";
    case Kind::CheckBox: return L"check box";
    case Kind::Edit: return L"edit";
    case Kind::UpDown: return L"up-down";
    case Kind::Label: return L"label";
    case Kind::Other: break;
    }
    return L"other";
}

const PanelControlInfo* controlByLabel(const std::vector<PanelControlInfo>& controls, std::wstring_view label)
{
    const PanelControlInfo* found = nullptr;
    for (const PanelControlInfo& c : controls) {
        if (!c.action() || c.label.empty() || !sameLabel(c.label, label)) continue;
        if (found)
            throw EngineError("label '" + narrow(label) + "' names more than one control (" + std::to_string(found->id) +
                              ", " + std::to_string(c.id) + "); give the id");
        found = &c;
    }
    return found;
}

std::vector<PanelControl> panelAsItStands(const std::vector<PanelControl>& given, const std::vector<PanelControlInfo>& opened,
                                          const std::vector<PanelControlInfo>& now)
{
    using Kind = PanelControlInfo::Kind;
    auto byId = [](const std::vector<PanelControlInfo>& controls, int id) -> const PanelControlInfo* {
        auto it = std::find_if(controls.begin(), controls.end(), [&](const PanelControlInfo& c) { return c.id == id; });
        return it == controls.end() ? nullptr : &*it;
    };
    auto named = [](const std::vector<PanelControlInfo>& controls, const PanelControl& c) -> const PanelControlInfo* {
        try {
            return controlByLabel(controls, c.label);
        } catch (const EngineError&) {
            return nullptr;
        }
    };
    std::vector<PanelControl> kept;
    std::vector<int> covered; // ids the file's controls name
    for (PanelControl c : given) {
        const PanelControlInfo* info = c.label.empty() ? byId(now, c.id) : named(now, c);
        if (!info && !c.label.empty()) {
            // The label named it when the file was played; the panel calls it otherwise now.
            if (const PanelControlInfo* was = named(opened, c)) info = byId(now, was->id);
            if (info) c = {info->id, c.action, c.value};
        }
        if (!info || !info->visible) continue;
        covered.push_back(info->id);
        if (info->kind == Kind::Trackbar && c.action == PanelControl::Action::Position) c.value = info->position;
        if (info->kind == Kind::List && c.action == PanelControl::Action::Select && info->position >= 0) c.value = info->position;
        if (info->kind == Kind::CheckBox && c.action == PanelControl::Action::Click) {
            const PanelControlInfo* was = byId(opened, info->id);
            if (was && was->position != info->position) continue; // toggled back
        }
        kept.push_back(c);
    }
    for (const PanelControlInfo& info : now) {
        const PanelControlInfo* was = byId(opened, info.id);
        if (!was || was->position == info.position || !info.visible) continue;
        const bool named = std::find(covered.begin(), covered.end(), info.id) != covered.end();
        if (info.kind == Kind::CheckBox && !named) kept.push_back({info.id, PanelControl::Action::Click, 1});
        if (named || info.position < 0) continue;
        if (info.kind == Kind::Trackbar) kept.push_back({info.id, PanelControl::Action::Position, info.position});
        if (info.kind == Kind::List) kept.push_back({info.id, PanelControl::Action::Select, info.position});
    }
    return kept;
}

OpenPanel::OpenPanel(Instance& instance) : where_(narrow(instance.name) + ": panel: ")
{
    const auto& pageClass = instance.core->controlPage();
    if (!pageClass) throw EngineError(where_ + "the module has no control panel");
    if (HRESULT hr = CoCreateInstance(*pageClass, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&page_)); FAILED(hr))
        throw EngineError(where_ + "cannot create the panel (" + narrow(modkit::hresultText(hr)) + ")");
    // Never shown: the panel needs a parent to be created on, not a place on the screen.
    parent_.reset(CreateWindowExW(0, L"STATIC", L"vento panel", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr,
                                  nullptr, nullptr));
    if (!parent_) throw EngineError(where_ + "cannot create a window for the panel");
    // The page site has nothing to report to: no frame shows the page.
    auto site = modkit::make<PageSite>();
    modkit::check(page_->SetPageSite(site.Get()));
    sited_ = true;
    IUnknown* objects[] = {instance.object.Get()};
    modkit::check(page_->SetObjects(1, objects));
    RECT rect{0, 0, 280, 154};
    if (HRESULT hr = page_->Activate(parent_.get(), &rect, FALSE); FAILED(hr))
        throw EngineError(where_ + "cannot show the panel (" + narrow(modkit::hresultText(hr)) + ")");
    active_ = true;
    dialog_ = FindWindowExW(parent_.get(), nullptr, L"#32770", nullptr);
}

OpenPanel::~OpenPanel()
{
    if (active_) page_->Deactivate();
    if (sited_) {
        page_->SetObjects(0, nullptr);
        page_->SetPageSite(nullptr);
    }
}

PanelView OpenPanel::view() const
{
    PanelView view;
    RECT client{};
    if (dialog_ && GetClientRect(dialog_, &client)) view.size = {client.right, client.bottom};
    view.controls = readControls(dialog_);
    return view;
}

HWND OpenPanel::item(const PanelControl& control, int& id, std::string& name) const
{
    id = control.id;
    name = where_ + "control " + std::to_string(id);
    if (!control.label.empty()) {
        name = where_ + "control '" + narrow(control.label) + "'";
        const PanelControlInfo* found = nullptr;
        const auto now = readControls(dialog_);
        try {
            found = controlByLabel(now, control.label);
        } catch (const EngineError& e) {
            throw EngineError(where_ + e.what());
        }
        if (!found) throw EngineError(name + ": the panel has no control of that label");
        id = found->id;
    }
    HWND item = dialog_ ? GetDlgItem(dialog_, id) : nullptr;
    if (!item) throw EngineError(name + ": the panel has no such control");
    return item;
}

void OpenPanel::drive(const PanelControl& control)
{
    int id = 0;
    std::string name;
    HWND control_ = item(control, id, name);
    switch (control.action) {
    case PanelControl::Action::Position: {
        long low = long(SendMessageW(control_, TBM_GETRANGEMIN, 0, 0)), high = long(SendMessageW(control_, TBM_GETRANGEMAX, 0, 0));
        if (control.value < low || control.value > high)
            throw EngineError(name + ": position " + std::to_string(control.value) + " is outside " + std::to_string(low) + ".." +
                              std::to_string(high));
        SendMessageW(control_, TBM_SETPOS, TRUE, control.value);
        SendMessageW(dialog_, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, control.value), reinterpret_cast<LPARAM>(control_));
        break;
    }
    case PanelControl::Action::Select:
        if (SendMessageW(control_, CB_SETCURSEL, control.value, 0) == CB_ERR)
            throw EngineError(name + ": the list has no entry " + std::to_string(control.value));
        SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(control_));
        break;
    case PanelControl::Action::Click: SendMessageW(control_, BM_CLICK, 0, 0); break;
    }
}

void OpenPanel::type(int id, std::wstring_view text)
{
    std::string name;
    HWND edit = item(PanelControl{id}, id, name);
    SetWindowTextW(edit, std::wstring(text).c_str()); // the edit tells the panel (EN_CHANGE)
    apply();
}

void OpenPanel::apply()
{
    if (HRESULT hr = page_->Apply(); FAILED(hr)) throw EngineError(where_ + "Apply failed (" + narrow(modkit::hresultText(hr)) + ")");
}

PanelView readPanel(Instance& instance)
{
    if (!instance.core->controlPage()) return {};
    return OpenPanel(instance).view();
}

void applyPanel(Instance& instance, const std::vector<PanelControl>& controls)
{
    if (controls.empty()) return;
    OpenPanel panel(instance);
    for (const PanelControl& control : controls) panel.drive(control);
    panel.apply();
}

} // namespace vento
