// The viewer's only reads and writes of a device's and a shooter's shared
// state, in one place: the device's copy-out accessors (taken under its
// lock) and its atomic flags. The viewer never keeps a pointer into what the
// event thread writes. GUI thread.
#pragma once

#include "Device.h"
#include "Setupdata.h"
#include "Shotdata.h"

#include <QString>

#include <memory>

namespace ViewerDevice {

// The latest live sample with its status, tilt and cant, copied at once.
inline TLiveSnapshot LiveSnapshot(const TDevice& device) { return device.LiveSnapshot(); }

inline bool Measuring(const TDevice& device) { return device.Measuring(); }
inline void SetMeasuring(TDevice& device, bool on) { device.SetMeasuring(on); }
inline bool Zeroing(const TDevice& device) { return device.Zeroing(); }
inline void SetZeroing(TDevice& device, bool on) { device.SetZeroing(on); }
inline void SetLiveStarted(TDevice& device) { device.SetLiveStarted(true); }
inline bool SampleStream(const TDevice& device) { return device.SampleStream(); }
inline void SetSampleStream(TDevice& device, bool on) { device.SetSampleStream(on); }
inline int ComNumber(const TDevice& device) { return device.ComNumber(); }
inline bool Bluetooth(const TDevice& device) { return device.Bluetooth(); }

// Closes the unit's port for the viewer's reconnect. The unit keeps its port
// number: a port scan while the port is closed must see the unit on its
// port, not as one whose port went (it would park the unit and hand the port
// to a new device).
inline void ClosePortForReconnect(TDevice& device)
{
    const int com = device.ComNumber();
    device.ClosePort();
    device.SetComNumber(com);
}

inline DeviceSetup TargetTables(const TDevice& device) { return device.TargetTables(); }

// Target slot 0 of the device's tables := target (records and presence).
inline void SetSlotZero(TDevice& device, const TargetDescription& target)
{
    DeviceSetup tables = device.TargetTables();
    tables.ringTargets[0] = target.ringRecord;
    tables.silhouetteTargets[0] = target.silhouetteRecord;
    tables.silhouetteMatrices[0] = target.silhouetteMatrix;
    tables.ringDefined[0] = target.hasRing;
    tables.silhouetteDefined[0] = target.hasSilhouette;
    device.SetTargetTables(tables);
}

// The target the device's shot intake scores on, and the shooter's copy of
// it that the intake reads.
inline void SetTarget(TDevice& device, const TargetDescription& target)
{
    device.SetCurrentTarget(target);
    device.SetShooterTarget(target);
}

// The offsets SaveZero kept become the current ones again.
inline void RestorePreviousZero(TDevice& device) { device.RestorePreviousZero(); }
// Offsets := 0, keeping the ones SaveZero kept.
inline void ZeroOffsetsForZeroing(TDevice& device) { device.SetZeroOffsets(0.0, 0.0); }

// ---- The shooter's identity ----
inline QString SerialNumber(const TShooter& shooter) { return shooter.SerialNumber(); }

// A copy of the shooter with its shots up to now, for a one-shooter file.
std::unique_ptr<TShooter> CopyForSaving(const TShooter& shooter, int& shotsCopied);

} // namespace ViewerDevice
