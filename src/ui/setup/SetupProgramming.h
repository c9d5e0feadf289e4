// What programming a training setup writes into a unit, worked out without
// touching a unit: the four settings blocks, the target slots the ring and
// silhouette go to, and the length of the upload for the progress bar. Also
// the ordering of the setup list by ring targets.
//
// Pure functions on model records; any thread.
#pragma once

#include "Setupdata.h"

enum class TProgrammingKind {
    Setup = 1,  // stand-alone training: the setup's own target numbers
    Start = 2,  // live training: the targets go to slot 0
};

// Gun mountings as the operator picks them (0 top, 1 right, 2 below, 3 left)
// and the unit's own code for each (0, 1, 3, 2). Other values count as top.
int DeviceMountingCode(int mounting);

// A setup without a ring target trains in dynamic mode.
bool IsDynamicSetup(const TTargetSetup& setup);
// SessionMode of a training with this setup: 1 with a ring target, else 2.
int SessionModeForSetup(const TTargetSetup& setup);

// What one unit receives.
struct TUploadWork {
    SetupBlocks settings {};  // all four blocks, sent as they stand
    int ringSlot = -1;        // ring table slot for the setup's ring; -1: none sent
    int silhouetteSlot = -1;  // silhouette table slot; -1: none sent
    int progressMaximum = 14; // upload steps: 14, + 4 with a ring, + 66 with a silhouette
};

// The stand-alone road takes the target slots from the setup's mode block;
// only 0..15 exist. False when a target the setup uses names another slot.
// The live road always uses slot 0, so any setup passes.
bool TargetNumbersUsable(const TTargetSetup& setup, TProgrammingKind kind);

// unitBlocks: the unit's settings blocks as it reported them; what the setup
// does not decide (the other mode block, block 3, the rest of block 0) is
// sent back unchanged. mounting: 0..3 as above. Throws Exception "Bad target
// number" where TargetNumbersUsable is false.
TUploadWork ComposeUpload(const SetupBlocks& unitBlocks, const TTargetSetup& setup, int mounting,
                          TProgrammingKind kind);

// Moves the setups whose has-ring flag equals ringFirst before the others,
// each group keeping its order. True when the order changed.
bool SortSetupsByRing(TSetupHandler& setups, bool ringFirst);
