// Small building blocks the setup editor's frames share: named controls and
// the on/off switch pictures that stand for the frames' hidden check boxes.
//
// GUI thread.
#pragma once

#include "NamedControl.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QToolButton>


// A switch picture: clicking it runs the frame's handler, which flips the
// hidden check box it stands for and shows the new state.
QToolButton* MakeSwitch(QWidget* parent, const char* name);
// The on or off picture.
void ShowSwitch(QToolButton* picture, bool on);
// A two-state picture with a word for each state ("m" / "yd").
void ShowUnitSwitch(QToolButton* picture, const QString& word);
// A hidden check box (its state is shown by a switch picture).
QCheckBox* HiddenCheckBox(QWidget* parent, const char* name, const QString& text = QString());
// The hit-indication-beam lamp the editor shows over its preview.
QPixmap BeamPicture(bool on);
