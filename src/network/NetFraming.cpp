#include "NetFraming.h"

#include <QByteArrayView>

#include <algorithm>

namespace {

// Reads are taken in slices of this size, so that one big read holding
// many whole messages never counts against the cap as a whole.
constexpr qsizetype SliceBytes = 64 * 1024;

} // namespace

TMessageFramer::TMessageFramer(const QByteArray& rootName, qsizetype cap)
    : startMarker_("<" + rootName)
    , endMarker_("</" + rootName)
    , cap_(cap)
{
}

void TMessageFramer::Clear()
{
    buffer_.clear();
    endScanned_ = 0;
    endAt_ = -1;
    closeScanned_ = 0;
}

void TMessageFramer::Drop(qsizetype count)
{
    buffer_.remove(0, count);
    endScanned_ = std::max<qsizetype>(0, endScanned_ - count);
    closeScanned_ = std::max<qsizetype>(0, closeScanned_ - count);
    if (endAt_ >= 0)
        endAt_ = endAt_ >= count ? endAt_ - count : -1;
}

void TMessageFramer::DropOutside(TFeed& feed, qsizetype count)
{
    if (keepOutside_)
        feed.outside.append(buffer_.constData(), count);
    Drop(count);
}

TMessageFramer::TFeed TMessageFramer::Feed(const QByteArray& bytes)
{
    TFeed feed;
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype room = cap_ - buffer_.size();
        if (room <= 0) {
            // The message in hand can never fit: drop it and go on with
            // what follows, which starts the search anew.
            Clear();
            feed.overflow = true;
            room = cap_;
        }
        // Never more than the cap holds: a message up to the cap's length
        // is cut before the bytes after it count against the cap.
        const qsizetype n = std::min({SliceBytes, bytes.size() - at, room});
        buffer_.append(bytes.constData() + at, n);
        at += n;
        CutMessages(feed);
    }
    return feed;
}

void TMessageFramer::CutMessages(TFeed& feed)
{
    for (;;) {
        if (endAt_ < 0) {
            endAt_ = buffer_.indexOf(endMarker_, endScanned_);
            if (endAt_ < 0)
                endScanned_ = std::max<qsizetype>(0, buffer_.size() - endMarker_.size() + 1);
            else
                closeScanned_ = endAt_ + endMarker_.size();
        }
        // The start marker is searched only before the end marker (or in
        // the whole buffer when there is none yet).
        const qsizetype startLimit = endAt_ >= 0 ? endAt_ : buffer_.size();
        const qsizetype searched = std::min(buffer_.size(), startLimit + startMarker_.size() - 1);
        qsizetype start = QByteArrayView(buffer_).first(searched).indexOf(startMarker_);
        if (start >= startLimit)
            start = -1;

        if (start < 0 && endAt_ < 0) {
            // No marker: keep only what could be the beginning of one.
            const qsizetype keep = std::max(startMarker_.size(), endMarker_.size()) - 1;
            if (buffer_.size() > keep)
                DropOutside(feed, buffer_.size() - keep);
            return;
        }
        if (start > 0) {
            DropOutside(feed, start);
            continue;
        }
        if (start < 0) {
            // An end marker with no start before it.
            const qsizetype close = buffer_.indexOf('>', closeScanned_);
            if (close < 0) {
                closeScanned_ = buffer_.size();
                DropOutside(feed, endAt_);
                return;
            }
            ++feed.orphanEndMarkers;
            DropOutside(feed, close + 1);
            endAt_ = -1;
            continue;
        }
        // The buffer starts with a start marker.
        if (endAt_ < 0)
            return;
        const qsizetype close = buffer_.indexOf('>', closeScanned_);
        if (close < 0) {
            closeScanned_ = buffer_.size();
            return;
        }
        feed.messages.push_back(buffer_.left(close + 1));
        endAt_ = -1;
        Drop(close + 1);
        endScanned_ = 0;
        closeScanned_ = 0;
    }
}
