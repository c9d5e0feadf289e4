#include "NetDecoder.h"

#include <QMetaObject>
#include <QObject>

#include <exception>
#include <utility>

using MiniXMLParser::TXMLNode;

TNetDecoder::TNetDecoder(QObject* owner)
    : owner_(owner)
{
}

TNetDecoder::~TNetDecoder()
{
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void TNetDecoder::Post(std::shared_ptr<TDecodeJob> job)
{
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(std::move(job));
        if (!thread_.joinable())
            thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
}

void TNetDecoder::Dispose(std::unique_ptr<TXMLNode> tree)
{
    {
        const std::lock_guard lock(mutex_);
        trash_.push_back(std::move(tree));
    }
    wake_.notify_one();
}

std::vector<std::shared_ptr<TDecodeJob>> TNetDecoder::TakeDone()
{
    const std::lock_guard lock(mutex_);
    return std::exchange(done_, {});
}

void TNetDecoder::Run()
{
    for (;;) {
        std::shared_ptr<TDecodeJob> job;
        std::vector<std::unique_ptr<TXMLNode>> trash;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !queue_.empty() || !trash_.empty(); });
            if (stop_)
                return;
            trash.swap(trash_);
            if (!queue_.empty()) {
                job = std::move(queue_.front());
                queue_.pop_front();
            }
        }
        trash.clear();
        if (!job)
            continue;
        TDecodedMessage decoded;
        try {
            decoded = DecodeMessage(job->message);
        } catch (const std::exception& e) {
            decoded.error = QString::fromUtf8(e.what());
        }
        {
            const std::lock_guard lock(mutex_);
            job->decoded = std::move(decoded);
            done_.push_back(std::move(job));
        }
        // By name: the call carries nothing of this thread's to the owner's.
        QMetaObject::invokeMethod(owner_, "TakeDecoded", Qt::QueuedConnection);
    }
}
