// The prompts of the running program: Qt message boxes and dialogs, modal to
// the active window. Installed by the program entry; tests install a scripted
// implementation instead (tests/ui/support).
#pragma once

#include "Prompts.h"

class TQtPrompts final : public IPrompts {
public:
    TMsgResult MessageBox(const QString& text, const QString& caption, TMsgButtons buttons) override;
    QString OpenFileName(const TFileRequest& request) override;
    QString SaveFileName(const TFileRequest& request) override;
    bool ChooseColour(uint32_t* colour) override;
    bool PrintDialog(QPrinter* printer) override;
    void Beep() override;
};

class QFileDialog;

// Sets a file dialog up for the request: folder, filters as given (matched
// whatever the letter case), suggested name and suffix, columns wide enough,
// its Open or Save and Cancel buttons translated. The accept mode is set first.
void PrepareFileDialog(QFileDialog& dialog, const TFileRequest& request);
