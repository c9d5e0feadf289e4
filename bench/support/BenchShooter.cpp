#include "BenchShooter.h"

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
