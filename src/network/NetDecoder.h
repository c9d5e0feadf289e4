// Parses long messages on a thread of its own, so that a peer's message of
// a megabyte does not hold the GUI thread for the tens of milliseconds its
// parse and its freeing take. Shared by both roles.
//
// Jobs are parsed one at a time in the order posted. After each parse the
// owner's TakeDecoded() is invoked (queued, by name) on the owner's thread,
// which takes the parsed jobs back with TakeDone and hands each tree back
// with Dispose once handled, to be freed here. Jobs and trees pass both ways
// under the decoder's lock; a job taken back or a tree handed back is not
// touched again by the other side.
//
// The owner keeps the decoder as its last member: the destructor joins the
// thread before anything the owner's TakeDecoded could reach is gone, and
// Qt drops a queued call to an object deleted before it ran.
#pragma once

#include "NetMessages.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QObject;

struct TDecodeJob {
    QByteArray message;
    TDecodedMessage decoded;
};

class TNetDecoder {
public:
    // A message this long is parsed here: its parse alone could hold the
    // loop for tens of milliseconds.
    static constexpr qsizetype AsideBytes = 64 * 1024;

    // owner has a Q_INVOKABLE TakeDecoded() and outlives the decoder.
    explicit TNetDecoder(QObject* owner);
    // Waits for a parse under way and drops the rest.
    ~TNetDecoder();
    TNetDecoder(const TNetDecoder&) = delete;
    TNetDecoder& operator=(const TNetDecoder&) = delete;

    void Post(std::shared_ptr<TDecodeJob> job);
    std::vector<std::shared_ptr<TDecodeJob>> TakeDone();
    // Frees a handled message's tree on the decoder's thread.
    void Dispose(std::unique_ptr<MiniXMLParser::TXMLNode> tree);

private:
    void Run();

    QObject* owner_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<TDecodeJob>> queue_;
    std::vector<std::shared_ptr<TDecodeJob>> done_;
    std::vector<std::unique_ptr<MiniXMLParser::TXMLNode>> trash_;
    bool stop_ = false;
    std::thread thread_;  // started with the first job
};
