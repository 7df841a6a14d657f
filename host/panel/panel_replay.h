#pragma once
// Panel replay: the values a graph file keeps for a module's panel, played into the panel the way a
// host shows one. The page class the module named with SetControlPage is created, given a page site
// and the module (SetObjects), activated on a hidden window, its controls are driven in file order
// (a trackbar: TBM_SETPOS, then WM_HSCROLL; a drop-down list: CB_SETCURSEL, then CBN_SELCHANGE; a
// button or check box: BM_CLICK), then Apply and Deactivate.
//
// A control is named by its id or by its label: a button's or check box's own text, otherwise the
// text of the static label before it in the panel (an edit or up-down between them aside). Labels
// are read from the panel as it stands when the control is reached (a module may rename them as
// other controls change) and compared regardless of letter case.
#include <ocidl.h>
#include <wrl/client.h>
#include <optional>
#include <string>
#include <vector>
#include "com/handle.h"
#include "host/panel/panel_values.h"
#include "host/engine/vento_engine.h"

namespace vento {

// Opens the module's panel and drives the controls. Nothing happens for no controls. Throws
// EngineError "<instance>: panel: <what>".
void applyPanel(Instance& instance, const std::vector<PanelControl>& controls);

// A control of a module's panel, as the panel shows it once opened on the module.
struct PanelControlInfo {
    enum class Kind { Trackbar, List, Button, CheckBox, Edit, UpDown, Label, Other };
    int id = 0;
    Kind kind = Kind::Other;
    std::wstring label;
    bool visible = true;
    int low = 0, high = 0, position = 0;  // a trackbar's or up-down's range and position
    std::vector<std::wstring> entries;    // a list's entries, from 0
    RECT place{};                         // in the panel, in pixels
    bool enabled = true;
    std::wstring text;                    // an edit's text
    // What a graph file does with it: position (trackbar), select (list), click; others none.
    std::optional<PanelControl::Action> action() const;
};

// A module's panel as it shows itself: its size and its controls, in pixels.
struct PanelView {
    SIZE size{};
    std::vector<PanelControlInfo> controls;
};

// The module's panel, activated on a hidden window for as long as this lives, and driven as a person
// would drive it. Errors are thrown as EngineError "<instance>: panel: <what>".
class OpenPanel {
public:
    explicit OpenPanel(Instance& instance);
    ~OpenPanel();

    PanelView view() const;
    // One control, by id or label, the way the graph file's panel values play it (a trackbar:
    // TBM_SETPOS, then WM_HSCROLL; a list: CB_SETCURSEL, then CBN_SELCHANGE; a button: BM_CLICK).
    void drive(const PanelControl& control);
    // Text typed into an edit, then Apply (a typed value counts once applied).
    void type(int id, std::wstring_view text);
    void apply();
    IPropertyPage* page() const noexcept { return page_.Get(); }
    HWND dialog() const noexcept { return dialog_; }

private:
    HWND item(const PanelControl& control, int& id, std::string& name) const;

    std::string where_;
    Microsoft::WRL::ComPtr<IPropertyPage> page_;
    modkit::UniqueWindow parent_;
    HWND dialog_ = nullptr;
    bool sited_ = false, active_ = false;
};

// The module's panel opened on a hidden window, read, and closed again without Apply. Controls in
// the panel's order; static labels without an id are left out (they name the others). No panel: no
// controls. Throws EngineError "<instance>: panel: <what>".
PanelView readPanel(Instance& instance);

// The control a label names among the panel's controls a graph file can drive; nullptr when none
// does. Throws EngineError when several do.
const PanelControlInfo* controlByLabel(const std::vector<PanelControlInfo>& controls, std::wstring_view label);

const wchar_t* kindName(PanelControlInfo::Kind kind);

// The panel values a graph file should hold for a panel that was `opened` (read once the file's
// values had been played into it) and stands as `now`: the file's own controls (`given`, by id or by
// label as it named them) with the positions and choices they show now, and after them every
// trackbar and list the person moved that the file did not name, by id; a check box toggled an odd
// number of times is clicked once more, or no longer. A control the panel no longer shows (hidden,
// or a label it has given up) drops out: its value changes nothing. Buttons stay as they are.
std::vector<PanelControl> panelAsItStands(const std::vector<PanelControl>& given, const std::vector<PanelControlInfo>& opened,
                                          const std::vector<PanelControlInfo>& now);

} // namespace vento
