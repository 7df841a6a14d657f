#pragma once
// The Image module's panel: a gain slider with its value and the graticule and log boxes. The module
// keeps what they say; the picture does not use it.
#include "controls.h"
#include "image_module.h"
#include "panel/display_options.h"

class ImagePanel : public modkit::DisplayOptionsPanel {
public:
    ImagePanel() : DisplayOptionsPanel({IDC_GAIN, IDC_GAIN_VALUE, IDC_GRATICULE, IDC_LOG}) {}

protected:
    modkit::DisplayOptions* Options() const override { return moduleAs<ImageModule>(); }
};
