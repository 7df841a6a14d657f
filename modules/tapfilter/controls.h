// The controls of the FIR's panel (dialog 201): one list for its template, its panel code, its
// tests and the graph-file documentation. Plain definitions, so that the resource compiler reads
// them too.
#pragma once

#define IDC_FILTER_TYPE 201   // list "Low Pass", "High Pass", "Band Pass" (from the dialog's initial data)
#define IDC_CUTOFF_LABEL 202  // static: "Frequency", or "High" for the band pass
#define IDC_LOW_LABEL 203     // static: empty, or "Low" for the band pass
#define IDC_LOW 5001          // trackbar: the band's low edge, position x 0.005 x sample rate (band pass only)
#define IDC_LOW_VALUE 5002    // edit: the low edge in hertz (band pass only)
#define IDC_CUTOFF 5003       // trackbar: the cut-off (the band's high edge), position x 0.005 x sample rate
#define IDC_CUTOFF_VALUE 5004 // edit: the cut-off in hertz
#define IDC_TAPS 5005         // trackbar: taps, 5 to 100
#define IDC_TAPS_VALUE 5006   // edit: taps
