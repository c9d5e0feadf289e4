// Translation of the program's visible texts. The program is written with
// English texts; an installed translation list maps them to another language
// with lines "English text=translated text". Texts asked for that have no
// translation are collected once each as faults, so a translator can see what
// is missing.
//
// All functions are safe to call from any thread.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

// Returns the translation of text, or text itself. Without a translation list
// nothing is recorded. Otherwise the key is text without surrounding blanks;
// the first line whose part before the first '=' equals the key (letter case
// ignored) decides: a non-empty value is returned, an empty one counts as
// missing. A missing key is recorded as a fault (once, letter case ignored)
// and text is returned unchanged, blanks included. A text that is empty or
// all blanks is returned as it is and never recorded.
QString Translate(const QString& text);

// The language the translation list is written in, as its line
// "Language name=<name>" names it ("Deutsch"); empty when no line does. No
// program text is ever looked up under that name.
QString TranslationLanguageName();

// The locale of a language named by its own name ("Deutsch"), its English
// name ("German") or a locale code ("de", "pt_BR"), letter case and
// surrounding blanks ignored; QLocale::c() when no language is named so.
QLocale LocaleOfLanguageName(const QString& name);

// Files in the data folder.
QString TranslationFileName();        // "Translations.lang.txt"
QString TranslationFaultsFileName();  // "Translation faults.txt"

// ---- The translation list -----------------------------------------------------------

// Replaces the translation list by the file's lines. Returns false, leaving
// the list as it was, when the file cannot be read.
bool LoadTranslationList(const QString& path);
void SetTranslationList(const QStringList& lines);
QStringList TranslationList();

// ---- Faults ---------------------------------------------------------------------

// Replaces the faults by the file's lines (each once). False, faults
// unchanged, when the file cannot be read.
bool LoadTranslationFaults(const QString& path);
QStringList TranslationFaults();
// Set once a fault was recorded during this run.
bool TranslationFaultFlag();
// Empties the faults list (a new language starts with no faults).
void ClearTranslationFaults();

// The shutdown save: when a fault was recorded during this run, the faults
// list holds at least one text and a translation is installed (the data
// folder's translation file exists), writes the faults file. Returns true when
// written; throws Exception when the write fails.
bool SaveTranslationFaults();

// Forgets the list, the faults and the fault flag.
void ResetTranslation();

// ---- Changing the language ---------------------------------------------------------

enum class TLanguageChange {
    CopyFailed,     // the chosen file is missing or could not be installed
    Applied,        // first language: the list is loaded, captions can be translated now
    RestartNeeded,  // a language was installed before: it takes effect after a restart
};

// Installs chosenFile as the data folder's translation file, deletes the
// faults file and empties the faults list. Only for the first language
// installed is the translation list loaded at once.
TLanguageChange InstallLanguageFile(const QString& chosenFile);
