// The controls of the Filter's panel (dialog 201): one list for its template, its panel code, its
// tests and the graph-file documentation. Plain definitions, so that the resource compiler reads
// them too.
#pragma once

#define IDC_LOW_CUT 5001        // trackbar "Low Cut": the lowest bin passed whole
#define IDC_LOW_CUT_VALUE 5002  // edit: the low cut x block size / sample rate (shown only)
#define IDC_HIGH_CUT 5003       // trackbar "High Cut": the highest bin passed whole
#define IDC_HIGH_CUT_VALUE 5004 // edit: the high cut x block size / sample rate (shown only)
#define IDC_RAMP 5005           // trackbar "Ramp": bins over which the gain falls to 0 (1 to 10)
#define IDC_RAMP_VALUE 5006     // edit: the ramp
