// The protocol layer of one port: collects the received bytes in a fixed
// 4096-byte buffer, cuts them into frames and hands each to the device; builds
// and writes the command frames.
//
// The receive buffer belongs to the port's event thread (OnReceive,
// DropStaleBytes); other threads only read the atomic counters.
//
// A frame start that is not yet complete waits for the rest of its frame,
// however slowly it comes. The bytes behind it are its rest as far as its
// length reaches, whatever they look like: a frame's data may hold the shape
// of a shorter frame, so nothing is ever taken from inside it. It goes once
// its length is buffered and the checksum fails, once its buffered fields
// show it is no frame (a shot result with fields no unit sends), or after
// SilenceMs without a byte.
#pragma once

#include "DeviceFrames.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class TDevice;
class TSerialHandler;

class TDataHandler {
public:
    static constexpr int Capacity = 4096;
    static constexpr int LastFrameSize = 20;
    // Bytes held back for the rest of their frame wait this long for their
    // next byte before they count as no frame start after all. Slow links
    // hold a frame back for long: Bluetooth serial links, USB adapters with a
    // raised latency timer (up to 255 ms), serial bridges; a frame that
    // pauses up to 2 s is still a frame. A stray frame start in front of
    // real frames holds them back as long, unless they fill its length
    // first (its checksum then tells).
    static constexpr int SilenceMs = 2500;

    // owner may be null (the frames then go to the frame tap only).
    explicit TDataHandler(TDevice* owner);
    ~TDataHandler();
    TDataHandler(const TDataHandler&) = delete;
    TDataHandler& operator=(const TDataHandler&) = delete;

    // ---- Port ----
    bool OpenPort(int number);
    // An absolute device path instead of a COM number; the COM number is
    // still remembered (0 when none is known) for ReopenPort.
    bool OpenPortPath(const char* path, int number = 0);
    void ClosePort();
    // After a unit's port came back: a fresh component on the remembered COM
    // number, 115200 baud, DTR and RTS dropped.
    void ReopenPort();
    bool IsOpen() const;
    void SetBaudAndLines(int baud, bool dtr, bool rts);
    int ComNumber() const { return comNumber_.load(); }

    // ---- Writing (GUI or event thread) ----
    void WriteFrame(const uint8_t* bytes, int length);
    void WriteFrame(const Frame& frame) { WriteFrame(frame.data(), frame.size()); }
    // Copy of the last frame written (up to 20 bytes).
    QByteArray LastFrame() const;

    void SendModeCommand(int p1, int p2, int p3);
    void EnterSetupMode();
    void RequestStoredShot(int bank, int index);
    void ClearShotBank(int bank);
    void RequestInfo(int infoRegister);
    void SendSetupBlock(int block, const uint8_t* data16, bool last);
    void RequestParameterBlock(int address);
    void SendRingTargetBlock(int target, int block, const uint8_t* data16, bool last);
    void RequestRingTargetBlock(int target, int blockByte);
    // Up to six display lines, 200 ms apart; start line -1 centres them.
    void SendTextLines(const QString& text, int flags, int startLine);

    // ---- Receiving (event thread) ----
    void OnReceive(const uint8_t* chunk, int n);
    int ScanFrames();
    // Bytes wait in the buffer for the rest of their frame.
    bool HasPartialFrame() const { return fill_.load() > 0; }
    // When the bytes held back have seen no new byte for SilenceMs by nowNs
    // (steady clock): drops the first byte and scans again, until nothing is
    // held back. A known frame cut short this way is reported damaged. True
    // when anything was dropped.
    bool DropStaleBytes(int64_t nowNs);
    // Steady-clock time (ns) of the latest chunk.
    int64_t LastByteNs() const { return lastByteNs_.load(); }
    // Hands one frame on; an exception from its handling is logged and the
    // scan goes on with the next frame.
    void DispatchFrame(const uint8_t* frame, int length, int type);
    // A wholly buffered frame of that type failed its checksum, or was cut
    // short (DropStaleBytes): the device learns of it.
    void DispatchDamaged(int type);

    // Diagnostic tap: sees every dispatched frame (and the "-" report, with
    // length 0) before the device does. Set before the port opens.
    std::function<void(const uint8_t* frame, int length, int type)> frameTap;
    // Diagnostic tap: sees every frame about to be written, on the writing
    // thread, before the write. Set before the port opens.
    std::function<void(const uint8_t* frame, int length)> writeTap;

    // ---- Counters and state (diagnostic) ----
    uint32_t BytesReceived() const { return bytesReceived_.load(); }
    uint32_t FramesDispatched() const { return framesDispatched_.load(); }
    uint32_t BytesSkipped() const { return bytesSkipped_.load(); }
    uint32_t ChecksumFailures() const { return checksumFailures_.load(); }
    uint32_t BytesDropped() const { return bytesDropped_.load(); }
    int LargestChunk() const { return largestChunk_.load(); }
    int FillCount() const { return fill_.load(); }
    bool DashSeen() const { return dashSeen_.load(); }
    bool TextMark() const { return textMark_.load(); }
    void SetTextMark(bool on) { textMark_.store(on); }
    double SecondsSinceWrite() const { return secondsSinceWrite_.load(); }

private:
    // Drops count bytes from the front of the buffer.
    void Consume(int count);
    // Drops count bytes from the front that went stale; a known frame start
    // among them is reported damaged (a result cut short may have been a
    // shot).
    void DropHeldBytes(int count);

    std::unique_ptr<TSerialHandler> serial_;
    TDevice* owner_;
    std::unique_ptr<std::array<uint8_t, Capacity>> buffer_;
    std::atomic<int> fill_ {0};
    std::atomic<int64_t> lastByteNs_ {0}; // steady clock of the latest chunk
    mutable std::mutex lastFrameLock_;
    std::array<uint8_t, LastFrameSize> lastFrame_ {};
    int lastFrameLength_ = 0;
    std::atomic<int> comNumber_ {0};
    std::atomic<bool> dashSeen_ {false};
    std::atomic<uint32_t> bytesReceived_ {0};
    std::atomic<uint32_t> framesDispatched_ {0};
    std::atomic<uint32_t> bytesSkipped_ {0};
    std::atomic<uint32_t> checksumFailures_ {0};
    std::atomic<uint32_t> bytesDropped_ {0};
    std::atomic<int> largestChunk_ {0};
    std::atomic<bool> textMark_ {false};
    std::atomic<double> secondsSinceWrite_ {0};
};
