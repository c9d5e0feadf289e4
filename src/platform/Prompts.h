// The program's questions to the operator, behind an interface so that code
// below the screens can ask the operator something and tests can record and
// answer: message boxes, file choosers, the colour and print dialogs and the
// beep. The screens install the widget implementation at start-up; until then
// (and in tools) a silent one answers without asking.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

class QPrinter;

enum class TMsgButtons { OK, OKCancel, YesNo, YesNoCancel, AbortRetryIgnore };

enum class TMsgResult { OK, Cancel, Yes, No, Abort, Retry, Ignore };

// What a file chooser shows. Filters are Qt name filters such as
// "TRAXEL Shot File (*.shotfile.xml)"; matching ignores letter case.
struct TFileRequest {
    QString caption;
    QString folder;          // initial folder
    QString fileName;        // proposed name (may hold a folder)
    QStringList filters;
    QString defaultSuffix;   // appended when the operator types none, e.g. "shotfile.xml"
};

class IPrompts {
public:
    virtual ~IPrompts() = default;
    // Shows text with caption and the given buttons; returns the operator's
    // choice. Both texts are shown as given (callers translate them).
    virtual TMsgResult MessageBox(const QString& text, const QString& caption, TMsgButtons buttons) = 0;
    // The chosen path, or empty when cancelled.
    virtual QString OpenFileName(const TFileRequest& request);
    virtual QString SaveFileName(const TFileRequest& request);
    // The chosen colour (0x00BBGGRR) in *colour; false when cancelled.
    virtual bool ChooseColour(uint32_t* colour);
    // Lets the operator set up printer; false when cancelled.
    virtual bool PrintDialog(QPrinter* printer);
    virtual void Beep();
};

// The installed prompts, or the silent fallback: it logs the message and
// answers OK, No, Cancel or Abort, chooses no file, colour or printer, so
// that nothing destructive happens when nobody can be asked.
IPrompts& Prompts();

// Installs prompts (not owned; must outlive its use). nullptr restores the
// silent fallback. Returns the previously installed one (nullptr for the
// fallback).
IPrompts* SetPrompts(IPrompts* prompts);
