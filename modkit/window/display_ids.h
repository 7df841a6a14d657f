// The display modules' window template and its frame control, for code and resource scripts alike.
#pragma once

#define IDD_DISPLAY_WINDOW 5002 // the window: a dialog template of its own in each display server
#define IDC_DISPLAY_FRAME 5003  // the frame control the picture is drawn into
