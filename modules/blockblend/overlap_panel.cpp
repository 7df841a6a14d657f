#include "overlap_panel.h"

#include <commctrl.h>
#include <algorithm>
#include <cstdlib>

BOOL OverlapPanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    OverlapModule* module = moduleAs<OverlapModule>();
    if (!module) return TRUE;
    UpdateScope scope(*this);
    scope.markChanged();
    shown_ = module->overlap;
    ExchangeControls(Exchange::ToControls);
    MarkUnchanged();
    return TRUE;
}

bool OverlapPanel::OnNotify(const NMHDR& header, LRESULT& result)
{
    OverlapModule* module = moduleAs<OverlapModule>();
    if (header.idFrom != IDC_OVERLAP_SPIN || header.code != UDN_DELTAPOS || !module) return false;
    const auto& step = reinterpret_cast<const NMUPDOWN&>(header);
    UpdateScope scope(*this);
    scope.markChanged();
    // The up-down counts downwards (its range runs from 100 down to 0): its up arrow gives -1.
    // In 64 bits: a typed value at the end of the 32-bit range takes its step without overflowing.
    const long long bound = module->outBlocksize / 2;
    const long long value = std::clamp(static_cast<long long>(shown_) - step.iDelta, -std::abs(bound), std::abs(bound));
    shown_ = module->overlap = static_cast<long>(value);
    ExchangeControls(Exchange::ToControls);
    result = 0; // the up-down may move as well
    return true;
}

void OverlapPanel::ExchangeControls(Exchange direction)
{
    if (direction == Exchange::ToControls) {
        SetInt(IDC_OVERLAP, int(shown_));
        return;
    }
    if (auto typed = GetInt(IDC_OVERLAP)) shown_ = *typed;
}
