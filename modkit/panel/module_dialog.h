#pragma once
// ModuleDialog: the base of every module's control panel, a child dialog made from a template in the
// server's own resources and shown by the module's property page (panel/property_page.h).
//
// A module panel derives from ModuleDialog and supplies:
//   may:   Apply (write what the controls hold back into the module; by default S_OK, for panels
//          whose handlers already changed the module), OnInitDialog (call the base first, fill the
//          controls from the module, then MarkUnchanged), OnCommand, OnHScroll, OnVScroll, OnNotify,
//          OnMessage, ExchangeControls, Refresh
// Handlers run inside the error boundary with the server's resources current (com/dialog_window.h):
// they may throw (check(hr), bad_alloc); the dialog procedure ends the handler there and keeps its
// HRESULT in lastFailure(). Writes to module fields go inside an UpdateScope:
//
//   class GainPanel : public modkit::ModuleDialog {
//       BOOL OnInitDialog() override
//       {
//           ModuleDialog::OnInitDialog();
//           SetTrackRange(IDC_GAIN, 0, 100);
//           SetTrackPos(IDC_GAIN, moduleAs<GainModule>()->gain);
//           SetInt(IDC_GAIN_VALUE, moduleAs<GainModule>()->gain);
//           MarkUnchanged();
//           return TRUE;
//       }
//       bool OnHScroll(int, int, HWND) override
//       {
//           UpdateScope scope(*this);
//           moduleAs<GainModule>()->gain = TrackPos(IDC_GAIN);
//           scope.markChanged();
//           SetInt(IDC_GAIN_VALUE, TrackPos(IDC_GAIN));
//           return true;
//       }
//   };
#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "engine.h"
#include "com/dialog_window.h"

namespace modkit {

class ModuleDialog : public DialogWindow {
public:
    ModuleDialog() = default;
    ~ModuleDialog() override;

    // --- fields the page keeps here ---
    std::wstring title = L"Custom"; // every page's caption
    std::wstring docString;
    DWORD helpContext = 0;
    std::vector<Microsoft::WRL::ComPtr<IUnknown>> objects; // what the host handed to SetObjects
    IPropertyPageSite* pageSite = nullptr; // the page's site; not counted here
    // The module this panel edits, as its own dual interface; not counted here (the page keeps it
    // alive). Null until SetObjects finds it. moduleAs<Class>() gives the module class.
    IDispatch* module = nullptr;
    LONG dirty = 0;

    // The module's help page path (written on the way); empty without a module.
    virtual std::wstring GetHelpFileName();
    // Writes the controls back into the module; the page answers this result from its own Apply.
    // Most panels change the module as their controls move and have nothing left to write.
    virtual HRESULT Apply() { return S_OK; }
    // The host asks the panel to show the module's inputs afresh. Nothing to do by default.
    virtual HRESULT Refresh() { return S_OK; }

    template <class ModuleClass>
    ModuleClass* moduleAs() const noexcept
    {
        return static_cast<ModuleClass*>(module);
    }

    // --- the window (the page drives these) ---
    // Creates the dialog from `templateId` of the current resources as a child of `parent`; runs
    // OnInitDialog before it returns. False when the platform refuses.
    bool Create(int templateId, HWND parent);
    // Copies the controls into the panel's variables (before Apply); nothing without a window.
    void ExchangeFromControls();
    // The common end of set-up and Apply: the page's dirty state cleared (frame told), and the
    // engine told that the module now matches its panel (SetModified 0).
    void MarkUnchanged();
    // The module's site, or null without a module (or when the module has none).
    Microsoft::WRL::ComPtr<IModuleSite> ModuleSite() const;

    // Changes to module fields from the panel, between BeginUpdate and EndUpdate on the module's site
    // (the engine holds back Process meanwhile). A failed BeginUpdate throws from the constructor. At
    // scope end EndUpdate runs and the site is released; then, if the scope was marked as a change and
    // the scope is not being left by an exception, SetModified (1). close() does the same but throws
    // what fails; the destructor keeps such failures in the dialog's lastFailure().
    class UpdateScope {
    public:
        explicit UpdateScope(ModuleDialog& dialog);
        ~UpdateScope();
        UpdateScope(const UpdateScope&) = delete;
        UpdateScope& operator=(const UpdateScope&) = delete;

        void markChanged() noexcept { changed_ = true; }
        void close();

    private:
        HRESULT end() noexcept;

        ModuleDialog& dialog_;
        Microsoft::WRL::ComPtr<IModuleSite> site_;
        bool changed_ = false;
        bool open_ = true;
        int exceptionsAtStart_;
    };

protected:
    enum class Exchange { ToControls, FromControls };

    // Handlers. Return true when the message is handled; false passes it on to the default handling.
    // The base OnInitDialog fills the controls from the variables (ExchangeControls ToControls).
    virtual BOOL OnInitDialog();
    virtual bool OnCommand(WORD /*id*/, WORD /*code*/, HWND /*control*/) { return false; }
    virtual bool OnHScroll(int /*code*/, int /*position*/, HWND /*control*/) { return false; }
    virtual bool OnVScroll(int /*code*/, int /*position*/, HWND /*control*/) { return false; }
    // `result` becomes the dialog's message result when handled.
    virtual bool OnNotify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
    // Any other message.
    virtual bool OnMessage(UINT /*message*/, WPARAM, LPARAM, LRESULT& /*result*/) { return false; }
    // Moves values between controls and the panel's variables.
    virtual void ExchangeControls(Exchange /*direction*/) {}

    // --- controls ---
    HWND Item(int id) const noexcept { return GetDlgItem(hwnd(), id); }
    void SetTrackRange(int id, int low, int high, bool redraw = true);
    void SetTrackPos(int id, int position, bool redraw = true);
    int TrackPos(int id) const;
    std::wstring Text(int id) const;
    void SetText(int id, std::wstring_view text);
    // Whole text as a number; nullopt when it is not one (empty, trailing characters, out of range).
    std::optional<int> GetInt(int id) const;
    void SetInt(int id, int value);
    std::optional<double> GetFloat(int id) const;
    // Shortest text that reads back as the same float ("44.1", "0.25", "1e+06").
    void SetFloat(int id, double value);
    void AddComboItems(int id, std::initializer_list<std::wstring_view> items);
    // Selected entry, -1 when none.
    int ComboSelection(int id) const;
    void SelectCombo(int id, int index);
    // Text of entry `index` of a list (the selected one by default); empty when there is none.
    std::wstring ComboText(int id, int index = -1) const;
    int ComboCount(int id) const;
    // Sends the messages of the dialog-initialisation resource `resourceId` (type 240) to the
    // controls it names, as the template's companion fills its lists: for each entry the control id,
    // the message, the length of the data and the data (a zero-terminated text for the add-string
    // messages; 0x0403, the number resource editors write, adds to a drop-down list). Nothing when
    // the server has no such resource; a damaged one stops at the damage.
    void RunDialogInit(int resourceId);
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) final;
};

// A sample rate chosen in kilohertz ("11.025", "22.05", "44.1"): the text read as a decimal number in
// double precision, times 1000, truncated toward zero. 0 when the text is no number.
long samplesPerSecondFromKilohertz(std::wstring_view text);

// The panel of a module with nothing to show: its set-up is only the common MarkUnchanged step.
class EmptyModuleDialog : public ModuleDialog {
protected:
    BOOL OnInitDialog() override;
};

} // namespace modkit
