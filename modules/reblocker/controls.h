// The controls of the Stream's panel (dialog 201): one list for its template, its panel code, its
// tests and the graph-file documentation. Plain definitions, so that the resource compiler reads
// them too.
#pragma once

#define IDC_IN_BLOCK_SIZE 201  // edit, disabled: samples per input block (shown only)
#define IDC_OUT_BLOCK_SIZE 202 // list "Block Size" (output): 128, 256, 512, 1024
#define IDC_IN_RATE 203        // edit, disabled: the input's samples per second (shown only)
#define IDC_OUT_RATE 208       // list "Sample Rate" (output): 11.025, 16.0, 22.05, 44.1 kHz
