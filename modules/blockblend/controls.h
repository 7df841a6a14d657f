// The controls of the Overlap's panel (dialog 201): one list for its template, its panel code, its
// tests and the graph-file documentation. Plain definitions, so that the resource compiler reads
// them too.
#pragma once

#define IDC_OVERLAP 203      // edit "Overlap": samples each block repeats from the one before
#define IDC_OVERLAP_SPIN 204 // up-down: one sample more or less per step
