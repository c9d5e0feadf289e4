#include "ComSelect.h"
#include "ComSetupFrm.h"
#include "SerialUiTest.h"
#include "Screens.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>
#include <utility>

namespace {

const char* const Fake1 = "/dev/ttyFAKE1";
const char* const Fake2 = "/dev/ttyFAKE2";

std::vector<std::string> FakePorts() { return {Fake1, Fake2}; }

class ComSelectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }
    void SetUp() override { rig.port.Open(); }

    uint32_t AppliedBaud()
    {
        std::lock_guard<std::mutex> lock(rig.fake->mutex);
        return rig.fake->lastLine.baudRate;
    }
    void Choose(TComComboBox& box, const char* text) { box.setCurrentIndex(box.findText(QString::fromLatin1(text))); }
    // A box of property linked to the port.
    std::unique_ptr<TComComboBox> Linked(TComProperty property, bool editable = false,
                                         std::vector<std::string> (*lister)() = FakePorts)
    {
        auto box = std::make_unique<TComComboBox>();
        box->SetEditable(editable);
        box->Select().SetPortLister(lister);
        box->SetComProperty(property);
        box->SetComPort(&rig.port);
        return box;
    }

    TFakePortRig rig;
};

TEST_F(ComSelectTest, EachPropertyFillsItsTexts)
{
    const struct { TComProperty property; int count; const char* first; const char* last; } rows[] = {
        {cpPort, 2, Fake1, Fake2},          {cpBaudRate, 16, "Custom", "256000"},
        {cpDataBits, 4, "5", "8"},          {cpStopBits, 3, "1", "2"},
        {cpParity, 5, "None", "Space"},     {cpFlowControl, 4, "Hardware", "Custom"},
        {cpNone, 0, "", ""},
    };
    for (const auto& row : rows) {
        TComComboBox box;
        TComRadioGroup group;
        box.Select().SetPortLister(FakePorts);
        group.Select().SetPortLister(FakePorts);
        box.SetComProperty(row.property);
        group.SetComProperty(row.property);
        ASSERT_EQ(box.count(), row.count) << row.property;
        EXPECT_EQ(int(group.findChildren<QRadioButton*>().size()), row.count);
        EXPECT_EQ((box.itemText(0) + '|' + box.itemText(row.count - 1)).toStdString(),
                  std::string(row.first) + '|' + row.last);
        EXPECT_EQ(box.currentIndex(), -1) << "filling selects nothing";
        EXPECT_EQ(box.UpdateSettings(), -1) << "no port linked";
    }
}

TEST_F(ComSelectTest, AutoApplyReconfiguresAtOnceTypingOnlyOnCompleteTexts)
{
    const auto speed = Linked(cpBaudRate);
    Choose(*speed, "19200");
    EXPECT_EQ(rig.port.BaudRate(), br9600) << "without auto-apply only Apply reconfigures";
    speed->ApplySettings();
    EXPECT_EQ(AppliedBaud(), 19200u);
    speed->SetAutoApply(true);
    Choose(*speed, "115200");
    EXPECT_EQ(AppliedBaud(), 115200u);

    speed->SetEditable(true);
    speed->lineEdit()->clear();
    rig.fake->ClearLog();
    QTest::keyClicks(speed->lineEdit(), QStringLiteral("3840"));
    EXPECT_EQ(rig.fake->Count("SetLineSettings"), 0) << "a half-typed speed is no speed";
    QTest::keyClicks(speed->lineEdit(), QStringLiteral("0"));
    EXPECT_EQ(AppliedBaud(), 38400u);

    const auto name = Linked(cpPort, true);
    name->SetAutoApply(true);
    name->lineEdit()->clear();
    rig.fake->ClearLog();
    QTest::keyClicks(name->lineEdit(), QString::fromLatin1(Fake2));
    EXPECT_EQ(rig.fake->Count("Open"), 1) << "only the whole name reopens the port";
    EXPECT_EQ(rig.port.Port(), Fake2);
    EXPECT_TRUE(rig.port.Connected());
}

