// The viewers of a training on a 1024 x 768 screen, tiled beside the panel
// as the session lays them out, in English and in the shipped German: every
// text of the top bar shows whole, the name field holds a 20-character name,
// and the replay hint stays inside its viewer.
#include "AppPaths.h"
#include "AppSettings.h"
#include "FormSelectSetup.h"
#include "FormStartMenu.h"
#include "SessionLayout.h"
#include "SetupListModel.h"
#include "TestTargets.h"
#include "Translation.h"
#include "UiRig.h"

#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <random>

namespace {

// The 1024 x 768 screen and a decoration as wide as window managers draw it.
const QRect Xga(0, 0, 1024, 768);
const QMargins Decoration(4, 30, 4, 4);

// Names of 20 characters, as operators type them.
const QString LongNames[] = {QStringLiteral("Maximilian Oberhuber"), QStringLiteral("Jürgen Schwarzenbach"),
                             QStringLiteral("Anna-Lena Kowalewski"), QStringLiteral("Ingrid Sørensen-Holm")};

struct TScreenCase {
    bool german;
    int viewers;
};

void PrintTo(const TScreenCase& c, std::ostream* os) { *os << (c.german ? "German " : "English ") << c.viewers; }

class SmallScreenTest : public UiRigTest, public ::testing::WithParamInterface<TScreenCase> {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        if (GetParam().german) {
            QFile shipped(LanguagesFolder() + QStringLiteral("/Deutsch.lang.txt"));
            ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
            WriteFile(DataPath() + QStringLiteral("/Tavrik/TRAXEL/Translations.lang.txt"), shipped.readAll());
        }
    }

    QString Name() const
    {
        return QStringLiteral("%1_%2").arg(GetParam().german ? QStringLiteral("german") : QStringLiteral("english"))
            .arg(GetParam().viewers);
    }

    // "Set Shooting Training" on the air rifle's ring target, n units, each
    // measuring in its viewer: the bar with every button a live unit shows.
    void StartRingTraining(int n)
    {
        for (int i = 0; i < n; ++i)
            AddUnit(41 + i, unitsim::UnitName("KBR", 41 + i));
        ASSERT_TRUE(StartProgram());
        ASSERT_TRUE(WaitForStartMenu());
        ASSERT_TRUE(ScanUnits(n));
        SetOptionString(QStringLiteral("StartAutomatically"), QStringLiteral("true"));
        SetOptionString(QStringLiteral("QuickGrading"), QStringLiteral("true"));
        Click(Control(FormStartMenu, "BitBtnDynamicTraining"));
        QPushButton* start = Control(FormSelectSetup, "ButtonStart");
        ASSERT_TRUE(WaitFor([&] { return start->isEnabled(); }));
        auto* grid = Control<QTableView>(FormSelectSetup, "DrawGridSetups");
        auto* model = static_cast<TSetupListModel*>(grid->model());
        int row = 0;
        while (row < model->rowCount() && !model->Setup(row)->target.hasRing)
            ++row;
        ASSERT_LT(row, model->rowCount());
        Click(grid->viewport(), grid->visualRect(model->index(row, 1)).center());
        Click(start);
        ASSERT_TRUE(WaitFor([&] {
            if (ShooterViewers.size() != std::size_t(n))
                return false;
            return std::all_of(units.begin(), units.end(), [](const auto& unit) { return unit->Measuring(); });
        }));
        ASSERT_TRUE(ShooterViewers.front()->HasRing());
    }

    // Each viewer in its tile of the 1024 x 768 screen.
    static void Tile()
    {
        const std::vector<QRect> frames = ViewerTileFrames(Xga, ControlPanelWidth(Xga), int(ShooterViewers.size()));
        for (std::size_t k = 0; k < frames.size(); ++k)
            ShooterViewers[k]->setGeometry(ClientRectInFrame(frames[k], Decoration));
    }
};

