#pragma once
// Dialog templates and controls of panel_test.rc.
#define IDD_PLAIN_FONT 301    // DIALOG with its own font
#define IDD_EXTENDED_FONT 302 // DIALOGEX with its own font
#define IDD_SYSTEM_FONT 303   // DIALOG without a font: the system's dialog base units
#define IDD_MISSING 399       // not in the resources
#define IDD_PROBE 310         // a panel with one control of each kind
#define IDC_TRACK 1001
#define IDC_EDIT 1002
#define IDC_COMBO 1003
#define IDC_CHECK 1004
