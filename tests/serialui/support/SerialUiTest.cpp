#include "SerialUiTest.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

void EnsureApplication()
{
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_serialui";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing the application down among the other statics
    // at exit crashes in the input devices that key and mouse events created.
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

bool PumpUntil(const std::function<bool()>& pred, int timeoutMs)
{
    return QTest::qWaitFor(pred, timeoutMs);
}

void PumpQueued()
{
    bool ran = false;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&ran] { ran = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(PumpUntil([&] { return ran; }));
}

TFakePortRig::TFakePortRig(const char* path)
{
    port.SetPort(path);
    port.SetSyncMethod(smNone);
}

void TFakePortRig::LineEvent(uint32_t modemBits, uint32_t eventBits)
{
    auto waiting = [this] {
        std::lock_guard<std::mutex> lock(fake->mutex);
        return fake->waiting > 0;
    };
    ASSERT_TRUE(FakeComState::WaitFor(waiting)) << "the event thread is not waiting";
    const int waits = fake->Count("WaitEvent");
    {
        std::lock_guard<std::mutex> lock(fake->mutex);
        fake->modemBits = modemBits;
    }
    fake->PushEvents(eventBits);
    ASSERT_TRUE(FakeComState::WaitFor([&] { return fake->Count("WaitEvent") > waits; }))
        << "the event was not delivered";
}

// Font configuration keeps its caches until exit and Qt never releases them;
// under the leak checker that is noise, not a fault of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
