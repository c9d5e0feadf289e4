// The monitor pulling a long session into a viewer: what the viewer shows
// once the pull is over, whatever batches the shots were drawn in.
#include "FormNetworkControl.h"
#include "FormSendMessage.h"
#include "NetNode.h"
#include "NetTestSupport.h"
#include "UiRig.h"

#include "AppSettings.h"
#include "XmlNames.h"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <QTest>

namespace {

class MonitorPullTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        networkForms = {[] { return static_cast<QWidget*>(new TFormNetworkControl); },
                        [] { return static_cast<QWidget*>(new TFormSendMessage); }};
        ASSERT_TRUE(StartProgram());
        ASSERT_TRUE(WaitForStartMenu());
        prompts.shown.clear();
        SettingsRoot()->FindNode(QString::fromLatin1(XmlNames::Network))
            ->SetAttributeValue(QString::fromLatin1(XmlNames::Mode), QString::fromLatin1(XmlNames::ModeMonitor));
        SessionMode = SessionMonitor;
        ASSERT_TRUE(Network()->StartMonitor(0));
    }

    static TFormNetworkControl* Network() { return dynamic_cast<TFormNetworkControl*>(FormNetworkControl); }

    // The whole strip as the viewer's strip lays it out, every pixel painted.
    static QImage WholeStrip(const TShotString& shown, TShooter* shooter)
    {
        TShotString strip;
        strip.compact = shown.compact;
        strip.decimals = shown.decimals;
        strip.minWidth = shown.minWidth;
        strip.selected = shown.selected;
        strip.selectBurst = shown.selectBurst;
        strip.showRange = shown.showRange;
        strip.rangeFirst = shown.rangeFirst;
        strip.rangeLast = shown.rangeLast;
        strip.SetShots(shooter);
        strip.Reveal(0, 1 << 20);
        strip.Draw();
        return strip.Bitmap().copy();
    }
};

TEST_F(MonitorPullTest, ALongPullEndsWithTheNewestShotSelectedAndTheStripShowingIt)
{
    constexpr int Count = 150;
    TSession node;
    TShooter* remote = AddNetShooter(node, QStringLiteral("KBR0000033"), QStringLiteral("Cara"), Count);
    // Bursts of three, 5 s apart: a strip many views wide.
    for (int i = 0; i < Count; ++i)
        remote->GetShot(i)->raw.SetTime(uint32_t(66 * (i + 1) + 330 * (i / 3)));
    TNetNode peer;
    peer.session = [&node] { return &node; };
    peer.Connect(QStringLiteral("127.0.0.1"), Network()->Monitor().Port());

    TFormShooter* viewer = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        viewer = ShooterViewers.empty() ? nullptr : ShooterViewers.front();
        return viewer && viewer->Shooter()->ShotCount() == Count && !viewer->DrawPending()
            && viewer->Strip().EntryCount() == Count;
    }, std::chrono::seconds(60)));
    TShooter* shooter = viewer->Shooter();
    EXPECT_EQ(viewer->SelectedShot(), shooter->GetShot(Count - 1));

    auto* box = Control<QAbstractScrollArea>(viewer, "ScrollBoxShotString");
    QWidget* strip = Control<QWidget>(viewer, "ImageShotString");
    const int width = box->viewport()->width();
    ASSERT_GT(viewer->Strip().Width(), 5 * width);
    const QImage whole = WholeStrip(viewer->Strip(), shooter);
    const auto shownAt = [&](int position) {
        box->horizontalScrollBar()->setValue(position);
        const QImage shown = strip->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const int rows = std::min(shown.height(), TShotString::StripHeight);
        return std::pair(shown.copy(0, 0, width, rows), whole.copy(position, 0, width, rows));
    };

    // The newest shot in view, highlighted, as the whole strip shows it.
    const TShotOnString* last = viewer->Strip().Entry(Count - 1);
    const int position = box->horizontalScrollBar()->value();
    EXPECT_GE(last->x, position);
    EXPECT_LE(last->x + TShotString::IconWidth(last->icon), position + width);
    {
        const auto [shown, expected] = shownAt(position);
        EXPECT_EQ(shown, expected);
    }
    SaveScreen(*viewer, QStringLiteral("monitor_pull_viewer"));

    // Scrolled back to the first shots, far from what was painted: the same
    // pixels as the whole strip, and a click there selects the first shot.
    {
        const auto [shown, expected] = shownAt(0);
        EXPECT_EQ(shown, expected);
    }
    const TShotOnString* first = viewer->Strip().Entry(0);
    QTest::mouseClick(strip, Qt::LeftButton, {}, QPoint(first->xCentre - box->horizontalScrollBar()->value(), 40));
    EXPECT_EQ(viewer->SelectedShot(), shooter->GetShot(0));
    peer.Close();
}

} // namespace
