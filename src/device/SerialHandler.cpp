#include "SerialHandler.h"

#include "CPort.h"
#include "DataHandler.h"
#include "Globals.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <string>
#include <thread>

namespace {

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

TSerialHandler::TSerialHandler(TDataHandler* receiver) : receiver_(receiver)
{
    SetupPort();
}

TSerialHandler::~TSerialHandler()
{
    if (port_)
        port_->Close();
}

void TSerialHandler::SetupPort()
{
    // The old component's event thread must be gone before the new one
    // exists: Close joins it.
    if (port_)
        port_->Close();
    auto port = std::make_unique<TComPort>();
    port->SetEventThreadPriority(tpNormal);
    port->SetConnected(false);
    port->SetBaudRate(StrToBaudRate("9600"));
    port->Buffer().SetInputSize(InputBufferSize);
    // The receive handler runs right on the event thread; nothing waits on
    // the GUI thread.
    port->SetSyncMethod(smNone);
    port->SetDataBits(dbEight);
    port->SetStopBits(sbOneStopBit);
    port->Parity().SetBits(prNone);
    port->SetDiscardNull(false);
    port->OnRxChar = [this](TCustomComPort& sender, int count) { OnRxChar(sender, count); };
    std::lock_guard<std::mutex> guard(writeLock_);
    port_ = std::move(port);
}

bool TSerialHandler::Open(int number)
{
    port_->SetPort("COM" + std::to_string(number));
    port_->SetConnected(true);
    return true;
}

bool TSerialHandler::OpenPath(const char* path)
{
    port_->SetPort(path);
    port_->SetConnected(true);
    return true;
}

void TSerialHandler::Close()
{
    // Not under the write lock: closing joins the event thread, which may be
    // waiting for that lock.
    if (port_)
        port_->Close();
}

bool TSerialHandler::IsOpen() const
{
    return port_ && port_->Connected();
}

void TSerialHandler::Write(const uint8_t* bytes, int length)
{
    std::lock_guard<std::mutex> guard(writeLock_);
    if (!port_ || !port_->Connected())
        throw Exception("Write to closed port");
    port_->Write(bytes, length);
    lastWriteNs_.store(NowNs(), std::memory_order_relaxed);
}

void TSerialHandler::SetBaudRate(int baud)
{
    port_->SetBaudRate(StrToBaudRate(std::to_string(baud)));
}

void TSerialHandler::SetLines(bool dtr, bool rts)
{
    port_->SetDTR(dtr);
    port_->SetRTS(rts);
}

void TSerialHandler::OnRxChar(TCustomComPort& sender, int count)
{
    const int64_t now = NowNs();
    secondsSinceWrite_.store(double(now - lastWriteNs_.load(std::memory_order_relaxed)) * 1e-9,
                             std::memory_order_relaxed);
    for (;;) {
        if (!ReadWaiting(sender, count))
            return;
        // Bytes held back for the rest of a frame: the rest normally follows
        // within a few ms, on a slow link after a long pause. No event comes
        // if it never does, so wait here and let the data handler drop what
        // went stale; looked at often at first, then every PollSlowMs.
        if (!receiver_->HasPartialFrame() || sender.Closing())
            return;
        const int64_t waited = NowNs() - receiver_->LastByteNs();
        std::this_thread::sleep_for(waited < int64_t(PollFastForMs) * 1000000 ? std::chrono::milliseconds(1)
                                                                              : std::chrono::milliseconds(PollSlowMs));
        try {
            count = sender.InputCount();
        } catch (...) {
            return;
        }
        if (count <= 0)
            receiver_->DropStaleBytes(NowNs());
    }
}

bool TSerialHandler::ReadWaiting(TCustomComPort& sender, int count)
{
    uint8_t chunk[ChunkSize];
    int failures = 0;
    while (count > 0) {
        try {
            const int got = sender.Read(chunk, std::min(count, ChunkSize));
            if (got <= 0)
                return false;
            receiver_->OnReceive(chunk, got);
            failures = 0;
            count = sender.InputCount();
        } catch (const std::exception& e) {
            // Nothing may end the event thread: log and take the next chunk,
            // but do not spin on a port that keeps failing.
            DebugLog(QStringLiteral("COM%1: receive failed: %2")
                         .arg(receiver_->ComNumber())
                         .arg(QString::fromUtf8(e.what())));
            if (++failures > 1)
                return false;
            try {
                count = sender.InputCount();
            } catch (...) {
                return false;
            }
        } catch (...) {
            DebugLog(QStringLiteral("COM%1: receive failed").arg(receiver_->ComNumber()));
            return false;
        }
    }
    return true;
}
