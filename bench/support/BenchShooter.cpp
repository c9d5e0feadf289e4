#include "BenchShooter.h"

#include <random>

TargetDescription MakeBenchTarget()
{
    TargetDescription t;
    t.hasRing = 1;
    t.ringRecord.SetNameText(QStringLiteral("Bench ring"));
    t.ringRecord.SetHighestRing(10);
    t.ringRecord.SetMinimumRing(1);
    t.ringRecord.SetDiameterHighestRing(80);
    t.ringRecord.SetHitRingGap(80);
    t.ringRecord.SetDiameterBlackArea(600);
    t.ringRecord.SetDiameterInnerWhite(100);
    t.ringRecord.SetDiameterX(40);
    t.ringRecord.SetNominalDistance(100);
    t.ringRecord.SetCaliber(450);
    t.hasSilhouette = 1;
    t.silhouetteRecord.SetNameText(QStringLiteral("Bench silhouette"));
    t.silhouetteRecord.SetSize(200);
    t.silhouetteRecord.SetNominalDistance(100);
    // A rough figure: head, body, fatal zone, near border.
    for (int c = 0; c < 64; ++c) {
        for (int r = 0; r < 64; ++r) {
            int zone = 0;
            const int dx = c - 32;
            if (r > 8 && r < 20 && dx * dx < 36)
                zone = 1;
            if (r >= 20 && dx * dx < 196)
                zone = 1;
            if (r >= 24 && r < 36 && dx * dx < 25)
                zone = 2;
            if (zone == 0 && r >= 18 && dx * dx < 256)
                zone = 3;
            t.silhouetteMatrix.SetCell(c, r, zone);
        }
    }
    return t;
}

std::unique_ptr<TShooter> MakeBenchShooter(const TargetDescription& target, unsigned seed)
{
    auto shooter = std::make_unique<TShooter>();
    shooter->targets.ringTargets[0] = target.ringRecord;
    shooter->targets.ringDefined[0] = 1;
    shooter->targets.silhouetteTargets[0] = target.silhouetteRecord;
    shooter->targets.silhouetteMatrices[0] = target.silhouetteMatrix;
    shooter->targets.silhouetteDefined[0] = 1;
    shooter->currentTarget = target;
    for (int s = 0; s < kBenchShots; ++s) {
        auto shot = std::make_unique<TShot>();
        seed = seed * 1103515245u + 12345u;
        shot->raw.SetShotNumber(s + 1);
        shot->raw.SetFunctionMode(1);
        shot->raw.SetRingTargetIndex(0);
        shot->raw.SetSilhouetteTargetIndex(0);
        shot->raw.SetStartupCounter(1);
        shot->raw.SetX(int((seed >> 16) % 600) - 300);
        shot->raw.SetY(int((seed >> 4) % 600) - 300);
        shot->raw.SetScore(60 + int(seed % 49));
        shot->raw.SetClockSector(1 + s % 12);
        shot->raw.SetSilhouette(1 + s % 3);
        shot->raw.SetTime(uint32_t(66 + s * 300));
        shot->shotNumber = s + 1;
        shot->AllocateCurve(kBenchSamples);
        for (int i = 0; i < kBenchSamples; ++i) {
            seed = seed * 1103515245u + 12345u;
            shot->Curve()[i].SetX(shot->raw.X() + (kBenchSamples - i) * 2 + int((seed >> 16) % 21) - 10);
            shot->Curve()[i].SetY(shot->raw.Y() + (kBenchSamples - i) + int((seed >> 8) % 21) - 10);
        }
        shooter->AppendShot(std::move(shot));
    }
    return shooter;
}

std::unique_ptr<TSession> MakeBenchSession(int shooters, int shots)
{
    std::mt19937 rng(4711);
    std::uniform_int_distribution<int> coord(-900, 900);
    auto session = std::make_unique<TSession>();
    session->name = QStringLiteral("Benchmark session");
    session->date = QStringLiteral("2024-05-17 10:00");
    for (int s = 0; s < shooters; ++s) {
        auto shooter = std::make_unique<TShooter>();
        shooter->name = QStringLiteral("Shooter %1").arg(s + 1);
        shooter->team = QStringLiteral("Team 1");
        shooter->SetSerialNumber(QStringLiteral("SN%1").arg(1000 + s));
        shooter->targets.ringTargets[0].SetNameText(QStringLiteral("Air Rifle"));
        shooter->targets.ringTargets[0].SetNominalDistance(100);
        shooter->targets.ringTargets[0].SetCaliber(450);
        shooter->targets.ringDefined[0] = 1;
        for (int k = 0; k < shots; ++k) {
            auto shot = std::make_unique<TShot>();
            RawShotRecord& r = shot->raw;
            r.SetRingTargetIndex(0);
            r.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
            r.SetFunctionMode(1);
            r.SetTime(uint32_t(k * 660));
            r.SetScore(80 + k % 25);
            r.SetClockSector(1 + k % 12);
            r.SetX(coord(rng));
            r.SetY(coord(rng));
            r.SetXNAU(coord(rng));
            r.SetYNAU(coord(rng));
            shot->aimingTime = 2000 + k;
            shot->AllocateCurve(200);
            for (int p = 0; p < 200; ++p) {
                shot->Curve()[p].SetX(coord(rng));
                shot->Curve()[p].SetY(coord(rng));
            }
            shooter->AddShot(std::move(shot));
        }
        session->AddShooter(std::move(shooter));
    }
    return session;
}
