// The ring target the hand-computed scores are worked out on, shared by the
// scoring, device and benchmark code: 10 m, 4.5 mm caliber, rings 10..1, the
// ten 0.5 mm across, 2.5 mm gaps, inner ten 0.5 mm.
#pragma once

#include "DeviceRecords.h"
#include "Setupdata.h"

inline RingTargetRecord GoldenRingRecord()
{
    RingTargetRecord r;
    r.SetNominalDistance(100);
    r.SetCaliber(450);
    r.SetHighestRing(10);
    r.SetMinimumRing(1);
    r.SetDiameterHighestRing(5);
    r.SetHitRingGap(25);
    r.SetDiameterX(5);
    return r;
}

inline TargetDescription GoldenRing()
{
    TargetDescription t;
    t.hasRing = 1;
    t.ringRecord = GoldenRingRecord();
    return t;
}
