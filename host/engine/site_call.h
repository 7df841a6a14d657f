#pragma once
// One name per engine operation a module can call on its core: the IModuleSite methods, numbered by
// their position in the interface, and IModuleUI's SetControlPage after them. Used to inject faults
// and to read the call log.
#include <cstddef>
#include <string_view>

namespace vento {

enum class SiteCall {
    AttachModule = 1,
    SetModuleName,
    GetSourceCount,
    GetSource,
    GetHostObject,
    Reserved6,
    AddInput,
    AddOutput,
    IsInputReady,
    AddMultiInput,
    GetInputCount,
    IsInputReadyAt,
    SendOutput,
    BeginUpdate,
    EndUpdate,
    Reserved16,
    GetInstanceName,
    Reserved18,
    Reserved19,
    Reserved20,
    GetModuleName,
    Reserved22,
    GetRestorePlacement,
    Reserved24,
    SetModified,
    GetTime,
    GetInputBlockAt,
    GetInputBlock,
    GetOutputBlock,
    SetControlPage, // IModuleUI
};

inline constexpr std::size_t siteCallSlots = static_cast<std::size_t>(SiteCall::SetControlPage) + 1;

std::wstring_view siteCallName(SiteCall call) noexcept;

} // namespace vento
