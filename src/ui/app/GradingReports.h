// How the operator learns of a bad grading file. Every target renderer loads
// the grading file when it is created; its row errors ("Grading parameter
// file error", OK) and full tables (Abort/Retry/Ignore, the answer unused)
// are shown through the prompts the first time a given file is loaded in
// this run, not once per viewer. A file that changed on disk since counts as
// another file. Every report also goes to the debug log.
//
// GUI thread.
#pragma once

#include "GradingParameters.h"

// Installs the reporters into the renderers and forgets which files were
// loaded; RemoveGradingReports puts the log-only default back.
void InstallGradingReports();
void RemoveGradingReports();

// The reporter for one load of the file at path.
GradingReporter GradingReporterForLoad(const QString& path);
