// The unit side of programming a setup: the few device and shooter calls the
// setup screen makes, kept in one place so the screen never reaches into a
// device's fields itself.
//
// GUI thread. Nothing here holds a device lock across a wait or a port
// operation; the upload's later steps run on the port's event thread, and
// UploadStatus only reads its flags.
#pragma once

#include "SetupProgramming.h"

#include <QString>

#include <vector>

class TDevice;
class TShooter;

namespace DeviceProgramming {

// The connected units in list order (a copy: the list may change while the
// screen waits).
std::vector<TDevice*> ConnectedDevices();
int ConnectedCount();
bool IsConnected(const TDevice* device);

// A unit whose port is closed (a negative COM number also counts): its port
// must be opened again before it can be programmed.
bool PortParked(const TDevice& device);
// Opens the port of a parked unit again at 115200 baud with DTR and RTS.
// Throws when there is no port number to open or the port does not open.
void ReopenPort(TDevice& device);

// The unit's settings blocks as it reported them.
SetupBlocks UnitSettings(const TDevice& device);

// Zeroes the unit's whole asynchronous state, stores the targets and the
// settings of work and starts the upload; target: the setup's ring and
// silhouette. The first frame goes out at once; each ack sends the next.
void StartUpload(TDevice& device, const TUploadWork& work, const TargetDescription& target);

struct TUploadStatus {
    bool done = false;
    // The unit reported an error, or nothing moved for longer than the
    // stall limit.
    bool failed = false;
    int progress = 0;  // upload steps so far
};
TUploadStatus UploadStatus(const TDevice& device, int stallMs);
// Zeroes the asynchronous state of every connected unit.
void ResetAllUploads();

void ClearZeroOffsets(TDevice& device);
// The training mode the unit measures in: 1 classic, 2 dynamic.
void SetTrainingMode(TDevice& device, int mode);

// ---- Shooters ----
// Clears the shooter and listener links of every unit (connected or parked)
// that points at shooter, so no event thread stores into it any more.
void UnlinkShooter(const TShooter* shooter);
// The unit's shooter, or null.
TShooter* LinkedShooter(const TDevice& device);
// A new shooter of the unit in the current session: serial number := the
// unit's name, its target := target. The unit is linked to it.
TShooter* AddShooterFor(TDevice& device, const TargetDescription& target);
// The shooter keeps a copy of what was sent to its unit.
void SetShooterSettings(TShooter& shooter, const SetupBlocks& blocks);

} // namespace DeviceProgramming
