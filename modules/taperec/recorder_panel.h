#pragma once
// The Recorder's panel: the file name with a browse button, Record, Stop and Play, the position in
// the open file, and the slow gap size.
#include <string>
#include "controls.h"
#include "panel/module_dialog.h"
#include "recorder_module.h"

class RecorderPanel : public modkit::ModuleDialog {
public:
    HRESULT Apply() override;
    HRESULT Refresh() override;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnNotify(const NMHDR& header, LRESULT& result) override;
    void ExchangeControls(Exchange direction) override;

private:
    // Record and Play: the module's new state, the panel's fields into the module, the page clean.
    void Start(bool playing);
    void Stop();
    void Browse();
    void FileNameEdited();
    void CopyFileNameToModule();

    std::wstring fileName_;
    long filePosition_ = 0;
    long gap_ = 0;
    bool initialising_ = false; // filling the controls is no edit of the user's
};
