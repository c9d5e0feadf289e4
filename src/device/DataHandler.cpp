#include "DataHandler.h"

#include "Device.h"
#include "Globals.h"
#include "SerialHandler.h"

#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <thread>

namespace {

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

TDataHandler::TDataHandler(TDevice* owner)
    : owner_(owner), buffer_(std::make_unique<std::array<uint8_t, Capacity>>())
{
    buffer_->fill(0);
    serial_ = std::make_unique<TSerialHandler>(this);
}

TDataHandler::~TDataHandler()
{
    // The event thread must be gone before the buffer goes.
    if (serial_)
        serial_->Close();
    serial_.reset();
}

bool TDataHandler::OpenPort(int number)
{
    const bool result = serial_->Open(number);
    comNumber_.store(number);
    dashSeen_.store(false);
    return result;
}

bool TDataHandler::OpenPortPath(const char* path, int number)
{
    const bool result = serial_->OpenPath(path);
    comNumber_.store(number);
    dashSeen_.store(false);
    return result;
}

void TDataHandler::ClosePort()
{
    comNumber_.store(0);
    serial_->Close();
}

void TDataHandler::ReopenPort()
{
    const int number = comNumber_.load();
    serial_->SetupPort();
    // The bytes of the old connection belong to no frame of the new one
    // (SetupPort has joined the old event thread).
    fill_.store(0);
    OpenPort(number);
    serial_->SetBaudRate(115200);
    serial_->SetLines(false, false);
}

bool TDataHandler::IsOpen() const
{
    return serial_ && serial_->IsOpen();
}

void TDataHandler::SetBaudAndLines(int baud, bool dtr, bool rts)
{
    if (!serial_)
        return;
    serial_->SetBaudRate(baud);
    serial_->SetLines(dtr, rts);
}

// ---- Writing -------------------------------------------------------------------

void TDataHandler::WriteFrame(const uint8_t* bytes, int length)
{
    if (writeTap)
        writeTap(bytes, length);
    serial_->Write(bytes, length);
    std::lock_guard<std::mutex> guard(lastFrameLock_);
    lastFrameLength_ = std::min(length, LastFrameSize);
    std::memcpy(lastFrame_.data(), bytes, std::size_t(lastFrameLength_));
}

QByteArray TDataHandler::LastFrame() const
{
    std::lock_guard<std::mutex> guard(lastFrameLock_);
    return QByteArray(reinterpret_cast<const char*>(lastFrame_.data()), lastFrameLength_);
}

void TDataHandler::SendModeCommand(int p1, int p2, int p3)
{
    WriteFrame(BuildModeCommand(p1, p2, p3));
}

void TDataHandler::EnterSetupMode()
{
    WriteFrame(BuildEnterSetupMode());
}

void TDataHandler::RequestStoredShot(int bank, int index)
{
    WriteFrame(BuildRequestStoredShot(bank, index));
}

void TDataHandler::ClearShotBank(int bank)
{
    WriteFrame(BuildClearShotBank(bank));
}

void TDataHandler::RequestInfo(int infoRegister)
{
    WriteFrame(BuildRequestInfo(infoRegister));
}

void TDataHandler::SendSetupBlock(int block, const uint8_t* data16, bool last)
{
    WriteFrame(BuildSetupBlock(block, data16, last));
}

void TDataHandler::RequestParameterBlock(int address)
{
    WriteFrame(BuildRequestParameterBlock(address));
}

void TDataHandler::SendRingTargetBlock(int target, int block, const uint8_t* data16, bool last)
{
    WriteFrame(BuildRingTargetBlock(target, block, data16, last));
}

void TDataHandler::RequestRingTargetBlock(int target, int blockByte)
{
    WriteFrame(BuildRequestRingTargetBlock(target, blockByte));
}

void TDataHandler::SendTextLines(const QString& text, int flags, int startLine)
{
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // A line break ends a line: one at the very end starts none.
    if (normalized.endsWith(QLatin1Char('\n')))
        normalized.chop(1);
    QStringList lines = normalized.split(QLatin1Char('\n'));
    // The display has six lines.
    while (lines.size() > 6)
        lines.removeLast();
    const int n = int(lines.size());
    if (startLine == -1)
        startLine = 3 - n / 2;
    for (int i = 0; i < n; ++i) {
        int lineFlags = flags & ~0x0B;
        if (i == 0)
            lineFlags |= 0x08;
        if (i == n - 1)
            lineFlags |= 0x03;
        WriteFrame(BuildTextLine(lineFlags, startLine + i, ToCodePage(lines[i]).left(10)));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

// ---- Receiving -------------------------------------------------------------------

void TDataHandler::OnReceive(const uint8_t* chunk, int n)
{
    if (n <= 0)
        return;
    secondsSinceWrite_.store(serial_ ? serial_->SecondsSinceWrite() : 0.0);
    // A unit that has just powered up announces itself with "-"; reported
    // once per opening, the byte itself is then scanned like any other. A
    // chunk that goes on with a frame still arriving is that frame's rest.
    if (!dashSeen_.load() && chunk[0] == 0x2D && fill_.load() == 0) {
        dashSeen_.store(true);
        DispatchFrame(chunk, 1, ReplyPowerUp);
    }
    lastByteNs_.store(NowNs());
    // Strictly less: a chunk of exactly the free room is dropped as well.
    const int fill = fill_.load();
    if (n < Capacity - fill) {
        bytesReceived_.fetch_add(uint32_t(n), std::memory_order_relaxed);
        if (largestChunk_.load(std::memory_order_relaxed) < n)
            largestChunk_.store(n, std::memory_order_relaxed);
        std::memcpy(buffer_->data() + fill, chunk, std::size_t(n));
        fill_.store(fill + n);
        textMark_.store(false);
        Consume(ScanFrames());
    } else {
        bytesDropped_.fetch_add(uint32_t(n), std::memory_order_relaxed);
    }
}

void TDataHandler::Consume(int count)
{
    const int fill = fill_.load();
    count = std::min(count, fill);
    if (count <= 0)
        return;
    std::memmove(buffer_->data(), buffer_->data() + count, std::size_t(fill - count));
    fill_.store(fill - count);
}

void TDataHandler::DropHeldBytes(int count)
{
    for (int i = 0; i < count && fill_.load() > 0; ++i) {
        const FrameInfo head = IdentifyFrame(buffer_->data(), fill_.load());
        if (head.type != ReplyNone)
            DispatchDamaged(head.type);
        bytesSkipped_.fetch_add(1, std::memory_order_relaxed);
        Consume(1);
    }
}

bool TDataHandler::DropStaleBytes(int64_t nowNs)
{
    if (fill_.load() == 0 || nowNs - lastByteNs_.load() < int64_t(SilenceMs) * 1000000)
        return false;
    while (fill_.load() > 0) {
        DropHeldBytes(1);
        Consume(ScanFrames());
    }
    return true;
}

int TDataHandler::ScanFrames()
{
    ScanCounters counters;
    const int consumed = ::ScanFrames(
        buffer_->data(), fill_.load(),
        [this](const uint8_t* frame, int length, int type) { DispatchFrame(frame, length, type); }, counters,
        [this](int type) { DispatchDamaged(type); });
    framesDispatched_.fetch_add(counters.frames, std::memory_order_relaxed);
    bytesSkipped_.fetch_add(counters.skipped, std::memory_order_relaxed);
    checksumFailures_.fetch_add(counters.checksumFailures, std::memory_order_relaxed);
    return consumed;
}

void TDataHandler::DispatchFrame(const uint8_t* frame, int length, int type)
{
    // Caught per frame: an escaping exception would leave the scanned bytes
    // in the buffer and hand the same frames on again with the next chunk.
    try {
        if (frameTap)
            frameTap(frame, length, type);
        if (owner_)
            owner_->HandleFrame(frame, length, type);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("COM%1: frame type %2: %3")
                     .arg(comNumber_.load())
                     .arg(type)
                     .arg(QString::fromUtf8(e.what())));
    } catch (...) {
        DebugLog(QStringLiteral("COM%1: frame type %2 failed").arg(comNumber_.load()).arg(type));
    }
}

void TDataHandler::DispatchDamaged(int type)
{
    try {
        if (owner_)
            owner_->OnDamagedFrame(type);
    } catch (...) {
        DebugLog(QStringLiteral("COM%1: damaged frame type %2 not handled").arg(comNumber_.load()).arg(type));
    }
}
