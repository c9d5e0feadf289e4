// Widgets linked to a port and the port itself may go in either order: a
// port destroyed first unlinks every widget (which then touches it no more),
// a widget destroyed first unregisters. Run under ASan, a freed port read by
// a widget's destructor fails here. Also: the port's setup dialog is the one
// the widget layer installs, and without one it says so.
#include "ComLed.h"
#include "ComSelect.h"
#include "ComSetupFrm.h"
#include "ComTerminal.h"
#include "SerialUiTest.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ComLinksTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
};

struct TPortBox {
    std::shared_ptr<FakeComState> fake = std::make_shared<FakeComState>();
    std::unique_ptr<TComPort> port = std::make_unique<TComPort>(FakeComFactory(fake));
    TPortBox()
    {
        port->SetPort("/dev/ttyFAKE1");
        port->Open();
    }
};

// Every kind of linked widget, linked to one port, and how to read its link.
struct TLinkedWidgets {
    std::unique_ptr<TComTerminal> terminal = std::make_unique<TComTerminal>();
    std::unique_ptr<TComLed> led = std::make_unique<TComLed>();
    std::unique_ptr<TComComboBox> combo = std::make_unique<TComComboBox>();
    std::unique_ptr<TComRadioGroup> radio = std::make_unique<TComRadioGroup>();

    void Link(TCustomComPort* port)
    {
        terminal->SetComPort(port);
        led->SetLedSignal(lsConn);
        led->SetComPort(port);
        combo->SetComProperty(cpBaudRate);
        combo->SetComPort(port);
        radio->SetComProperty(cpDataBits);
        radio->SetComPort(port);
    }
    int Linked() const
    {
        return int(terminal->ComPort() != nullptr) + int(led->ComPort() != nullptr) + int(combo->ComPort() != nullptr)
               + int(radio->ComPort() != nullptr);
    }
};

TEST_F(ComLinksTest, PortDestroyedFirstUnlinksEveryWidget)
{
    TPortBox box;
    TLinkedWidgets widgets;
    widgets.Link(box.port.get());
    PumpQueued();
    ASSERT_EQ(widgets.Linked(), 4);
    EXPECT_EQ(widgets.led->State(), lsOn);

    box.port.reset();
    EXPECT_EQ(widgets.Linked(), 0);
    EXPECT_EQ(widgets.led->State(), lsOff);
    PumpQueued();  // calls the port posted before it went reach no one
    // Unlinked widgets act as if they never had a port.
    EXPECT_NO_THROW(widgets.led->SetState(lsOn));
    EXPECT_FALSE(widgets.terminal->Connected());
    widgets.combo->Select().ApplySettings();
    widgets.terminal.reset();
    widgets.led.reset();
    widgets.combo.reset();
    widgets.radio.reset();
}

TEST_F(ComLinksTest, WidgetsDestroyedFirstUnregister)
{
    TPortBox box;
    TLinkedWidgets widgets;
    widgets.Link(box.port.get());
    widgets.terminal.reset();
    widgets.led.reset();
    widgets.combo.reset();
    widgets.radio.reset();
    // A port without links hands received bytes to its own OnRxChar again.
    EXPECT_FALSE(box.port->HasLink());
    EXPECT_TRUE(box.port->TriggersOnRxChar());
    box.port.reset();
    PumpQueued();
}

TEST_F(ComLinksTest, RelinkingMovesTheLinkToTheNewPort)
{
    TPortBox first, second;
    TLinkedWidgets widgets;
    widgets.Link(first.port.get());
    widgets.Link(second.port.get());
    first.port.reset();  // no longer linked: nothing to tell
    EXPECT_EQ(widgets.Linked(), 4);
    EXPECT_EQ(widgets.combo->ComPort(), second.port.get());
    second.port.reset();
    EXPECT_EQ(widgets.Linked(), 0);
}

TEST_F(ComLinksTest, SetupDialogIsTheOneTheWidgetLayerInstalled)
{
    TPortBox box;
    SetComSetupDialog({});
    try {
        box.port->ShowSetupDialog();
        ADD_FAILURE() << "no dialog installed, yet no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "No setup dialog installed for the serial port");
    }

    InstallComSetupDialog();
    for (const bool ok : {false, true}) {
        QTimer::singleShot(0, [ok] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                auto* form = qobject_cast<TComSetupFrm*>(top);
                if (!form || !form->isVisible())
                    continue;
                auto* speed = form->findChild<TComComboBox*>(QStringLiteral("ComboBoxBaudRate"));
                speed->setCurrentIndex(speed->findText(QStringLiteral("19200")));
                if (ok)
                    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("ButtonOK")), Qt::LeftButton);
                else
                    form->reject();
            }
        });
        EXPECT_EQ(box.port->ShowSetupDialog(), ok);
        EXPECT_EQ(box.port->BaudRate(), ok ? br19200 : br9600) << ok;
    }
    SetComSetupDialog({});
}

} // namespace
