#include "overlap_panel.h"

#include <commctrl.h>
#include <algorithm>

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
    long value = shown_ - step.iDelta;
    const long bound = module->outBlocksize / 2;
    value = std::min(std::max(value, -bound), bound);
    shown_ = module->overlap = value;
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
