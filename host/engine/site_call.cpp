#include "host/engine/site_call.h"

namespace vento {

std::wstring_view siteCallName(SiteCall call) noexcept
{
    static constexpr std::wstring_view names[siteCallSlots] = {
        L"?",
        L"AttachModule", L"SetModuleName", L"GetSourceCount", L"GetSource", L"GetHostObject",
        L"Reserved6", L"AddInput", L"AddOutput", L"IsInputReady", L"AddMultiInput",
        L"GetInputCount", L"IsInputReadyAt", L"SendOutput", L"BeginUpdate", L"EndUpdate",
        L"Reserved16", L"GetInstanceName", L"Reserved18", L"Reserved19", L"Reserved20",
        L"GetModuleName", L"Reserved22", L"GetRestorePlacement", L"Reserved24", L"SetModified",
        L"GetTime", L"GetInputBlockAt", L"GetInputBlock", L"GetOutputBlock", L"SetControlPage",
    };
    auto i = static_cast<std::size_t>(call);
    return i < siteCallSlots ? names[i] : names[0];
}

} // namespace vento
