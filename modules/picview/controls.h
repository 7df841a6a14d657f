// The controls of the Image module's panel (dialog 201) and window (dialog 5002): one list for its
// templates, its panel code, its tests and the graph-file documentation. Plain definitions, so that
// the resource compiler reads them too.
#pragma once

#define IDC_GAIN 201       // trackbar "Gain": gain 10^((position - 50) / 10), kept but not drawn
#define IDC_GRATICULE 202  // check box "Graticule": kept but not drawn
#define IDC_LOG 203        // check box "Log(y)": kept but not drawn
#define IDC_GAIN_VALUE 204 // edit: the gain (shown only)
