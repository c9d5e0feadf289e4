// The asynchronous download of the shots a unit stored while training on its
// own: one "b" request per ack, bank by bank. The unit answers each request
// with the shot's samples and result, which the receive path handles like
// live frames, and then the ack that asks for the next one.
#include "Device.h"

#include "Globals.h"

namespace {

constexpr int BankCount = 7;

// Bank counts sit at bytes 4, 6, ..., 16 of the type-17 reply.
int BankShotCount(const std::array<uint8_t, 20>& counts, int bank)
{
    return counts[std::size_t(4 + 2 * bank)];
}

// The first bank from 'from' on that holds shots, or -1.
int NextBankWithShots(const std::array<uint8_t, 20>& counts, int from)
{
    for (int bank = from; bank < BankCount; ++bank) {
        if (BankShotCount(counts, bank) > 0)
            return bank;
    }
    return -1;
}

} // namespace

void TDevice::StartAsyncDownload()
{
    auto lock = Lock();
    const std::array<uint8_t, 20> counts = replyShotBankCounts;
    if (SumShotBankCounts(counts.data()) == 0)
        return;
    TDeviceAsyncState& s = async;
    s.downloadFinished = false;
    // A complete flag left over from an earlier download would keep the acks
    // of this one from ever reaching the step.
    s.downloadComplete = false;
    s.downloadActive = true;
    s.downloadRequestCount = 0;
    const int bank = NextBankWithShots(counts, 0);
    s.downloadBank = bank;
    s.downloadShotIndex = 0;
    s.activityTick = DeviceTickMs();
    try {
        Data().WriteFrame(BuildRequestStoredShot(bank, 0));
    } catch (const std::exception& e) {
        // Reported through the abort flag, which the download screen polls.
        DebugLog(QStringLiteral("COM%1: download not started: %2").arg(comNumber.load()).arg(QString::fromUtf8(e.what())));
        s.abort = true;
        return;
    }
    ++s.downloadRequestCount;
}

void TDevice::AsyncDownloadStep()
{
    auto lock = Lock();
    TDeviceAsyncState& s = async;
    s.activityTick = DeviceTickMs();
    if (!s.downloadActive) {
        s.abort = true;
        return;
    }
    if (s.abort)
        return;

    const std::array<uint8_t, 20>& counts = replyShotBankCounts;
    const int bank = s.downloadBank;
    const int index = s.downloadShotIndex;
    if (bank >= 0 && bank < BankCount && index + 1 < BankShotCount(counts, bank)) {
        s.downloadShotIndex = index + 1;
        Data().WriteFrame(BuildRequestStoredShot(bank, index + 1));
        ++s.downloadRequestCount;
        s.activityTick = DeviceTickMs();
        return;
    }
    const int next = NextBankWithShots(counts, bank + 1);
    if (next >= 0) {
        s.downloadBank = next;
        s.downloadShotIndex = 0;
        Data().WriteFrame(BuildRequestStoredShot(next, 0));
        ++s.downloadRequestCount;
        s.activityTick = DeviceTickMs();
        return;
    }
    s.downloadComplete = true;
    s.downloadFinished = true;
}
