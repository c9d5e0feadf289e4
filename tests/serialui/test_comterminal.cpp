#include "ComTerminal.h"
#include "ComTrmSetForm.h"
#include "PtyPair.h"
#include "SerialUiTest.h"
#include "Screens.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>
#include <utility>

namespace {

class ComTerminalTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    std::string Written()
    {
        std::lock_guard<std::mutex> lock(rig.fake->mutex);
        return std::exchange(rig.fake->written, std::string());
    }

    TFakePortRig rig;
    TComTerminal terminal;
};

TEST_F(ComTerminalTest, KeysBecomeTheBytesSent)
{
    rig.port.Open();
    terminal.SetComPort(&rig.port);
    const struct { int key; Qt::KeyboardModifiers modifiers; QString text; std::string sent; } rows[] = {
        {Qt::Key_A, Qt::NoModifier, QStringLiteral("a"), "a"},
        {Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), "\r"},
        {Qt::Key_Enter, Qt::KeypadModifier, QString(), "\r"}, {Qt::Key_Backspace, Qt::NoModifier, QString(), "\b"},
        {Qt::Key_Tab, Qt::NoModifier, QString(), "\t"}, {Qt::Key_Escape, Qt::NoModifier, QString(), "\x1b"},
        {Qt::Key_C, Qt::ControlModifier, QString(), "\x03"},
        {Qt::Key_Eacute, Qt::NoModifier, QString(QChar(0xE9)), "\xe9"},
        {Qt::Key_Up, Qt::NoModifier, QString(), "\x1b[A"}, {Qt::Key_Home, Qt::NoModifier, QString(), "\x1b[H"},
        {Qt::Key_F1, Qt::NoModifier, QString(), ""},
    };
    for (const auto& row : rows) {
        QKeyEvent press(QEvent::KeyPress, row.key, row.modifiers, row.text);
        QApplication::sendEvent(&terminal, &press);
        EXPECT_EQ(Written(), row.sent) << row.key;
    }
    terminal.SetComPort(nullptr);
}

TEST_F(ComTerminalTest, AnswersCursorQueryOnAPseudoTerminal)
{
    TPtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TComPort port;
    port.SetSyncMethod(smNone);
    port.SetPort(pty.SlavePath());
    port.Open();
    TComTerminal linked;
    linked.SetComPort(&port);
    ASSERT_TRUE(pty.Write("ab\r\ncde\x1b[6n"));
    std::string reply;
    EXPECT_TRUE(PumpUntil([&] {
        reply += pty.Read(5);
        return reply.find("\x1b[2;4R") != std::string::npos;
    })) << ::testing::PrintToString(reply);
    std::ostringstream screen;
    linked.SaveToStream(screen);
    EXPECT_EQ(screen.str(), "ab\r\ncde");
    linked.SetComPort(nullptr);
}

TEST_F(ComTerminalTest, ColouredTextIsPainted)
{
    terminal.SetFontColor(QColor(0, 220, 0));
    terminal.SetAltColor(QColor(255, 220, 0));
    terminal.resize(480, 200);
    terminal.WriteStr("\x1b[7m  \x1b[0m normal  \x1b[1mbold\x1b[0m  \x1b[4munderlined\x1b[0m  "
                      "\x1b[7mreverse\x1b[0m\r\n\x1b[1;7m bold reverse \x1b[0m\r\n$ ");
    const QImage image = terminal.viewport()->grab().toImage();
    const QSize cell = terminal.CharSize();
    EXPECT_EQ(image.pixelColor(cell.width() / 2, cell.height() / 2), QColor(0, 220, 0)) << "reversed cell";
    EXPECT_EQ(image.pixelColor(cell.width() * 2 + cell.width() / 2, cell.height() / 2), QColor(0, 0, 0));
    terminal.show();
    terminal.activateWindow();
    terminal.setFocus();
    EXPECT_TRUE(PumpUntil([&] { return terminal.hasFocus(); }));
    SaveScreen(terminal, QStringLiteral("comterminal_colours"));
}

TEST_F(ComTerminalTest, FewerColumnsPullTheViewBack)
{
    terminal.resize(200, 120);
    terminal.show();
    terminal.horizontalScrollBar()->setValue(terminal.horizontalScrollBar()->maximum());
    terminal.verticalScrollBar()->setValue(terminal.verticalScrollBar()->maximum());
    ASSERT_GT(terminal.TopLeft().x(), 1);
    terminal.WriteStr("\x1b[24;80f");
    terminal.SetColumns(10);
    terminal.SetRows(3);
    EXPECT_EQ(terminal.TopLeft(), QPoint(1, 1));
    EXPECT_EQ(std::pair(terminal.Model().CaretColumn(), terminal.Model().CaretRow()), std::pair(10, 3));
}

TEST_F(ComTerminalTest, SettingsDialogStoresOnOK)
{
    QTimer::singleShot(0, [] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* form = qobject_cast<TComTrmSetForm*>(top);
            if (!form || !form->isVisible())
                continue;
            form->findChild<QCheckBox*>(QStringLiteral("CheckBoxLocalEcho"))->setChecked(true);
            form->findChild<QCheckBox*>(QStringLiteral("CheckBoxAppendLF"))->setChecked(true);
            form->findChild<QSpinBox*>(QStringLiteral("SpinEditColumns"))->setValue(100);
            SaveScreen(*form, QStringLiteral("comterminal_setup"));
            QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("ButtonOK")), Qt::LeftButton);
        }
    });
    EXPECT_TRUE(EditComTerminal(terminal));
    EXPECT_EQ(std::tuple(terminal.LocalEcho(), terminal.AppendLF(), terminal.SendLF()), std::tuple(true, true, false));
    EXPECT_EQ(terminal.Columns(), 100);
    EXPECT_EQ(terminal.Emulation(), teVT100orANSI);
}

} // namespace
