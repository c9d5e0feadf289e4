// Naming of saved session files, shared by the viewer's one-shooter save and
// the shooter list's session save.
#pragma once

#include <QString>

// folder + "/" + SanitizeFileName(baseName) + ".shotfile.xml", or with
// " (2)", " (3)", ... before the extension when that file exists. The
// cleaned base name is cut to at most 200 bytes of UTF-8 (never inside a
// character) so that the whole name stays within the file system's limit.
QString UniqueShotFilePath(const QString& folder, const QString& baseName);

// When option AlwaysShowSaveDialogs is set, asks for the file with path
// proposed (empty when cancelled); else path itself. caption is the
// dialog's title, translated by the caller.
QString ConfirmShotFilePath(const QString& path, const QString& caption = QString());

// The name filter of session files in the open and save dialogs.
QString ShotFileFilter();
