// The program's folders and fixed file paths, kept in one place. Start-up
// fills them once (InitAppPaths); tests point them at a scratch folder.
//
// Every path uses "/" and folder paths carry no trailing separator, except
// DataFolder, which ends in "/" so that file names can be appended directly.
#pragma once

#include <QString>

// Takes the current directory as AppFolder and the user's generic data
// location as AppDataFolder. Returns false when the platform names no data
// location (AppDataFolder stays empty then).
bool InitAppPaths();

// The current directory when the program started (not the program's folder):
// the grading file, the shipped default setup, "Bitmaps" and "Languages" are
// found there.
QString AppFolder();
void SetAppFolder(const QString& folder);

// The user's application-data folder; empty when unknown.
QString AppDataFolder();
void SetAppDataFolder(const QString& folder);

// AppDataFolder + "/Tavrik/TRAXEL/": settings, translation files. This and
// the paths below are empty while AppDataFolder is empty.
QString DataFolder();
QString ShotFilesFolder();   // DataFolder + "Shot files"
QString SetupsFolder();      // DataFolder + "Setups"
QString SettingsFileName();  // DataFolder + "TRAXEL.settings.xml"
QString LanguagesFolder();   // AppFolder + "/Languages"

// The shipped copy of the default setup list, in AppFolder.
QString ShippedDefaultSetupPath();

// SetupsFolder + "/default.setup.xml": where the shipped list is copied to.
QString StandardDefaultSetupPath();

// The setup list loaded at start: StandardDefaultSetupPath until
// SetDefaultSetupPath names another file. An empty path restores the default.
QString DefaultSetupPath();
void SetDefaultSetupPath(const QString& path);
