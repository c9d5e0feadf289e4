// The thin wrapper around one serial-port component: opening "COMn", line
// settings, serialised writes, and the receive event that hands the arriving
// bytes up to the data handler in chunks of at most 256.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class TComPort;
class TCustomComPort;
class TDataHandler;

class TSerialHandler {
public:
    static constexpr int ChunkSize = 256;
    static constexpr int InputBufferSize = 4096;
    // While a frame waits for its rest: the input is looked at every 1 ms
    // for this long after the latest byte, then every PollSlowMs.
    static constexpr int PollFastForMs = 50;
    static constexpr int PollSlowMs = 5;

    explicit TSerialHandler(TDataHandler* receiver);
    // Disconnects and deletes the component.
    ~TSerialHandler();
    TSerialHandler(const TSerialHandler&) = delete;
    TSerialHandler& operator=(const TSerialHandler&) = delete;

    // Creates a fresh component (closed, 9600 baud, receive handler set),
    // replacing and closing any previous one.
    void SetupPort();
    // Opens "COM<number>". Errors of the component pass to the caller.
    bool Open(int number);
    // Opens a device path directly (absolute path), for tests and tools.
    bool OpenPath(const char* path);
    void Close();
    bool IsOpen() const;
    // Throws "Write to closed port" unless connected. One write at a time.
    void Write(const uint8_t* bytes, int length);
    void SetBaudRate(int baud);
    void SetLines(bool dtr, bool rts);

    // Seconds from the last write to the latest receive event.
    double SecondsSinceWrite() const { return secondsSinceWrite_.load(std::memory_order_relaxed); }

    // The receive event, on the port's event thread. Exceptions end the
    // chunk they came from and are logged; the next chunk goes on. Returns
    // once no byte is held back for the rest of a frame, or a close is under
    // way: bytes that start a frame and see no more for
    // TDataHandler::SilenceMs are dropped here.
    void OnRxChar(TCustomComPort& sender, int count);

private:
    // Reads and hands on what is waiting; false when the port failed.
    bool ReadWaiting(TCustomComPort& sender, int count);

    TDataHandler* receiver_;
    std::unique_ptr<TComPort> port_;
    mutable std::mutex writeLock_;
    std::atomic<int64_t> lastWriteNs_ {0};
    std::atomic<double> secondsSinceWrite_ {0};
};
