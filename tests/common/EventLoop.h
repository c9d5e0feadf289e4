// The Qt event loop for tests of code that posts, watches and times on it.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

// Creates the QCoreApplication on first call (gtest_main owns main).
inline void EnsureCoreApp()
{
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        static QCoreApplication app(argc, argv);
}

// Runs the event loop until done() holds, at most for limitMs; true when it held.
inline bool RunLoopUntil(const std::function<bool()>& done, int limitMs = 5000)
{
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() >= limitMs)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    return done();
}