// A label or text button of form that shows less than its text, described.
QString CutText(QWidget* control)
{
    if (auto* label = qobject_cast<QLabel*>(control)) {
        const QString text = label->text();
        if (text.isEmpty())
            return {};
        const QString where = label->objectName() + QStringLiteral(" \"") + text + QLatin1Char('"');
        const QRect room = label->contentsRect();
        if (label->wordWrap())
            return label->heightForWidth(room.width()) > room.height() ? where : QString();
        const QSize need = label->fontMetrics().size(0, text);
        return need.width() > room.width() || need.height() > room.height() ? where : QString();
    }
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        const QString text = button->text();
        if (text.isEmpty())
            return {};
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        return button->fontMetrics().horizontalAdvance(text) + icon > button->width() - 8
            ? button->objectName() + QStringLiteral(" \"") + text + QLatin1Char('"')
            : QString();
    }
    return {};
}

// Every shown label and text button of the viewer shows its whole text, and
// lies inside the window.
QStringList CutTexts(TFormShooter* viewer)
{
    QStringList cut;
    for (QWidget* control : viewer->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(viewer))
            continue;
        const QString what = CutText(control);
        if (!what.isEmpty())
            cut << what;
        const QRect inWindow(control->mapTo(viewer, QPoint(0, 0)), control->size());
        if ((qobject_cast<QLabel*>(control) || qobject_cast<QAbstractButton*>(control))
            && !viewer->rect().contains(inWindow))
            cut << control->objectName() + QStringLiteral(" outside the window");
    }
    return cut;
}

// The line edit shows text whole: with the cursor at its end, the text has
// not scrolled.
bool ShowsWhole(QLineEdit* edit, const QString& text)
{
    const auto cursor = [edit] { return edit->inputMethodQuery(Qt::ImCursorRectangle).toRect(); };
    edit->setText(text);
    edit->setCursorPosition(0);
    const int start = cursor().center().x();
    edit->setCursorPosition(int(text.size()));
    const int end = cursor().center().x();
    return end - start >= edit->fontMetrics().horizontalAdvance(text) - 1 && cursor().right() < edit->width();
}

