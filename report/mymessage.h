// TmyMessage: the program's error and warning boxes, each with the caption "Kalvex" and one OK
// button, shown through the dialog seam.
#pragma once

#include <string>

#include "dialog_seam.h"

class TmyMessage {
public:
    TmyMessage(TDialogSeam* seam, std::string unitName, std::string caption);

    void ShowMemoryError(const std::string& objectName);
    static std::string MemoryErrorText(const std::string& objectName);
    // The error box for an exception that nothing else handled.
    void ShowException(const std::string& what);
    // "Discard the unsaved data?" with OK and Cancel; true for OK.
    bool ConfirmDiscard();
    void ShowSendError();
    void ShowNotFound();
    void ShowNoResponse();
    void ShowInitSaveError();
    void ShowDataSaveError();
    void ShowDataFileError();
    void ShowFFTSaveError();
    void ShowSettingFileError();
    void ShowNoData();
    void ShowLevelError();
    // A print job that could not be completed (no page written).
    void ShowPrintError();

    const std::string& Caption() const { return Caption_; }

private:
    void Show(const std::string& text, TMsgIcon icon);

    TDialogSeam* seam_;
    std::string UnitName;
    std::string Caption_;
};
