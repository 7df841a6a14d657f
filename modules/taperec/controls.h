// The controls of the Recorder's panel (dialog 5000): one list for its template, its panel code,
// its tests and the graph-file documentation. Plain definitions, so that the resource compiler reads
// them too.
#pragma once

#define IDD_RECORDER 5000
#define IDC_FILE_NAME 5001     // edit "File Name": the recording file
#define IDC_RECORD 5002        // button "Record"
#define IDC_PLAY 5003          // button "Play"
#define IDC_STOP 5004          // button "Stop"
#define IDC_BROWSE 5005        // button "...": choose a ".vento" file
#define IDC_FILE_POSITION 5006 // edit, disabled: "FilePosition", the byte position in the open file
#define IDC_GAP_SIZE 201       // edit "Slow Gap Size": 0 to 3
#define IDC_GAP_SPIN 202       // up-down "Spin1": steps the gap size