TEST_P(SmallScreenTest, TopBarTextsAndTheNameFitTheTile)
{
    StartRingTraining(GetParam().viewers);
    // The bar's height at each width, before the first shot and after it:
    // a shot does not move the target down. A bar of one row leaves the
    // name field room for a 20-character name.
    const auto barHeights = [] {
        TFormShooter* viewer = ShooterViewers.front();
        auto* edit = Control<QLineEdit>(viewer, "EditShooterName");
        std::vector<int> heights;
        for (int width = 300; width <= 1200; width += 10) {
            viewer->resize(width, 500);
            heights.push_back(Control<QWidget>(viewer, "PanelTop")->height());
            if (heights.back() == 44) {
                for (const QString& name : LongNames)
                    EXPECT_TRUE(ShowsWhole(edit, name)) << name.toStdString() << " at " << width;
            }
        }
        return heights;
    };
    const std::vector<int> before = barHeights();
    EXPECT_NE(std::count(before.begin(), before.end(), 44), 0);
    // After shots every button of the bar is up: save, print, replay.
    FireAndWait({{40, -30}, {-60, 20}});
    for (TFormShooter* viewer : ShooterViewers)
        ASSERT_TRUE(WaitFor([&] { return Control(viewer, "BitBtnPrintShooter")->isVisible(); }));
    EXPECT_EQ(barHeights(), before);
    Tile();

    for (TFormShooter* viewer : ShooterViewers) {
        SCOPED_TRACE(qPrintable(viewer->windowTitle()));
        for (const char* name : {"ButtonStartStop", "ImageStatus", "SpeedButtonZeroing", "BitBtnDifficulty",
                                 "BitBtnReplayMode", "ButtonSave", "BitBtnPrintShooter"})
            EXPECT_TRUE(Control<QWidget>(viewer, name)->isVisible()) << name;
        EXPECT_EQ(CutTexts(viewer), QStringList());
        auto* edit = Control<QLineEdit>(viewer, "EditShooterName");
        for (const QString& name : LongNames)
            EXPECT_TRUE(ShowsWhole(edit, name)) << name.toStdString() << " in " << edit->width() << " px";
        // Controls of the bar do not cover each other.
        const QWidget* bar = Control<QWidget>(viewer, "PanelTop");
        std::vector<const QWidget*> shown;
        for (const QWidget* control : bar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (control->isVisibleTo(bar))
                shown.push_back(control);
        for (const QWidget* a : shown)
            for (const QWidget* b : shown)
                EXPECT_TRUE(a == b || !a->geometry().intersects(b->geometry()))
                    << a->objectName().toStdString() << " covers " << b->objectName().toStdString();
        EXPECT_TRUE(bar->rect().contains(bar->childrenRect()));
    }
    TFormShooter* first = ShooterViewers.front();
    first->Shooter()->name = LongNames[1];
    first->ShowShooterName();
    SaveScreen(*first, QStringLiteral("viewer_xga_") + Name());

    // With room, the buttons stand beside the name in one row.
    first->resize(1000, first->height());
    EXPECT_EQ(Control<QWidget>(first, "PanelTop")->height(), 44);
    EXPECT_EQ(Control<QWidget>(first, "ImageTarget")->y(), 44);
    EXPECT_EQ(CutTexts(first), QStringList());
    EXPECT_LT(Control<QWidget>(first, "EditShooterName")->geometry().right(), Control<QWidget>(first, "ButtonSave")->x());
}

TEST_P(SmallScreenTest, ReplayHintStaysWholeInsideTheTile)
{
    StartRingTraining(GetParam().viewers);
    Tile();
    FireAndWait({{40, -30}});
    TFormShooter* viewer = ShooterViewers.back();
    viewer->SelectShot(-1);
    viewer->BitBtnReplayModeClick();
    auto* panel = Control<QWidget>(viewer, "PanelTimedMessage");
    auto* label = Control<QLabel>(viewer, "LabelMessage");
    ASSERT_TRUE(panel->isVisible());
    const QString hint = Translate(QStringLiteral("Select a shot to replay"));
    EXPECT_TRUE(viewer->rect().contains(panel->geometry())) << panel->x() << " " << panel->width();
    EXPECT_TRUE(panel->rect().contains(label->geometry()));
    // Whole, wrapped if need be; or shortened, with the whole text in its tip.
    EXPECT_EQ(CutText(label), QString());
    EXPECT_TRUE(label->text() == hint || label->toolTip() == hint) << label->text().toStdString();
    SaveScreen(*viewer, QStringLiteral("viewer_xga_hint_") + Name());

    // A message longer than any tile, one word wider than the tile among
    // them: shortened, the whole in the tip; a short one shows as it is.
    const QString longWord(80, QLatin1Char('W'));
    viewer->ShowTimedMessage(QStringLiteral("Bitte ") + longWord, 5000);
    EXPECT_TRUE(viewer->rect().contains(panel->geometry()));
    EXPECT_EQ(CutText(label), QString());
    EXPECT_EQ(label->toolTip(), QStringLiteral("Bitte ") + longWord);
    viewer->ShowTimedMessage(QStringLiteral("Stop"), 5000);
    EXPECT_EQ(std::pair(label->text(), label->toolTip()), std::pair(QStringLiteral("Stop"), QString()));
    // Picking a shot takes the hint away, shortened or not.
    viewer->ShowTimedMessage(hint, 5000);
    viewer->SelectShot(0);
    EXPECT_FALSE(panel->isVisible());

    // Two words, each wider than the window less the full margins: the
    // margins narrow and the message wraps, whole.
    viewer->resize(400, viewer->height());
    QString word;
    while (label->fontMetrics().horizontalAdvance(word) < 0.7 * viewer->width())
        word += QLatin1Char('W');
    const QString twoWords = word + QLatin1Char(' ') + word;
    viewer->ShowTimedMessage(twoWords, 5000);
    EXPECT_EQ(std::pair(label->text(), label->toolTip()), std::pair(twoWords, QString()));
    EXPECT_TRUE(label->wordWrap());
    EXPECT_EQ(CutText(label), QString());
    EXPECT_TRUE(viewer->rect().contains(panel->geometry()));
}

INSTANTIATE_TEST_SUITE_P(Xga, SmallScreenTest,
                         ::testing::Values(TScreenCase {false, 2}, TScreenCase {false, 4}, TScreenCase {true, 2},
                                           TScreenCase {true, 4}),
                         [](const auto& info) {
                             return std::string(info.param.german ? "German" : "English")
                                 + std::to_string(info.param.viewers);
                         });

} // namespace
