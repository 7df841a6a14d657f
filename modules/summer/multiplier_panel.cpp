#include "multiplier_panel.h"

#include <cwchar>
#include <string>

BOOL MultiplierPanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    RunDialogInit(201);
    MultiplierModule* module = moduleAs<MultiplierModule>();
    if (!module) return TRUE;
    // Reads only, and the panel leaves the engine's modified state as it was.
    UpdateScope scope(*this);
    // The first entry that begins with the block size.
    const std::wstring size = std::to_wstring(module->blockSize);
    SendMessageW(Item(IDC_BLOCK_SIZE), CB_SELECTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(size.c_str()));
    for (int i = 0; i < ComboCount(IDC_SAMPLE_RATE); ++i)
        if (modkit::samplesPerSecondFromKilohertz(ComboText(IDC_SAMPLE_RATE, i)) == module->sampleRate)
            SelectCombo(IDC_SAMPLE_RATE, i);
    ExchangeControls(Exchange::ToControls);
    return TRUE;
}

bool MultiplierPanel::OnCommand(WORD id, WORD code, HWND)
{
    MultiplierModule* module = moduleAs<MultiplierModule>();
    if (code != CBN_SELCHANGE || !module || (id != IDC_BLOCK_SIZE && id != IDC_SAMPLE_RATE)) return false;
    const std::wstring chosen = ComboText(id);
    long& field = id == IDC_BLOCK_SIZE ? module->blockSize : module->sampleRate;
    const long value = id == IDC_BLOCK_SIZE ? std::wcstol(chosen.c_str(), nullptr, 10)
                                            : modkit::samplesPerSecondFromKilohertz(chosen);
    UpdateScope scope(*this);
    scope.markChanged();
    // Only values above 0: the pacing divides by the rate and sizes the output by the block size.
    if (value > 0) field = value;
    module->Restart();
    return true;
}
