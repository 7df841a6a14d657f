#pragma once
// The graph of a GraphWindow, drawn into its frame control from a plain view of what to draw.
#include <windows.h>
#include <span>

struct GraphPicture {
    std::span<const float> samples; // the last input block
    bool spectrum = false;          // an "FFT" signal: a kilohertz scale, (re, im) pairs
    bool magnitude = false;         // draws each pair's magnitude
    bool logScale = false;
    bool graticule = false;
    float gain = 1.0f;
    long sampleRate = 0;
};

// Draws off-screen and copies the plot to `frame` in one transfer; `font` (may be null) writes the
// scale labels and the axis title.
void DrawGraph(HWND frame, HFONT font, const GraphPicture& graph);
