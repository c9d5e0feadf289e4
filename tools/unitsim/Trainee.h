// A simulated trainee behind a unit: where the gun points, sample by sample,
// and when the shot breaks. A pure function of its seed and the number of
// samples taken, so a seeded run repeats whatever the wall clock does.
//
// The aim is the sum of: the trainee's own offset from the centre (each
// trainee groups off-centre a little), a displacement that decays as the gun
// settles (raised from below at the start, thrown up by the recoil after a
// shot), a slow wander that pulls back towards the hold, and a fast tremor.
// Positions are raw units, the unit's angular measure.
#pragma once

#include <cstdint>
#include <random>

namespace unitsim {

class TTrainee {
public:
    static constexpr int SamplesPerSecond = 66;

    // shootEverySeconds 0: the trainee holds and never breaks a shot alone.
    explicit TTrainee(unsigned seed, double shootEverySeconds = 0);

    struct Aim {
        int16_t x = 0;
        int16_t y = 0;
        bool shotBreaks = false; // the shot breaks at this sample
    };

    // The gun raised again: a new approach, a new countdown to the break.
    void Restart();
    // One sample period on.
    Aim Next();
    // Breaks a shot now: the aim of the current sample, and the recoil and
    // the next countdown start as after a shot of its own.
    Aim BreakNow();

    // The trainee's own group centre, raw units.
    int OffsetX() const { return int(offsetX_); }
    int OffsetY() const { return int(offsetY_); }
    // Spread of the wander around it, raw units.
    double HoldSpread() const { return spread_; }

private:
    double Normal() { return normal_(rng_); }
    double Uniform() { return uniform_(rng_); }
    void StartCountdown();
    void AfterShot();
    Aim Current() const;

    std::mt19937 rng_;
    std::normal_distribution<double> normal_{0.0, 1.0};
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};
    double shootEvery_ = 0;

    // Per trainee.
    double offsetX_ = 0, offsetY_ = 0;
    double spread_ = 60;
    double tremor_ = 12, tremorHz_ = 8, tremorPhase_ = 0;
    double jerkX_ = 0, jerkY_ = 0; // where a snatched trigger pulls

    // Per sample.
    long long sample_ = 0;
    double settleX_ = 0, settleY_ = 0, settleDecay_ = 0.98;
    double wanderX_ = 0, wanderY_ = 0;
    int countdown_ = -1; // samples to the break; -1: none
};

} // namespace unitsim
