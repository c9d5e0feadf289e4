// The program's set-up for the benchmarks that show forms: the runtime
// folder beside the build's bench folder as the application folder (its
// Bitmaps/ and grading file), the pictures loaded, default settings, and a
// classic training as the session mode.
#pragma once

void SetUpBenchProgram();
