#include "Trainee.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace unitsim {

namespace {

constexpr double Dt = 1.0 / TTrainee::SamplesPerSecond;
// How fast the wander forgets: about half a second.
constexpr double WanderSeconds = 0.5;
// Samples over which a snatched trigger pulls the gun before the break.
constexpr int JerkSamples = 3;
// The shortest time between two shots of their own, in samples.
constexpr int MinimumCycle = 60;

double DecayPerSample(double seconds) { return std::exp(-Dt / seconds); }

int16_t Clamp16(double v) { return int16_t(std::clamp(std::lround(v), -32768L, 32767L)); }

} // namespace

TTrainee::TTrainee(unsigned seed, double shootEverySeconds)
    : rng_(seed), shootEvery_(std::max(0.0, shootEverySeconds))
{
    // Who this trainee is: where the group sits, how steady the hold is,
    // how the hand trembles and which way a snatched trigger pulls.
    offsetX_ = 50 * Normal();
    offsetY_ = 50 * Normal();
    spread_ = 35 + 75 * Uniform();
    tremor_ = 6 + 12 * Uniform();
    tremorHz_ = 6 + 4 * Uniform();
    tremorPhase_ = 2 * std::numbers::pi * Uniform();
    const double jerkAngle = 2 * std::numbers::pi * Uniform();
    const double jerk = 20 + 60 * Uniform();
    jerkX_ = jerk * std::cos(jerkAngle);
    jerkY_ = jerk * std::sin(jerkAngle);
    Restart();
}

void TTrainee::Restart()
{
    // Raised from below, a little to one side.
    settleX_ = 500 * Normal();
    settleY_ = -(1800 + 1200 * Uniform());
    settleDecay_ = DecayPerSample(0.4);
    wanderX_ = spread_ * Normal();
    wanderY_ = spread_ * Normal();
    StartCountdown();
    // Raising the gun takes its time before the first shot.
    if (countdown_ > 0)
        countdown_ += SamplesPerSecond;
}

void TTrainee::StartCountdown()
{
    if (shootEvery_ <= 0) {
        countdown_ = -1;
        return;
    }
    const double cycle = shootEvery_ * SamplesPerSecond * (0.8 + 0.4 * Uniform());
    countdown_ = std::max(MinimumCycle, int(cycle));
}

void TTrainee::AfterShot()
{
    // The recoil throws the muzzle up; the trainee brings it back down.
    settleX_ += 100 * Normal();
    settleY_ += 600 + 400 * Uniform();
    settleDecay_ = DecayPerSample(0.3);
    StartCountdown();
}

TTrainee::Aim TTrainee::Current() const
{
    const double t = double(sample_) * Dt;
    double x = offsetX_ + settleX_ + wanderX_ + tremor_ * std::sin(2 * std::numbers::pi * tremorHz_ * t + tremorPhase_);
    double y = offsetY_ + settleY_ + wanderY_
        + 0.7 * tremor_ * std::cos(2 * std::numbers::pi * tremorHz_ * 1.3 * t + tremorPhase_);
    if (countdown_ >= 0 && countdown_ < JerkSamples) {
        const double pull = double(JerkSamples - countdown_) / JerkSamples;
        x += jerkX_ * pull;
        y += jerkY_ * pull;
    }
    Aim aim;
    aim.x = Clamp16(x);
    aim.y = Clamp16(y);
    return aim;
}

TTrainee::Aim TTrainee::Next()
{
    ++sample_;
    settleX_ *= settleDecay_;
    settleY_ *= settleDecay_;
    const double a = DecayPerSample(WanderSeconds);
    const double kick = spread_ * std::sqrt(1 - a * a);
    wanderX_ = a * wanderX_ + kick * Normal();
    wanderY_ = a * wanderY_ + kick * Normal();
    if (countdown_ > 0)
        --countdown_;
    Aim aim = Current();
    if (countdown_ == 0) {
        aim.shotBreaks = true;
        AfterShot();
    }
    return aim;
}

TTrainee::Aim TTrainee::BreakNow()
{
    Aim aim = Current();
    aim.shotBreaks = true;
    AfterShot();
    return aim;
}

} // namespace unitsim
