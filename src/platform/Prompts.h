// The message boxes of the program, behind an interface so that code below
// the screens can ask the operator something and tests can record and answer.
// The screens install the widget implementation at start-up; until then (and
// in tools) a silent one answers without asking.
#pragma once

#include <QString>

enum class TMsgButtons { OK, YesNo, YesNoCancel };

enum class TMsgResult { OK, Yes, No, Cancel };

class IPrompts {
public:
    virtual ~IPrompts() = default;
    // Shows text with caption and the given buttons; returns the operator's
    // choice. Both texts are shown as given (callers translate them).
    virtual TMsgResult MessageBox(const QString& text, const QString& caption, TMsgButtons buttons) = 0;
};

// The installed prompts, or the silent fallback: it logs the message and
// answers OK, No or Cancel, so that nothing destructive happens when nobody
// can be asked.
IPrompts& Prompts();

// Installs prompts (not owned; must outlive its use). nullptr restores the
// silent fallback. Returns the previously installed one (nullptr for the
// fallback).
IPrompts* SetPrompts(IPrompts* prompts);
