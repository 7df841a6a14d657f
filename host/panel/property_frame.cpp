#include "host/panel/property_frame.h"

#include "host/panel/page_site.h"

#include <algorithm>
#include <utility>
#include <vector>
#include "com/error.h"
#include "com/handle.h"

namespace vento {

using Microsoft::WRL::ComPtr;

// The frame as its page sees it. Holds the frame only while it is open.
class FrameSite : public PageSite {
public:
    PropertyFrame* frame = nullptr;

    STDMETHODIMP OnStatusChange(DWORD flags) noexcept override
    {
        if (frame) frame->statusChanged(flags);
        return S_OK;
    }
    // Keys the page does not want: the frame's own (Enter for OK, Escape for Cancel, Tab to the buttons).
    STDMETHODIMP TranslateAccelerator(MSG* message) noexcept override
    {
        if (!message) return E_POINTER;
        if (!frame || !frame->window()) return S_FALSE;
        return IsDialogMessageW(frame->window(), message) ? S_OK : S_FALSE;
    }
};

namespace {

// An empty dialog in memory: the frame's window, with the dialog manager's keyboard handling and
// font. Controls and size come after, from the page.
std::vector<WORD> frameTemplate()
{
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    header->dwExtendedStyle = WS_EX_CONTROLPARENT;
    words.push_back(0); // no menu
    words.push_back(0); // the dialog class
    words.push_back(0); // no title yet
    words.push_back(8); // point size
    for (const wchar_t* c = L"MS Shell Dlg"; *c; ++c) words.push_back(static_cast<WORD>(*c));
    words.push_back(0);
    return words;
}

// Dialog units to pixels on `dialog`.
SIZE pixels(HWND dialog, int x, int y)
{
    RECT r{0, 0, x, y};
    MapDialogRect(dialog, &r);
    return {r.right, r.bottom};
}


} // namespace

PropertyFrame::PropertyFrame() = default;

PropertyFrame::~PropertyFrame() { close(Result::Cancel); }

void PropertyFrame::open(Instance& instance, const Options& options)
{
    if (isOpen()) modkit::throwHr(E_UNEXPECTED);
    ModuleCore* core = instance.core;
    ComPtr<IPropertyPage> page;
    if (options.pageFactory) {
        modkit::check(options.pageFactory->CreateInstance(nullptr, IID_PPV_ARGS(&page)));
    } else {
        if (!core || !core->controlPage()) modkit::throwHr(E_NOINTERFACE);
        modkit::check(CoCreateInstance(*core->controlPage(), nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&page)));
    }

    // From here on a failure takes down whatever was set up, as a Cancel that never opened.
    auto undo = modkit::scopeExit([this]() noexcept { close(Result::None); });
    result_ = Result::Open; // close() acts only on an open frame

    page_ = page;
    module_ = instance.object;
    core_ = core;
    site_ = modkit::make<FrameSite>();
    site_->frame = this;
    host_ = modkit::make<PageHost>();
    pageDirty_ = pendingChange_ = changed_ = false;
    lastApply_ = S_OK;

    modkit::check(page_->SetPageSite(site_.Get()));
    IUnknown* objects[] = {instance.object.Get(), static_cast<IModulePageHost*>(host_.Get())};
    modkit::check(page_->SetObjects(2, objects));
    PageInfo info;
    info.cb = sizeof(PROPPAGEINFO);
    modkit::check(page_->GetPageInfo(&info));

