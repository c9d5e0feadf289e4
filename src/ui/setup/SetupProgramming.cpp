#include "SetupProgramming.h"

#include "Globals.h"

namespace {

constexpr int NoTargetNumber = 255;
constexpr int ProgressBase = 14;
constexpr int ProgressRing = 4;
constexpr int ProgressSilhouette = 66;

int ModeBlockIndex(const TTargetSetup& setup)
{
    return IsDynamicSetup(setup) ? SetupBlocks::DynamicBlock : SetupBlocks::ClassicBlock;
}

bool IsSlot(int number) { return number >= 0 && number < DeviceSetup::SlotCount; }

// The live road: the setup's targets go to slot 0, only they are enabled.
void UseSlotZero(ModeBlock& mode, const TargetDescription& target, TUploadWork& work)
{
    mode.SetRingTargetNumber(NoTargetNumber);
    mode.SetSilhouetteTargetNumber(NoTargetNumber);
    mode.SetRingTargetEnabled(false);
    mode.SetSilhouetteEnabled(false);
    if (target.hasRing) {
        mode.SetRingTargetEnabled(true);
        mode.SetRingTargetNumber(0);
        work.ringSlot = 0;
    }
    if (target.hasSilhouette) {
        mode.SetSilhouetteEnabled(true);
        mode.SetSilhouetteTargetNumber(0);
        work.silhouetteSlot = 0;
    }
}

// The stand-alone road: the setup's own numbers, its targets enabled.
void UseOwnSlots(ModeBlock& mode, const TargetDescription& target, TUploadWork& work)
{
    if (target.hasRing) {
        mode.SetRingTargetEnabled(true);
        work.ringSlot = mode.RingTargetNumber();
    }
    if (target.hasSilhouette) {
        mode.SetSilhouetteEnabled(true);
        work.silhouetteSlot = mode.SilhouetteTargetNumber();
    }
}

} // namespace

int DeviceMountingCode(int mounting)
{
    switch (mounting) {
    case 1: return 1;
    case 2: return 3;
    case 3: return 2;
    default: return 0;
    }
}

bool IsDynamicSetup(const TTargetSetup& setup) { return !setup.target.hasRing; }

int SessionModeForSetup(const TTargetSetup& setup) { return IsDynamicSetup(setup) ? 2 : 1; }

bool TargetNumbersUsable(const TTargetSetup& setup, TProgrammingKind kind)
{
    if (kind == TProgrammingKind::Start)
        return true;
    const ModeBlock mode = setup.blocks.GetModeBlock(ModeBlockIndex(setup));
    if (setup.target.hasRing && !IsSlot(mode.RingTargetNumber()))
        return false;
    return !setup.target.hasSilhouette || IsSlot(mode.SilhouetteTargetNumber());
}

TUploadWork ComposeUpload(const SetupBlocks& unitBlocks, const TTargetSetup& setup, int mounting,
                          TProgrammingKind kind)
{
    if (!TargetNumbersUsable(setup, kind))
        throw Exception("Bad target number");
    TUploadWork work;
    work.settings = unitBlocks;
    SetupBlocks& out = work.settings;
    const int modeIndex = ModeBlockIndex(setup);
    out.SetFunctionMode(IsDynamicSetup(setup) ? 2 : 1);
    out.SetDeviceMounting(DeviceMountingCode(mounting));
    ModeBlock mode = setup.blocks.GetModeBlock(modeIndex);
    out.SetArrowsUnlocked(setup.blocks.ArrowsUnlocked());

    if (kind == TProgrammingKind::Start)
        UseSlotZero(mode, setup.target, work);
    else
        UseOwnSlots(mode, setup.target, work);
    out.SetModeBlock(modeIndex, mode);

    work.progressMaximum = ProgressBase + (work.ringSlot >= 0 ? ProgressRing : 0)
        + (work.silhouetteSlot >= 0 ? ProgressSilhouette : 0);
    return work;
}

bool SortSetupsByRing(TSetupHandler& setups, bool ringFirst)
{
    // A stable bubble: lists hold a few dozen setups at most.
    bool changed = false;
    int i = 1;
    while (i < setups.Count()) {
        const bool here = setups.Get(i)->target.hasRing != 0;
        const bool before = setups.Get(i - 1)->target.hasRing != 0;
        if (here == ringFirst && before != ringFirst) {
            setups.Swap(i, i - 1);
            changed = true;
            i = 1;
        } else {
            ++i;
        }
    }
    return changed;
}
