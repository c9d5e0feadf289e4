// Translation of the forms' fixed texts. Each form registers, when it is
// created, a table of its controls (found by object name) and what to
// translate on each; TranslateUI then works through all tables in a fixed
// order, so that untranslated texts are recorded in a stable order.
#pragma once

#include <QString>
#include <QStringList>

#include <initializer_list>
#include <utility>
#include <vector>

class QWidget;

enum class TTranslateKind {
    Caption,  // the control's text (or title); for the entry "Caption", the form's window title
    Hint,     // the tool tip
    Items,    // the item lines of a radio group or list
    Center,   // re-centre horizontally in the parent (after its text changed)
};

struct TTranslateEntry {
    QString Control;  // object name below the table's root; "Caption": the root itself
    TTranslateKind Kind;
};

// Where each form's table runs in TranslateUI; tables of equal order run in
// registration order.
enum TTranslateOrder : int {
    TranslateOrderPrintSetup = 10,
    TranslateOrderSendMessage = 20,
    TranslateOrderStartMenu = 30,
    TranslateOrderSelectSetup = 40,
    TranslateOrderPrepareDownload = 50,
    TranslateOrderOpenSession = 60,
    TranslateOrderNameListEditor = 70,
    TranslateOrderShooterList = 80,
    TranslateOrderSearchShooterName = 90,
    TranslateOrderEditSetup = 100,
    TranslateOrderFrameModeSettings = 110,
    TranslateOrderFrameSilhouetteSettings = 120,
    TranslateOrderFrameRingSettings = 130,
    TranslateOrderFrameRingCustomSettings = 140,
    TranslateOrderFrameAdvancedSettings = 150,
    TranslateOrderApplicationSettings = 160,
    TranslateOrderShooterPanel = 170,  // the hints of its icon-only buttons only
    TranslateOrderFinalCentering = 1000,  // labels re-centred once every text is in place
};

// Registers a table for root (a form or a frame). The root is watched: once
// it is destroyed its tables are skipped and dropped.
void RegisterTranslateTable(int order, QWidget* root, std::vector<TTranslateEntry> entries);
void UnregisterTranslateTables(QWidget* root);

// Gives each named control below root its English hint (control name, hint)
// and registers a table that translates the hints; a control not found is
// logged and skipped.
void RegisterHints(int order, QWidget* root, std::initializer_list<std::pair<const char*, const char*>> hints);

// Installs newList as the translation list when given, puts Qt's own texts
// into the list's language (InstallQtTranslation), passes the renderer's and
// printout's fixed words through Translate (so missing ones are recorded),
// then translates every registered table in order. A control named in a
// table but not found is logged and skipped.
void TranslateUI(const QStringList* newList = nullptr);

// Qt's own texts (standard buttons, the file and print dialogs) follow the
// language the translation list names (TranslationLanguageName): Qt's
// translation file for it is installed, and taken out again for a list that
// names English or no language. A missing Qt translation file is logged and
// leaves Qt's texts in English. Needs the application object.
void InstallQtTranslation();

// text := Translate(text): the "text" property of labels, buttons and the
// like, the title of group boxes, else the window title. A control that holds
// a sentence around a field (SentenceField.h) has the whole sentence
// translated and split again.
void TranslateCaption(QWidget* control);
// toolTip := Translate(toolTip).
void TranslateHint(QWidget* control);
// Each line := Translate(line), in place.
void TranslateItems(QStringList& items);
// The item lines of a control: a combo box's items, a QStringList property
// "items", or else the texts of the radio buttons below it, in child order.
void TranslateItems(QWidget* control);
// left := (parent's width - width) / 2; nothing without a parent.
void CenterInParent(QWidget* control);
