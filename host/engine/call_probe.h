#pragma once
// CallProbe: the site probe the tests install (Engine::setProbe). Per core it counts every site call,
// logs them in order while recording, and fails chosen calls; it can also fail the creation of the
// next core, or one call of every core made from now on.
//
//   CallProbe probe;
//   engine.setProbe(&probe);
//   probe.failCall(*instance.core, SiteCall::GetOutputBlock, E_OUTOFMEMORY);
//   EXPECT_EQ(1, probe.log(*instance.core).count(SiteCall::GetOutputBlock));
#include <windows.h>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>
#include "host/engine/site_probe.h"

namespace vento {

struct CallLogEntry {
    SiteCall call;
    std::wstring pin; // empty for calls without a pin
};

class CallLog {
public:
    long count(SiteCall call) const noexcept { return counts_[static_cast<std::size_t>(call)]; }
    // Calls in order; kept only while the probe records (counts are always kept).
    const std::vector<CallLogEntry>& entries() const noexcept { return entries_; }
    void reset() noexcept;

private:
    friend class CallProbe;
    std::array<long, siteCallSlots> counts_{};
    std::vector<CallLogEntry> entries_;
};

enum class FaultRepeat { Once, Always };

class CallProbe final : public SiteProbe {
public:
    CallProbe() = default;
    CallProbe(const CallProbe&) = delete;
    CallProbe& operator=(const CallProbe&) = delete;

    // The calls `core` made while the probe was installed.
    CallLog& log(const ModuleCore& core);
    // The (skip + 1)-th next call of `which` by `core` fails with `hr`; with FaultRepeat::Always,
    // that call and every later one do. One fault per call; a new one replaces the old.
    void failCall(const ModuleCore& core, SiteCall which, HRESULT hr, int skip = 0, FaultRepeat repeat = FaultRepeat::Once);
    void clearFaults(const ModuleCore& core);
    // Keep the ordered call log of every core (counts are always kept). Costs an allocation per call.
    void setRecording(bool record) noexcept { recording_ = record; }
    // The next core creation fails with `hr`.
    void failCoreCreation(HRESULT hr) noexcept { coreCreationFault_ = hr; }
    // Every core made from now on fails `which` once.
    void failCallOnNewCores(SiteCall which, HRESULT hr) { newCoreFaults_.push_back({which, hr}); }

    // SiteProbe
    void coreMade(ModuleCore& core) override;
    void coreGone(const ModuleCore& core) noexcept override;
    HRESULT siteCall(const ModuleCore& core, SiteCall call, BSTR pin) noexcept override;
    HRESULT coreCreation() noexcept override;

private:
    struct Fault {
        HRESULT hr;
        int skip;
        FaultRepeat repeat;
    };
    struct Core {
        CallLog log;
        std::array<std::optional<Fault>, siteCallSlots> faults{};
    };
    struct NewCoreFault {
        SiteCall which;
        HRESULT hr;
    };
    std::map<const ModuleCore*, Core> cores_;
    bool recording_ = false;
    HRESULT coreCreationFault_ = S_OK;
    std::vector<NewCoreFault> newCoreFaults_;
};

} // namespace vento
