// The program's set-up for the benchmarks that show forms: the runtime
// folder beside the build's bench folder as the application folder (its
// Bitmaps/ and grading file), the pictures loaded, default settings, and a
// classic training as the session mode.
#pragma once

void SetUpBenchProgram();

class QTemporaryDir;

// The ports of an empty system under scratch, for the benchmarks that start
// the whole program: serial devices that come and go on this machine start
// no scan, whose pauses would be timed with what is measured.
void UseScratchPorts(const QTemporaryDir& scratch);
