#pragma once
// DisplayModule: the base of a module that shows its input in a window of its own and passes the
// input on unchanged (pins "Default" to "Default"; an output shorter than the input still gets what
// fits). It opens and closes the window for the engine, captions it with its sources at Start, keeps the window's placement with the
// settings (saved before the module's declared settings, loaded after them), and carries the
// display options its panel sets (panel/display_options.h).
//
// A display module derives from DisplayModule<Self, IOwnInterface> and supplies:
//   must: ModuleWindow (its DisplayWindow subclass, a member), Transform (take a copy of the block)
//   may:  the ModuleBase hooks
#include <optional>
#include "module/transform.h"
#include "panel/display_options.h"
#include "window/display_window.h"

namespace modkit {

template <class Self, class OwnInterface>
class DisplayModule : public TransformModule<Self, OwnInterface>, public DisplayOptions {
protected:
    DisplayModule(const ModuleIdentity& identity, const wchar_t* description)
        : TransformModule<Self, OwnInterface>(identity, description, L"Default", L"Default",
                                              {.shortOutput = BlockProtocol::ShortOutput::Transform})
    {
    }

    virtual DisplayWindow& ModuleWindow() noexcept = 0;

    void OnStart() override { ModuleWindow().ShowSourcesCaption(*this->site); }
    std::optional<long> OutputSize(const Block& in) override { return in.count; }
    void OnOpenWindow() override { ModuleWindow().Open(); }
    void OnCloseWindow() override { ModuleWindow().Close(); }
    void OnSaveSettings(Settings& settings) override { ModuleWindow().SavePlacement(settings); }
    void OnLoadSettings(Settings& settings, const LoadedSettings&) override { ModuleWindow().LoadPlacement(settings, *this->site); }
};

} // namespace modkit
