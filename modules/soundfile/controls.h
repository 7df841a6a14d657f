// The controls of the WAV module's panel (dialog 201): one list for its template, its panel code,
// its tests and the graph-file documentation. Plain definitions, so that the resource compiler reads
// them too.
#pragma once

#define IDC_WAV_FILE_NAME 203 // edit "File Name": the WAV file to play or record
#define IDC_WAV_BROWSE 204    // button "...": choose a ".wav" file
#define IDC_WAV_STOP 205      // button "Stop": pause playback, complete a recording
#define IDC_WAV_PLAY 206      // button "Play": play the file once
#define IDC_WAV_REPEAT 207    // button "Repeat": play the file over and over
#define IDC_WAV_RECORD 208    // button "Record": record the input into the file
