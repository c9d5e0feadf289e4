// The shooter the drawing and printing benchmarks work on: a combined ring
// and silhouette target in slot 0 and shots spread over it, each with an
// aiming trace, from a fixed seed so every run draws the same.
#pragma once

#include "Setupdata.h"
#include "Shotdata.h"

#include <memory>

constexpr int kBenchShots = 60;
constexpr int kBenchSamples = 200;

TargetDescription MakeBenchTarget();
std::unique_ptr<TShooter> MakeBenchShooter(const TargetDescription& target, unsigned seed = 4711);
