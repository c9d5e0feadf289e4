// The asynchronous download of the shots a unit stored while training on its
// own: one "b" request per ack, bank by bank. The unit answers each request
// with the shot's samples and result, which the receive path handles like
// live frames, and then the ack that asks for the next one.
#include "Device.h"

#include "Globals.h"

namespace {

constexpr int BankCount = TDevice::BankCount;

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
    {
        auto lock = Lock();
        BeginDownload();
    }
    try {
        FlushOutbox();
    } catch (const std::exception& e) {
        // Reported through the abort flag, which the download screen polls.
        DebugLog(QStringLiteral("COM%1: download not started: %2").arg(comNumber_.load()).arg(QString::fromUtf8(e.what())));
        async_.abort = true;
    }
}

void TDevice::BeginDownload()
{
    const std::array<uint8_t, 20> counts = replyShotBankCounts_;
    const int total = SumShotBankCounts(counts.data());
    if (total == 0)
        return;
    TDeviceAsyncState& s = async_;
    downloadCounts_ = counts;
    downloadReceived_ = 0;
    downloadMissing_.clear();
    resultForRequest_ = false;
    requestRetried_ = false;
    // Nothing left from before belongs to the stored shots: an error report
    // of the identification, samples a unit left measuring streamed, the
    // recoil drop and the live conversion of a training.
    s.abort = false;
    liveStarted_ = false;
    ClearTrace();
    dropCount_ = 0;
    flaggedRun_ = 0;
    aimingTime_ = 0;
    numberedThisRun_ = false;
    s.downloadFinished = false;
    // A complete flag left over from an earlier download would keep the acks
    // of this one from ever reaching the step.
    s.downloadComplete = false;
    s.downloadActive = true;
    s.downloadRequestCount = 0;
    s.downloadHandled = false;
    RequestStoredShot(NextBankWithShots(counts, 0), 0);
}

void TDevice::RequestStoredShot(int bank, int index)
{
    async_.downloadBank = bank;
    async_.downloadShotIndex = index;
    async_.activityTick = DeviceTickMs();
    Send(BuildRequestStoredShot(bank, index));
    ++async_.downloadRequestCount;
}

void TDevice::AsyncDownloadStep()
{
    TDeviceAsyncState& s = async_;
    s.activityTick = DeviceTickMs();
    if (!s.downloadActive) {
        s.abort = true;
        return;
    }
    if (s.abort)
        return;

    const std::array<uint8_t, 20>& counts = downloadCounts_;
    const int bank = s.downloadBank;
    const int index = s.downloadShotIndex;
    // The unit answers a request with the shot's samples, its result and
    // then this ack. Without a result the shot was lost on the line: its
    // samples go, and it is asked for once more.
    if (!resultForRequest_) {
        ClearTrace();
        if (!requestRetried_) {
            requestRetried_ = true;
            DebugLog(QStringLiteral("COM%1: stored shot %2/%3 came without result; asked again")
                         .arg(comNumber_.load()).arg(bank).arg(index));
            RequestStoredShot(bank, index);
            return;
        }
        DebugLog(QStringLiteral("COM%1: stored shot %2/%3 missing").arg(comNumber_.load()).arg(bank).arg(index));
        downloadMissing_.push_back({bank, index});
    }
    resultForRequest_ = false;
    requestRetried_ = false;
    if (bank >= 0 && bank < BankCount && index + 1 < BankShotCount(counts, bank)) {
        RequestStoredShot(bank, index + 1);
        return;
    }
    const int next = NextBankWithShots(counts, bank + 1);
    if (next >= 0) {
        RequestStoredShot(next, 0);
        return;
    }
    s.downloadComplete = true;
    s.downloadFinished = true;
}

TDownloadProgress TDevice::DownloadProgress() const
{
    auto lock = Lock();
    TDownloadProgress progress;
    progress.announced = SumShotBankCounts(downloadCounts_.data());
    progress.received = downloadReceived_;
    progress.missing = downloadMissing_;
    return progress;
}

void TDevice::MarkDownloadHandled()
{
    auto lock = Lock();
    async_.downloadHandled = true;
    async_.downloadActive = false;
    async_.downloadComplete = false;
}
