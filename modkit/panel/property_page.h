#pragma once
// The property page every server carries: the platform's IPropertyPage contract and the engine's
// IModulePage around the module's control-panel dialog (panel/module_dialog.h).
//
//   PropertyPage<Panel, IOwnInterface, templateId>
//
// Panel is the module's ModuleDialog class, IOwnInterface the server's own module interface (an
// object answering it is the module the panel edits) and templateId the panel's dialog template in
// the server's resources. Every entry point runs inside the error boundary with the server's
// resources current. The page holds one count of the server lock while it lives (object model).
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <wrl/client.h>
#include <span>
#include <type_traits>
#include "com/object.h"
#include "engine.h"
#include "panel/module_dialog.h"

namespace modkit {

// Dialog template `id` of the current resources; empty when it cannot be found or loaded.
std::span<const BYTE> findDialogTemplate(int id) noexcept;
// Width and height of a template in dialog units (plain or extended layout); false when the bytes are
// too short to be a template.
bool dialogTemplateUnits(std::span<const BYTE> dialogTemplate, SIZE& units) noexcept;
// The template's size in pixels on this screen, from the template's own font (or the system's dialog
// base units without one). Throws E_UNEXPECTED for bytes that are no template.
SIZE dialogTemplatePixels(std::span<const BYTE> dialogTemplate);

// Everything of the page that does not depend on the panel class.
class PropertyPageBase : public ObjectRoot, public IPropertyPage, public IModulePage {
public:
    using Interfaces = InterfaceList<IPropertyPage, IModulePage>;

    // IPropertyPage
    STDMETHODIMP SetPageSite(IPropertyPageSite* site) noexcept override;
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) noexcept override;
    STDMETHODIMP Deactivate() noexcept override;
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) noexcept override;
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) noexcept override;
    STDMETHODIMP Show(UINT command) noexcept override;
    STDMETHODIMP Move(LPCRECT rect) noexcept override;
    STDMETHODIMP IsPageDirty() noexcept override;
    STDMETHODIMP Apply() noexcept override;
    STDMETHODIMP Help(LPCOLESTR directory) noexcept override;
    STDMETHODIMP TranslateAccelerator(MSG* message) noexcept override;

    // IModulePage
    STDMETHODIMP Refresh() noexcept override;
    STDMETHODIMP GetDialogSize(long* width, long* height) noexcept override;

    // Object-model hook: the window, the site and the objects go with the page.
    void FinalRelease();

    // Size of the dialog in pixels as the last successful Activate placed it.
    SIZE activeSize() const noexcept { return {width_, height_}; }

protected:
    // `dialog` is the derived page's member; it is used only once the page is complete.
    PropertyPageBase(ModuleDialog& dialog, int templateId, const IID& moduleInterface) noexcept
        : dialog_(dialog), templateId_(templateId), moduleInterface_(moduleInterface)
    {
    }
    ~PropertyPageBase() = default;

private:
    // Calls `notify` on every held object that answers IModulePageHost; answers the first failure,
    // after all of them were called.
    template <class Notify>
    HRESULT notifyHosts(Notify&& notify);

    ModuleDialog& dialog_;
    const int templateId_;
    const IID& moduleInterface_;
    Microsoft::WRL::ComPtr<IPropertyPageSite> site_;
    // Keeps the object behind dialog_.module alive for as long as the page may use it, also after
    // a later SetObjects dropped it from the held objects.
    Microsoft::WRL::ComPtr<IDispatch> moduleHeld_;
    long width_ = 0;
    long height_ = 0;
};

template <class Dialog, class ModuleInterface, int TemplateId>
class PropertyPage : public PropertyPageBase {
    static_assert(std::is_base_of_v<ModuleDialog, Dialog>, "a panel derives from ModuleDialog");
    static_assert(std::is_base_of_v<IDispatch, ModuleInterface>, "a module's own interface is dual");

public:
    PropertyPage() noexcept : PropertyPageBase(dialog_, TemplateId, __uuidof(ModuleInterface)) {}

protected:
    Dialog& dialog() noexcept { return dialog_; }

private:
    Dialog dialog_;
};

} // namespace modkit
