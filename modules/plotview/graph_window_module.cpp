#include "graph_window_module.h"

#include <algorithm>
#include <cwchar>
#include "graph_drawing.h"

using namespace modkit;

GraphWindowModule::GraphWindowModule()
    : DisplayModule(identity::module, L"Open a window and display a graph of a signal.")
{
}

void GraphWindowModule::Transform(const Block& in, const Block& out)
{
    display.assign(in.data, in.data + in.count);
    if (in.count > 0 && out.count >= in.count) std::copy(in.data, in.data + in.count, out.data);
    Redraw();
}

void GraphWindowModule::Window::OnPaint()
{
    const GraphWindowModule& m = module_;
    const GraphPicture picture{.samples = m.display,
                               .spectrum = m.IsSpectrum(),
                               .magnitude = m.magnitude != 0,
                               .logScale = m.logScale != 0,
                               .graticule = m.graticule != 0,
                               .gain = m.gain,
                               .sampleRate = m.sampleRate};
    DrawGraph(frame(), reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)), picture);
}