TEST_F(ComSelectTest, UpdateSettingsShowsThePortsValues)
{
    rig.port.SetBaudRate(br19200);
    rig.port.Parity().SetBits(prEven);
    rig.port.FlowControl().SetFlowControl(fcHardware);
    const struct { TComProperty property; const char* shown; } rows[] = {
        {cpBaudRate, "19200"}, {cpParity, "Even"}, {cpFlowControl, "Hardware"}, {cpStopBits, "1"}};
    for (const auto& row : rows) {
        const auto box = Linked(row.property);
        EXPECT_GE(box->UpdateSettings(), 0);
        EXPECT_EQ(box->Text().toStdString(), row.shown);
    }

    // A port name the list lacks is shown and kept, not replaced by nothing.
    const auto name = Linked(cpPort, true, [] { return std::vector<std::string>{"ttyS0"}; });
    EXPECT_EQ(name->UpdateSettings(), -1);
    EXPECT_EQ(name->Text().toStdString(), Fake1);
    name->ApplySettings();
    EXPECT_EQ(rig.port.Port(), Fake1);
}

TEST_F(ComSelectTest, RadioGroupReactsOnlyToAnotherItem)
{
    TComRadioGroup group;
    group.SetComProperty(cpParity);
    group.SetComPort(&rig.port);
    group.SetAutoApply(true);
    auto buttons = group.findChildren<QRadioButton*>();
    ASSERT_EQ(buttons.size(), 5);
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    EXPECT_EQ(rig.port.Parity().Bits(), prEven);
    rig.port.Parity().SetBits(prOdd);
    QTest::mouseClick(buttons[2], Qt::LeftButton);
    EXPECT_EQ(rig.port.Parity().Bits(), prOdd) << "the checked item clicked again";
    EXPECT_EQ(group.UpdateSettings(), 1);
    EXPECT_TRUE(buttons[1]->isChecked());
}

TEST_F(ComSelectTest, SetupDialogAppliesOnceAndAlwaysClosesItsBracket)
{
    TComSetupFrm form(nullptr, FakePorts);
    form.LoadFrom(rig.port);
    Choose(*form.Selector(cpBaudRate), "38400");
    Choose(*form.Selector(cpParity), "Odd");
    rig.fake->ClearLog();
    EXPECT_EQ(form.ApplySettings(rig.port), QString());
    EXPECT_EQ(rig.fake->Count("SetLineSettings"), 1) << "reconfigured once";
    EXPECT_EQ(AppliedBaud(), 38400u);

    // Reopening under a new name fails inside the bracket.
    form.Selector(cpPort)->SetText(QString::fromLatin1(Fake2));
    Choose(*form.Selector(cpBaudRate), "57600");
    rig.fake->FailNext("Open", ENOENT);
    EXPECT_TRUE(form.ApplySettings(rig.port).contains(QStringLiteral("Unable to open com port")));
    EXPECT_FALSE(rig.port.Connected());
    EXPECT_EQ(rig.port.BaudRate(), br57600) << "the other settings are kept";
    rig.port.Open();
    rig.port.SetBaudRate(br4800);
    EXPECT_EQ(AppliedBaud(), 4800u) << "the port applies settings again";

    // The final reconfiguration fails.
    form.LoadFrom(rig.port);
    Choose(*form.Selector(cpBaudRate), "9600");
    rig.fake->FailNext("SetBufferSizes", EIO);
    EXPECT_TRUE(form.ApplySettings(rig.port).contains(QStringLiteral("SetupComm function failed")));
    rig.port.SetBaudRate(br2400);
    EXPECT_EQ(AppliedBaud(), 2400u);
}

TEST_F(ComSelectTest, EditComPortKeepsAnUnlistedPortAndAppliesOnOK)
{
    QTimer::singleShot(0, [] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* form = qobject_cast<TComSetupFrm*>(top);
            if (!form || !form->isVisible())
                continue;
            auto* speed = form->findChild<TComComboBox*>(QStringLiteral("ComboBoxBaudRate"));
            speed->setCurrentIndex(speed->findText(QStringLiteral("57600")));
            SaveScreen(*form, QStringLiteral("comsetup_dialog"));
            QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("ButtonOK")), Qt::LeftButton);
        }
    });
    EXPECT_TRUE(EditComPort(rig.port));
    EXPECT_EQ(std::tuple(rig.port.BaudRate(), rig.port.Port(), rig.port.Connected()),
              std::tuple(br57600, std::string(Fake1), true));
}

} // namespace
