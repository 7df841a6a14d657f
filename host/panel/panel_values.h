#pragma once
// A value a graph file keeps for one control of a module's panel, played into the panel as a person
// would set it (panel_replay.h).
#include <string>

namespace vento {

struct PanelControl {
    enum class Action { Position, Select, Click };
    int id = 0;
    Action action = Action::Position;
    int value = 0;
    std::wstring label{}; // when the file names the control by its label (id then 0)
    bool operator==(const PanelControl&) const = default;
};

} // namespace vento
