// The controls of the BMP module's panel (dialog 201): one list for its template, its panel code, its
// tests and the graph-file documentation. Plain definitions, so that the resource compiler reads
// them too.
#pragma once

#define IDC_FILE_NAME 203      // edit "File Name:": the file to read, and to save into
#define IDC_BROWSE 204         // button "...": choose a file to read
#define IDC_AUTO_INCREMENT 206 // check box "Auto-Increment file name": Save never overwrites
#define IDC_SAVE 207           // button "Save": the input's image into the file, then read back
