#include "host/panel_replay.h"

#include <commctrl.h>
#include <ocidl.h>
#include <string>
#include <wrl/client.h>
#include "com/error.h"
#include "com/handle.h"
#include "com/object.h"
#include "host/frame/page_site.h"

namespace vento {

void applyPanel(Instance& instance, const std::vector<PanelControl>& controls)
{
    const std::string where = narrow(instance.name) + ": panel: ";
    if (controls.empty()) return;
    const auto& pageClass = instance.core->controlPage();
    if (!pageClass) throw EngineError(where + "the module has no control panel");
    Microsoft::WRL::ComPtr<IPropertyPage> page;
    if (HRESULT hr = CoCreateInstance(*pageClass, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&page)); FAILED(hr))
        throw EngineError(where + "cannot create the panel (" + narrow(modkit::hresultText(hr)) + ")");
    // Never shown: the panel needs a parent to be created on, not a place on the screen.
    modkit::UniqueWindow parent(CreateWindowExW(0, L"STATIC", L"vento panel", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                                                nullptr, nullptr, nullptr, nullptr));
    if (!parent) throw EngineError(where + "cannot create a window for the panel");
    // The page site has nothing to report to: panel replay runs before the graph does.
    auto site = modkit::make<PageSite>();
    modkit::check(page->SetPageSite(site.Get()));
    auto release = modkit::scopeExit([&] {
        page->SetObjects(0, nullptr);
        page->SetPageSite(nullptr);
    });
    IUnknown* objects[] = {instance.object.Get()};
    modkit::check(page->SetObjects(1, objects));
    RECT rect{0, 0, 280, 154};
    if (HRESULT hr = page->Activate(parent.get(), &rect, FALSE); FAILED(hr))
        throw EngineError(where + "cannot show the panel (" + narrow(modkit::hresultText(hr)) + ")");
    auto deactivate = modkit::scopeExit([&] { page->Deactivate(); });

    HWND dialog = FindWindowExW(parent.get(), nullptr, L"#32770", nullptr);
    for (const PanelControl& control : controls) {
        const std::string name = where + "control " + std::to_string(control.id);
        HWND item = dialog ? GetDlgItem(dialog, control.id) : nullptr;
        if (!item) throw EngineError(name + ": the panel has no such control");
        switch (control.action) {
        case PanelControl::Action::Position: {
            long low = long(SendMessageW(item, TBM_GETRANGEMIN, 0, 0)), high = long(SendMessageW(item, TBM_GETRANGEMAX, 0, 0));
            if (control.value < low || control.value > high)
                throw EngineError(name + ": position " + std::to_string(control.value) + " is outside " +
                                  std::to_string(low) + ".." + std::to_string(high));
            SendMessageW(item, TBM_SETPOS, TRUE, control.value);
            SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, control.value), reinterpret_cast<LPARAM>(item));
            break;
        }
        case PanelControl::Action::Select:
            if (SendMessageW(item, CB_SETCURSEL, control.value, 0) == CB_ERR)
                throw EngineError(name + ": the list has no entry " + std::to_string(control.value));
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(control.id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item));
            break;
        case PanelControl::Action::Click:
            SendMessageW(item, BM_CLICK, 0, 0);
            break;
        }
    }
    if (HRESULT hr = page->Apply(); FAILED(hr))
        throw EngineError(where + "Apply failed (" + narrow(modkit::hresultText(hr)) + ")");
}

} // namespace vento