    createWindow(options.caption.empty() ? instance.name : options.caption, options.owner);
    layout(info.size);
    modkit::check(page_->Activate(hwnd(), &pageRect_, FALSE));
    for (HWND child = GetWindow(hwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        int id = GetDlgCtrlID(child);
        if (id != okButton && id != cancelButton && id != applyButton) pageWindow_ = child;
    }
    // The page's controls come first in the tab order, the buttons after them.
    if (pageWindow_) SetWindowPos(pageWindow_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    modkit::check(page_->Show(SW_SHOW));

    // What the panel's set-up told the module is where the session starts.
    if (core_) seenChangeCount_ = core_->changeCount();
    updateApplyButton();
    ShowWindow(hwnd(), SW_SHOW);
    if (HWND first = GetNextDlgTabItem(hwnd(), nullptr, FALSE)) SetFocus(first);
    undo.dismiss();
}

void PropertyFrame::createWindow(const std::wstring& caption, HWND owner)
{
    std::vector<WORD> dialog = frameTemplate();
    owner_ = owner;
    if (!CreateFromMemory(reinterpret_cast<DLGTEMPLATE*>(dialog.data()), modkit::serverInstance(), owner))
        modkit::throwHr(HRESULT_FROM_WIN32(GetLastError()));
    SetWindowTextW(hwnd(), (L"Properties for " + caption).c_str());
}

void PropertyFrame::layout(SIZE page)
{
    SIZE margin = pixels(hwnd(), 7, 7);
    SIZE button = pixels(hwnd(), 50, 14);
    SIZE gap = pixels(hwnd(), 4, 4);
    LONG buttonsWidth = 3 * button.cx + 2 * gap.cx;
    RECT client{0, 0, std::max(page.cx, buttonsWidth) + 2 * margin.cx, 3 * margin.cy + page.cy + button.cy};
    pageRect_ = {margin.cx, margin.cy, margin.cx + page.cx, margin.cy + page.cy};

    HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0));
    struct Button {
        int id;
        const wchar_t* text;
        DWORD style;
    } buttons[] = {{okButton, L"OK", BS_DEFPUSHBUTTON},
                   {cancelButton, L"Cancel", BS_PUSHBUTTON},
                   {applyButton, L"&Apply", BS_PUSHBUTTON}};
    LONG x = client.right - margin.cx - buttonsWidth;
    LONG y = pageRect_.bottom + margin.cy;
    for (const Button& b : buttons) {
        HWND control = CreateWindowExW(0, L"BUTTON", b.text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | b.style, x, y,
                                       button.cx, button.cy, hwnd(), reinterpret_cast<HMENU>(INT_PTR(b.id)),
                                       modkit::serverInstance(), nullptr);
        if (!control) modkit::throwHr(HRESULT_FROM_WIN32(GetLastError()));
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        x += button.cx + gap.cx;
    }

    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd(), GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd(), GWL_EXSTYLE));
    RECT outer = client;
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    SIZE size{outer.right - outer.left, outer.bottom - outer.top};
    RECT area{};
    if (!owner_ || !GetWindowRect(owner_, &area)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    LONG left = std::max(area.left, area.left + (area.right - area.left - size.cx) / 2);
    LONG top = std::max(area.top, area.top + (area.bottom - area.top - size.cy) / 2);
    SetWindowPos(hwnd(), nullptr, left, top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void PropertyFrame::close(Result result) noexcept
{
    if (result_ != Result::Open) return;
    observe();
    if (ownerDisabled_) {
        // Before the frame goes, so that activation returns to the owner.
        EnableWindow(owner_, TRUE);
        ownerDisabled_ = false;
    }
    if (page_) {
        page_->Show(SW_HIDE);
        page_->Deactivate(); // the page detaches from the host and destroys its window
        IUnknown* none = nullptr;
        page_->SetObjects(0, &none);
        page_->SetPageSite(nullptr);
        page_.Reset();
    }
    if (site_) site_->frame = nullptr;
    site_.Reset();
    Destroy();
    pageWindow_ = nullptr;
    owner_ = nullptr;
    core_ = nullptr;
    module_.Reset();
    result_ = result;
}

bool PropertyFrame::changed()
{
    observe();
    return changed_;
}

void PropertyFrame::observe() noexcept
{
    if (!core_) return;
    // Every change counts, also one the page's Apply follows with its SetModified (0).
    const long count = core_->changeCount();
    if (count != seenChangeCount_) {
        seenChangeCount_ = count;
        changed_ = pendingChange_ = true;
    }
    updateApplyButton();
}

void PropertyFrame::statusChanged(DWORD flags) noexcept
{
    // The module panels report a clean page with 0.
    if (flags & PROPPAGESTATUS_DIRTY)
        pageDirty_ = true;
    else if ((flags & PROPPAGESTATUS_CLEAN) || flags == 0)
        pageDirty_ = false;
    observe();
}

void PropertyFrame::updateApplyButton() noexcept
{
    if (!hwnd()) return;
    if (HWND button = GetDlgItem(hwnd(), applyButton)) EnableWindow(button, applyEnabled());
}

HRESULT PropertyFrame::apply()
{
    if (!page_) return E_UNEXPECTED;
    observe();
    lastApply_ = page_->Apply();
    if (SUCCEEDED(lastApply_)) pageDirty_ = false;
    observe(); // a module may report a change of its own while its panel is applied
    if (SUCCEEDED(lastApply_)) pendingChange_ = false;
    updateApplyButton();
    return lastApply_;
}

void PropertyFrame::ok()
{
    if (!isOpen()) return;
    // What the page could not write back stays on screen, as the platform's frames keep it.
    if (FAILED(apply())) {
        MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    close(Result::OK);
}

void PropertyFrame::cancel() { close(Result::Cancel); }

bool PropertyFrame::preTranslate(MSG& message)
{
    if (!hwnd()) return false;
    bool forPage = pageWindow_ && (message.hwnd == pageWindow_ || IsChild(pageWindow_, message.hwnd));
    if (forPage && page_ && page_->TranslateAccelerator(&message) == S_OK) return true;
    return hwnd() && IsDialogMessageW(hwnd(), &message);
}

bool PropertyFrame::pump()
{
    MSG message;
    while (hwnd() && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            close(Result::Cancel);
            PostQuitMessage(static_cast<int>(message.wParam)); // for the loop that owns the thread
            break;
        }
        if (preTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    observe();
    return isOpen();
}

PropertyFrame::Result PropertyFrame::runModal(const std::function<bool()>& step, DWORD idleMilliseconds)
{
    if (!isOpen()) return result_;
    if (owner_ && IsWindowEnabled(owner_)) {
        EnableWindow(owner_, FALSE);
        ownerDisabled_ = true;
    }
    auto ownerBack = modkit::scopeExit([this]() noexcept { // also when a step throws
        if (!ownerDisabled_) return;
        EnableWindow(owner_, TRUE);
        ownerDisabled_ = false;
    });
    while (pump()) {
        bool busy = step && step();
        if (!busy && isOpen())
            MsgWaitForMultipleObjectsEx(0, nullptr, idleMilliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return result_;
}

INT_PTR PropertyFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED) return FALSE;
        switch (LOWORD(wParam)) {
        case okButton:
            ok();
            return TRUE;
        case cancelButton:
            cancel();
            return TRUE;
        case applyButton:
            // A click can still arrive at a disabled button (a BM_CLICK under Wine notifies anyway).
            if (applyEnabled()) apply();
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        cancel();
        return TRUE;
    }
    return FALSE;
}

} // namespace vento
