// Cuts the text a port receives into packets: by a start string, a stop
// string, a fixed size or the caller's own start/stop hooks. It follows the
// port through a link of its own (on the port's event thread with smNone).
#pragma once

#include "CPort.h"

#include <functional>
#include <string>

class TComDataPacket;

using TComPacketEvent = std::function<void(TComDataPacket& sender, const std::string& text)>;
// pos: in, -1; out, the index where the packet starts (start hook) or the
// length of the packet from the buffer's start (stop hook); -1 = not found.
using TComCustomEvent = std::function<void(TComDataPacket& sender, const std::string& text, int& pos)>;

class TComDataPacket {
public:
    TComDataPacket();
    ~TComDataPacket();
    TComDataPacket(const TComDataPacket&) = delete;
    TComDataPacket& operator=(const TComDataPacket&) = delete;

    TCustomComPort* ComPort() const { return FComPort; }
    // Registers the packet's link with the port (and unregisters it from the
    // previous one); null detaches. A port destroyed while linked detaches
    // the packet itself (ComPort() reads nullptr then).
    void SetComPort(TCustomComPort* port);

    const std::string& StartString() const { return FStartString; }
    void SetStartString(const std::string& value);
    const std::string& StopString() const { return FStopString; }
    void SetStopString(const std::string& value);
    // Packet length counted from the buffer's start (start string included); 0 = none.
    int Size() const { return FSize; }
    void SetSize(int value);
    bool CaseInsensitive() const { return FCaseInsensitive; }
    void SetCaseInsensitive(bool value);
    bool IncludeStrings() const { return FIncludeStrings; }
    void SetIncludeStrings(bool value);
    int MaxBufferSize() const { return FMaxBufferSize; }
    void SetMaxBufferSize(int value);

    TComPacketEvent OnPacket;
    TComPacketEvent OnDiscard;
    TComCustomEvent OnCustomStart;
    TComCustomEvent OnCustomStop;

    // Feeds received bytes; the link calls this.
    void AddData(const std::string& text);
    // Drops what is buffered (nothing is reported).
    void ResetBuffer();

private:
    int FindStart();
    int FindStop();
    void TakePacket(int length);
    void Discard(int length);
    std::string Fold(const std::string& text) const;

    TCustomComPort* FComPort = nullptr;
    TComLink FLink;
    std::string FBuffer;
    bool FInPacket = false;
    std::string FStartString;
    std::string FStopString;
    int FSize = 0;
    bool FCaseInsensitive = false;
    bool FIncludeStrings = false;
    int FMaxBufferSize = 1024;
};
