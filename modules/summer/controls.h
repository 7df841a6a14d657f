// The controls of the Multiplier's panel (dialog 201): one list for its template, its panel code,
// its tests and the graph-file documentation. Plain definitions, so that the resource compiler reads
// them too.
#pragma once

#define IDC_BLOCK_SIZE 202  // list "Block Size": 128, 256, 512, 1024
#define IDC_SAMPLE_RATE 208 // list "Sample Rate": 11.025, 16.0, 22.050, 44.1 kHz
