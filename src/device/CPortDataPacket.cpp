#include "CPortDataPacket.h"

#include <algorithm>

TComDataPacket::TComDataPacket()
{
    FLink.OnRxBuf = [this](TCustomComPort&, const void* buffer, int count) {
        if (count > 0)
            AddData(std::string(static_cast<const char*>(buffer), std::size_t(count)));
    };
    FLink.OnConn = [this](TCustomComPort&, bool) { ResetBuffer(); };
    // A port destroyed first has dropped the link: nothing to unregister later.
    FLink.OnRemove = [this](TCustomComPort&) { FComPort = nullptr; };
}

TComDataPacket::~TComDataPacket()
{
    try {
        SetComPort(nullptr);
    } catch (...) {
        // The link was not registered; nothing to undo.
    }
}

void TComDataPacket::SetComPort(TCustomComPort* port)
{
    if (port == FComPort)
        return;
    if (FComPort) {
        TCustomComPort* old = FComPort;
        FComPort = nullptr;
        old->UnRegisterLink(&FLink);
    }
    if (port) {
        port->RegisterLink(&FLink);
        FComPort = port;
    }
}

void TComDataPacket::SetStartString(const std::string& value) { FStartString = value; ResetBuffer(); }
void TComDataPacket::SetStopString(const std::string& value) { FStopString = value; ResetBuffer(); }
void TComDataPacket::SetSize(int value) { FSize = std::max(value, 0); ResetBuffer(); }
void TComDataPacket::SetCaseInsensitive(bool value) { FCaseInsensitive = value; ResetBuffer(); }
void TComDataPacket::SetIncludeStrings(bool value) { FIncludeStrings = value; ResetBuffer(); }
void TComDataPacket::SetMaxBufferSize(int value) { FMaxBufferSize = std::max(value, 0); }

void TComDataPacket::ResetBuffer()
{
    FBuffer.clear();
    FInPacket = false;
}

std::string TComDataPacket::Fold(const std::string& text) const
{
    return FCaseInsensitive ? ComUpperCase(text) : text;
}

void TComDataPacket::Discard(int length)
{
    if (length <= 0)
        return;
    const std::string skipped = FBuffer.substr(0, std::size_t(length));
    FBuffer.erase(0, std::size_t(length));
    if (OnDiscard)
        OnDiscard(*this, skipped);
}

// Index of the packet's start in the buffer, -1 when not (yet) there.
int TComDataPacket::FindStart()
{
    if (OnCustomStart) {
        int pos = -1;
        OnCustomStart(*this, FBuffer, pos);
        return pos >= 0 && std::size_t(pos) <= FBuffer.size() ? pos : -1;
    }
    if (FStartString.empty())
        return 0;
    const auto pos = Fold(FBuffer).find(Fold(FStartString));
    return pos == std::string::npos ? -1 : int(pos);
}

// Length of the packet at the buffer's start, -1 when not complete yet.
int TComDataPacket::FindStop()
{
    int end = -1;
    auto earliest = [&end](int candidate) {
        if (candidate >= 0 && (end < 0 || candidate < end))
            end = candidate;
    };
    if (OnCustomStop) {
        int pos = -1;
        OnCustomStop(*this, FBuffer, pos);
        // An empty packet would never consume anything.
        if (pos > 0 && std::size_t(pos) <= FBuffer.size())
            earliest(pos);
    }
    if (!FStopString.empty()) {
        // The stop string is searched behind the start string, which may
        // itself contain it.
        const std::size_t from = FStartString.empty() || OnCustomStart ? 0 : FStartString.size();
        const auto pos = Fold(FBuffer).find(Fold(FStopString), from);
        if (pos != std::string::npos)
            earliest(int(pos + FStopString.size()));
    }
    if (FSize > 0 && FBuffer.size() >= std::size_t(FSize))
        earliest(FSize);
    if (!OnCustomStop && FStopString.empty() && FSize <= 0 && !FBuffer.empty())
        earliest(int(FBuffer.size())); // no stop condition: everything received is one packet
    return end;
}

void TComDataPacket::TakePacket(int length)
{
    std::string packet = FBuffer.substr(0, std::size_t(length));
    FBuffer.erase(0, std::size_t(length));
    FInPacket = false;
    if (!FIncludeStrings) {
        if (!FStartString.empty() && Fold(packet.substr(0, FStartString.size())) == Fold(FStartString))
            packet.erase(0, FStartString.size());
        if (!FStopString.empty() && packet.size() >= FStopString.size()
            && Fold(packet.substr(packet.size() - FStopString.size())) == Fold(FStopString))
            packet.erase(packet.size() - FStopString.size());
    }
    if (OnPacket)
        OnPacket(*this, packet);
}

void TComDataPacket::AddData(const std::string& text)
{
    FBuffer += text;
    while (!FBuffer.empty()) {
        if (!FInPacket) {
            const int start = FindStart();
            if (start < 0) {
                // Keep a tail that may be the beginning of a start string.
                const std::size_t keep = FStartString.empty() || OnCustomStart
                    ? 0 : std::min(FBuffer.size(), FStartString.size() - 1);
                Discard(int(FBuffer.size() - keep));
                break;
            }
            Discard(start);
            FInPacket = true;
        }
        const int length = FindStop();
        if (length < 0)
            break;
        TakePacket(length);
    }
    if (FMaxBufferSize > 0 && FBuffer.size() > std::size_t(FMaxBufferSize)) {
        FInPacket = false;
        Discard(int(FBuffer.size()));
    }
}
