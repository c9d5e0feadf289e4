// What the benchmarks work on, from fixed seeds so every run is the same.
// The drawing and printing benchmarks' shooter: a combined ring and
// silhouette target in slot 0 and shots spread over it, each with a trace.
#pragma once

#include "Setupdata.h"
#include "Shotdata.h"

#include <memory>

constexpr int kBenchShots = 60;
constexpr int kBenchSamples = 200;

TargetDescription MakeBenchTarget();
std::unique_ptr<TShooter> MakeBenchShooter(const TargetDescription& target, unsigned seed = 4711);
// The session of the file benchmarks: named shooters with serial numbers on
// an air rifle ring in slot 0, each shot with a 200-point trace.
std::unique_ptr<TSession> MakeBenchSession(int shooters, int shots);
