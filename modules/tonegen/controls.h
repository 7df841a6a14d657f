// The controls of SignalW's panel (dialog 201): one list for its template, its panel code, its
// tests and the graph-file documentation. Plain definitions, so that the resource compiler reads
// them too.
#pragma once

#define IDC_FREQUENCY 201        // trackbar "Frequency": cycles per block, or tenths of a hertz
#define IDC_AMPLITUDE 202        // trackbar "Amplitude": hundredths (-100 to 100 at frequency 0)
#define IDC_SYNC_TO_BLOCK 203    // check box "Sync to block size": the frequency scale
#define IDC_BLOCK_SIZE 204       // list "Block Size": 128, 256, 512, 1024
#define IDC_SAMPLE_RATE 205      // list "Sample Rate": 11.025, 22.05, 44.1 kHz
#define IDC_FREQUENCY_VALUE 5001 // edit: the frequency in hertz
#define IDC_AMPLITUDE_VALUE 5002 // edit: the amplitude
#define IDC_SHAPE 5011           // list "Shape": Sine, Square, Impulse, White
