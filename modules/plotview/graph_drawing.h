#pragma once
// The graph of a GraphWindow module, drawn into its frame control.
#include <windows.h>

class GraphWindowModule;

// Draws off-screen and copies the plot to `frame` in one transfer; `font` (may be null) writes the
// scale labels and the axis title.
void DrawGraph(HWND frame, HFONT font, const GraphWindowModule& graph);
