#pragma once
// Image: shows the latest block of its input, an image signal (raw 32-bit pixel words, rows
// bottom-up, "Width" and "Height"), as a picture in a window of its own, and passes the input on
// word for word. The window fits itself to each new picture size; a window the user resizes
// stretches the picture.
#include <cstdint>
#include <string>
#include <vector>
#include "identity.h"
#include "window/display_module.h"

// Only the window's placement is kept with the settings.
class ImageModule : public modkit::DisplayModule<ImageModule, identity::ModuleInterface> {
public:
    ImageModule();

    // Read by drawing. The display options (gain, graticule, log) the panel writes change nothing in
    // the picture.
    std::vector<std::uint32_t> display = std::vector<std::uint32_t>(128, 0u); // the last block, word for word
    long imageHeight = 150;
    long imageWidth = 150;

protected:
    modkit::DisplayWindow& ModuleWindow() noexcept override { return window_; }
    void Transform(const modkit::Block& in, const modkit::Block& out) override;
    void OnDisplayedProps(IXMLDOMDocument* document) override;

private:
    // The image window draws the picture straight into its frame; every move and resize hands the
    // placement to the engine at once.
    class Window : public modkit::ModuleDisplayWindow<ImageModule> {
    public:
        explicit Window(ImageModule& module) : ModuleDisplayWindow(module, OnMove::SaveAtOnce) {}

    protected:
        void OnInitWindow() override;
        void OnPaint() override;

    private:
        void Draw();

        long fitWidth_ = 0; // the picture size the window last fitted itself to
        long fitHeight_ = 0;
    };

    Window window_{*this};
};
