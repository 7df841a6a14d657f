#pragma once
// Placeholder: the control-panel dialog base is being built.
namespace modkit {
class ModuleDialog {};
class EmptyModuleDialog : public ModuleDialog {};
} // namespace modkit
