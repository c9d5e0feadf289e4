// The viewer's only reads and writes of a device's and a shooter's shared
// state, in one place. Everything the event thread writes is copied out
// under the device's lock (or read from its atomics); the viewer never keeps
// a pointer into it. GUI thread.
#pragma once

#include "Device.h"
#include "DeviceRecords.h"
#include "Setupdata.h"
#include "Shotdata.h"
#include "Zeroing.h"

#include <QString>

#include <memory>

namespace ViewerDevice {

// What the draw tick needs of the latest live sample, copied at once.
struct TLive {
    TraceSample sample {};
    int status = 0; // the sample's failure flags: 0 = a valid aim
    int tilt = 0;   // degrees
    int cant = 0;   // degrees
};

inline TLive LiveSnapshot(const TDevice& device)
{
    TLive live;
    {
        auto lock = device.Lock();
        live.sample = device.lastLiveSample;
    }
    live.status = live.sample.Failures();
    live.tilt = live.sample.Tilt();
    live.cant = live.sample.Rotation();
    return live;
}

inline bool Measuring(const TDevice& device) { return device.measuring.load(); }
inline void SetMeasuring(TDevice& device, bool on) { device.measuring.store(on); }
inline bool Zeroing(const TDevice& device) { return device.zeroing.load(); }
inline void SetZeroing(TDevice& device, bool on) { device.zeroing.store(on); }
inline void SetLiveStarted(TDevice& device) { device.liveStarted.store(true); }
inline bool SampleStream(const TDevice& device) { return device.sampleStream.load(); }
inline void SetSampleStream(TDevice& device, bool on) { device.sampleStream.store(on); }
inline int ComNumber(const TDevice& device) { return device.comNumber.load(); }
inline bool Bluetooth(const TDevice& device) { return device.bluetooth.load(); }

inline DeviceSetup TargetTables(const TDevice& device)
{
    auto lock = device.Lock();
    return device.targetTables;
}

// Target slot 0 of the device's tables := target (records and presence).
inline void SetSlotZero(TDevice& device, const TargetDescription& target)
{
    auto lock = device.Lock();
    device.targetTables.ringTargets[0] = target.ringRecord;
    device.targetTables.silhouetteTargets[0] = target.silhouetteRecord;
    device.targetTables.silhouetteMatrices[0] = target.silhouetteMatrix;
    device.targetTables.ringDefined[0] = target.hasRing;
    device.targetTables.silhouetteDefined[0] = target.hasSilhouette;
}

// The offsets SaveZero kept become the current ones again.
void RestorePreviousZero(TDevice& device);
// Offsets := 0, keeping the ones SaveZero kept.
void ZeroOffsetsForZeroing(TDevice& device);

// ---- The shooter's identity ----
inline QString SerialNumber(const TShooter& shooter) { return shooter.serialNumber; }

// A copy of the shooter with its shots up to now, for a one-shooter file.
std::unique_ptr<TShooter> CopyForSaving(const TShooter& shooter, int& shotsCopied);

} // namespace ViewerDevice
