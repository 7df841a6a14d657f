#include "host/engine/call_probe.h"

#include <utility>
#include "com/bstr.h"

namespace vento {

void CallLog::reset() noexcept
{
    counts_ = {};
    entries_.clear();
}

CallLog& CallProbe::log(const ModuleCore& core) { return cores_[&core].log; }

void CallProbe::failCall(const ModuleCore& core, SiteCall which, HRESULT hr, int skip, FaultRepeat repeat)
{
    cores_[&core].faults[static_cast<std::size_t>(which)] = Fault{hr, skip, repeat};
}

void CallProbe::clearFaults(const ModuleCore& core) { cores_[&core].faults = {}; }

void CallProbe::coreMade(ModuleCore& core)
{
    Core& made = cores_[&core];
    made = Core{};
    for (const NewCoreFault& fault : newCoreFaults_) made.faults[static_cast<std::size_t>(fault.which)] = Fault{fault.hr, 0, FaultRepeat::Once};
}

void CallProbe::coreGone(const ModuleCore& core) noexcept { cores_.erase(&core); }

HRESULT CallProbe::siteCall(const ModuleCore& core, SiteCall call, BSTR pin) noexcept
{
    try {
        Core& c = cores_[&core];
        ++c.log.counts_[static_cast<std::size_t>(call)];
        if (recording_) c.log.entries_.push_back({call, std::wstring(modkit::bstrView(pin))});
        auto& fault = c.faults[static_cast<std::size_t>(call)];
        if (!fault) return S_OK;
        if (fault->skip > 0) {
            --fault->skip;
            return S_OK;
        }
        const HRESULT hr = fault->hr;
        if (fault->repeat == FaultRepeat::Once) fault.reset();
        return hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CallProbe::coreCreation() noexcept { return std::exchange(coreCreationFault_, S_OK); }

} // namespace vento
