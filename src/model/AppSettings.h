// The application settings: one XML document (root "TRAXELAppSettings") held
// in memory for the whole run, with the groups Network (attributes Mode,
// MonitorIP, MonitorPort), Options (one child element per option, the value
// as its text) and QuickGrading (attributes Position, SkillLevel).
//
// Loaded once at start-up, completed with defaults, written back only when
// the operator confirms (SaveApplicationSettings), and then only when the
// text changed. Used on the GUI thread.
#pragma once

#include "MiniXMLParser.h"

#include <QString>

#include <memory>

// The root element; nullptr before LoadApplicationSettings.
MiniXMLParser::TXMLNode* SettingsRoot();
// Replaces the document (nullptr drops it, as shutdown does).
void SetSettingsRoot(std::unique_ptr<MiniXMLParser::TXMLNode> root);

// Start-up: reads SettingsFileName. A file that cannot be read, parsed or held
// in memory, or whose root is not "TRAXELAppSettings", is reported with "Error loading
// application settings. Defaults used." (caption "Information") and copied to
// SettingsFileName + ".old"; the defaults are used instead. A missing file
// just gives the defaults. Ends with SetDefaultSettings.
void LoadApplicationSettings();

// Sets CreatedBy, then adds every missing element and fills every missing or
// empty value with its default, in document order. Existing values stay.
void SetDefaultSettings();

// Options' child key: its text lower-cased equals "true"; false when missing.
bool GetOptionBool(const QString& key);
// Options' child key's text, "" when missing.
QString GetOptionString(const QString& key);
// Sets Options' child key's text, adding the child (and Options) when missing.
void SetOptionString(const QString& key, const QString& value);

bool GetAlwaysShowSaveDialogs();
// Network's Mode: "Disable", "Node" or "Monitor"; "Disable" when missing.
QString GetNetworkMode();

// The advanced-mode switch of the settings dialog; lasts until the program ends.
bool AdvancedModeOn();
void SetAdvancedModeOn(bool on);
// AdvancedModeOn, or else option AdvancedSettings.
bool IsAdvancedMode();

// Builds the document text and writes SettingsFileName, but only when the
// file is missing or its text (blanks at either end ignored) differs.
// Returns true when the file was written; throws Exception when writing fails
// (the old file then stays as it was).
bool SaveApplicationSettings();
