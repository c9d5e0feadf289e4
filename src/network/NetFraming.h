// Cutting messages out of one connection's byte stream.
//
// Messages travel without length prefix or terminator: a message runs from
// the start marker of its root ("<TRAXELMessage") to the ">" that closes the
// end marker ("</TRAXELMessage"). Both markers are ASCII, so the stream is
// cut as raw bytes and only whole messages are decoded from the 8-bit code
// page afterwards.
//
// Bytes before a start marker are dropped (the XML declaration, a "PING");
// an end marker without a start marker before it is dropped with everything
// up to its ">" and counted. Without any marker only the last few bytes are
// kept, in case a marker is cut in two. A buffer never grows past its cap:
// a message that does not fit is dropped whole and reported as an overflow.
//
// Time is linear in the bytes fed: a half message is not scanned again from
// its start by every later read. One framer per connection; not thread-safe.
#pragma once

#include <QByteArray>

#include <vector>

class TMessageFramer {
public:
    static constexpr qsizetype DefaultCap = qsizetype(1) << 20;

    explicit TMessageFramer(const QByteArray& rootName = QByteArrayLiteral("TRAXELMessage"),
                            qsizetype cap = DefaultCap);

    struct TFeed {
        std::vector<QByteArray> messages;  // whole messages, in stream order
        int orphanEndMarkers = 0;          // end markers dropped without a start
        bool overflow = false;             // the buffer passed its cap and was cleared
        // With KeepOutside: the bytes dropped between messages, in stream
        // order (a marker cut in two reaches it whole, in a later feed).
        QByteArray outside;
    };

    // Hands the bytes between messages to each feed (off by default).
    void KeepOutside(bool on) { keepOutside_ = on; }

    // Takes the bytes of one read and returns the messages they completed.
    TFeed Feed(const QByteArray& bytes);
    void Clear();
    qsizetype BufferedBytes() const { return buffer_.size(); }

private:
    // Cuts every message the buffer holds now into feed.
    void CutMessages(TFeed& feed);
    void Drop(qsizetype count);
    // Drops count bytes that lie outside any message.
    void DropOutside(TFeed& feed, qsizetype count);

    QByteArray startMarker_;
    QByteArray endMarker_;
    qsizetype cap_;
    bool keepOutside_ = false;
    QByteArray buffer_;
    // Up to here the buffer holds no end marker start / no ">" after the end
    // marker found at endAt_ (both relative to the buffer's first byte).
    qsizetype endScanned_ = 0;
    qsizetype endAt_ = -1;
    qsizetype closeScanned_ = 0;
};
