// Printing roads to real PDF files, read back with the poppler tools: the
// viewer's print button, the shooter list's session print (one document per
// shooter with shots, one dialog) and the print setup's true-size target,
// measured on the rendered page.
#include "FormPrintSetup.h"
#include "FormShooterList.h"
#include "Printing.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiRig.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>

#include <tuple>

namespace {

constexpr int MeasureDpi = 254; // 10 pixels per mm

QString Run(const QString& program, const QStringList& args)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QString PdfText(const QString& pdf) { return Run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}); }

// The first page as an image at dpi, written to base + ".png".
QImage PdfPage(const QString& pdf, int dpi, const QString& base, bool sharp)
{
    QStringList args = {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QStringLiteral("1"),
                        QStringLiteral("-l"), QStringLiteral("1"), QStringLiteral("-singlefile"), QStringLiteral("-png")};
    if (sharp)
        args << QStringLiteral("-gray") << QStringLiteral("-aa") << QStringLiteral("no") << QStringLiteral("-aaVector")
             << QStringLiteral("no");
    args << pdf << base;
    Run(QStringLiteral("pdftoppm"), args);
    return QImage(base + QStringLiteral(".png"));
}

// The box of every dark pixel below the top band (the name and caption).
QRect DarkBox(const QImage& page, int skipTop)
{
    int left = page.width(), right = -1, top = page.height(), bottom = -1;
    for (int y = skipTop; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (qGray(page.pixel(x, y)) < 128) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

// Rings 10 .. 1, ring 1 of radius 77.2 mm (a 154.4 mm target), at distance
// (tenths of the unit), in yards when asked.
TargetDescription PaperRing(int distance, bool yards = false)
{
    TargetDescription t = NamedRing(QStringLiteral("T50"));
    RingTargetRecord& r = t.ringRecord;
    r.SetHighestRing(10);
    r.SetMinimumRing(1);
    r.SetDiameterHighestRing(104);
    r.SetHitRingGap(80);
    r.SetDiameterBlackArea(600);
    r.SetDiameterInnerWhite(0);
    r.SetDiameterX(50);
    r.SetNominalDistance(distance);
    r.SetDistanceInYards(yards);
    return t;
}

class PrintingTest : public UiRigTest {
protected:
    void SetUp() override
    {
        UiRigTest::SetUp();
        ASSERT_TRUE(StartProgram());
        prompts.shown.clear();
        out = ScratchRoot() + QStringLiteral("/prints/");
        QDir().mkpath(out);
    }

    // A review viewer, shown, over a new shooter with shots shots.
    TFormShooter* Viewer(const QString& name, int shots)
    {
        TFormShooter* viewer = AddViewer(
            nullptr, AddShooterWithShots(*CurrentSession, name, CurrentSession->ShooterCount() + 1,
                                         NamedRing(QStringLiteral("T10")), shots),
            false);
        viewer->resize(500, 600);
        viewer->show();
        return viewer;
    }

    QString out;
};

// Gives every shot of the shooter an aiming trace of 150 samples with a
// small wobble, so that the shots are graded.
void AddTraces(TShooter& shooter)
{
    shooter.ForEachShot([](TShot& shot) {
        shot.AllocateCurve(150);
        for (int i = 0; i < 150; ++i) {
            shot.Curve()[i].SetX((i % 9) * 5 - 20);
            shot.Curve()[i].SetY((i % 4) * 4 - 6);
        }
    });
}

TEST_F(PrintingTest, ViewerPrintsItsShooterAfterTheDialog)
{
    TFormShooter* viewer = Viewer(QStringLiteral("Anna"), 3);
    AddTraces(*viewer->Shooter());
    viewer->SelectShot(1);

    // Cancelled: nothing is written.
    Click(Control(viewer, "BitBtnPrintShooter"));
    EXPECT_EQ(prompts.printDialogs, 1);
    EXPECT_TRUE(QDir(out).isEmpty());

    prompts.printAnswers.push_back(TScriptedPrompts::PrintToPdf(out + QStringLiteral("anna.pdf")));
    Click(Control(viewer, "BitBtnPrintShooter"));
    ASSERT_TRUE(QFile::exists(out + QStringLiteral("anna.pdf")));
    EXPECT_EQ(prompts.Texts(), QStringList());
    // The page shows all shots: the viewer's selection is gone.
    EXPECT_EQ(viewer->SelectedShot(), nullptr);

    const QString text = PdfText(out + QStringLiteral("anna.pdf"));
    for (const char* expected : {"Anna", "T10", "Shots 3", "Distribution", "Grading Summary", "Triggering", "Shot",
                                 "Score", "Time", "0:01", "+1.0"})
        EXPECT_TRUE(text.contains(QLatin1String(expected))) << expected << "\n" << qPrintable(text);
    const QImage page = PdfPage(out + QStringLiteral("anna.pdf"), 60, ScreensFolder() + QStringLiteral("/printout_shooter"),
                                false);
    EXPECT_FALSE(page.isNull());
}

TEST_F(PrintingTest, SessionPrintWritesOneDocumentPerShooterWithShots)
{
    Viewer(QStringLiteral("Anna"), 2);
    Viewer(QStringLiteral("Cid"), 0);
    Viewer(QStringLiteral("Ben"), 35);
    FormShooterList->ShowInFront();
    prompts.printAnswers.push_back(TScriptedPrompts::PrintToPdf(out + QStringLiteral("session.pdf")));
    Click(Control(FormShooterList, "BitBtnPrintSession"));

    EXPECT_EQ(prompts.printDialogs, 1);
    EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name),
              (QStringList {QStringLiteral("session (2).pdf"), QStringLiteral("session.pdf")}));
    const QString anna = PdfText(out + QStringLiteral("session.pdf"));
    const QString ben = PdfText(out + QStringLiteral("session (2).pdf"));
    EXPECT_TRUE(anna.contains(QLatin1String("Anna")) && anna.contains(QLatin1String("Shots 2"))) << qPrintable(anna);
    // No shot has a trace: no grading block.
    EXPECT_FALSE(anna.contains(QLatin1String("Grading Summary"))) << qPrintable(anna);
    EXPECT_TRUE(ben.contains(QLatin1String("Ben")) && ben.contains(QLatin1String("Shots 35"))) << qPrintable(ben);
    // The printer keeps the name the operator chose.
    EXPECT_EQ(ThePrinter().outputFileName(), out + QStringLiteral("session.pdf"));
    PdfPage(out + QStringLiteral("session (2).pdf"), 60, ScreensFolder() + QStringLiteral("/printout_session_35_shots"),
            false);
}

class PrintSetupTest : public PrintingTest {
protected:
    template <class T = QPushButton>
    static T* Control(const char* name)
    {
        return ::Control<T>(FormPrintSetup, name);
    }

    void Open(const TargetDescription& target)
    {
        FormPrintSetup->SetTarget(target);
        FormPrintSetup->show();
    }

    // Printer Setup chooses a PDF file; Print with the training distance.
    void Print(const QString& file, const QString& distance, bool landscape = false)
    {
        prompts.printAnswers.push_back(TScriptedPrompts::PrintToPdf(out + file, landscape));
        Click(Control("ButtonSetupPrinter"));
        Control<QLineEdit>("EditScaledDistance")->setText(distance);
        Click(Control("ButtonPrint"));
    }
};

TEST_F(PrintSetupTest, ArrowsKeepTheDistanceBetween5And75)
{
    Open(PaperRing(500));
    SaveScreen(*FormPrintSetup, QStringLiteral("print_setup"));
    QLineEdit* edit = Control<QLineEdit>("EditScaledDistance");
    EXPECT_EQ(std::tuple(edit->text(), Control<QLabel>("LabelUnits")->text(), Control("ButtonPrint")->isEnabled()),
              std::tuple(QStringLiteral("10"), QStringLiteral("m"), true));
    const std::tuple<const char*, const char*, const char*> steps[] = {
        {"75", "BitBtnUp10", "75"}, {"74", "BitBtnUp10", "75"}, {"5", "BitBtnDown10", "5"},
        {"6", "BitBtnDown10", "5"}, {"x", "BitBtnDown10", "5"}, {"x", "BitBtnUp10", "1"},
    };
    for (const auto& [before, button, after] : steps) {
        edit->setText(QLatin1String(before));
        Click(Control(button));
        EXPECT_EQ(edit->text(), QLatin1String(after)) << before << " " << button;
    }
}

TEST_F(PrintSetupTest, TranslationReachesTheFormsTexts)
{
    const QStringList german = {"Print Setup=Druckeinrichtung", "Print=Drucken", "Printer Setup=Drucker einrichten",
                                "Cancel=Abbrechen", "Training Distance=Trainingsdistanz"};
    TranslateUI(&german);
    EXPECT_EQ(FormPrintSetup->windowTitle(), QStringLiteral("Druckeinrichtung"));
    QStringList texts;
    for (const char* name : {"ButtonPrint", "ButtonSetupPrinter", "ButtonCancel"})
        texts << Control(name)->text();
    texts << Control<QLabel>("LabelTrainingDistance")->text() << Control<QLabel>("LabelUnits")->text();
    EXPECT_EQ(texts, (QStringList {"Drucken", "Drucker einrichten", "Abbrechen", "Trainingsdistanz", "m"}));
    ResetTranslation();
}

TEST_F(PrintSetupTest, SetupWithASilhouetteShowsItsDistanceAndCannotPrint)
{
    TargetDescription field;
    field.hasSilhouette = 1;
    field.silhouetteRecord.SetNameText(QStringLiteral("Figure"));
    field.silhouetteRecord.SetSize(500);
    field.silhouetteRecord.SetNominalDistance(2740); // 274 yd
    field.silhouetteRecord.SetDistanceInYards(true);
    Open(field);
    EXPECT_EQ(Control<QLineEdit>("EditScaledDistance")->text(), QStringLiteral("274"));
    EXPECT_EQ(Control<QLabel>("LabelUnits")->text(), QStringLiteral("yd"));
    for (const char* name : {"EditScaledDistance", "BitBtnDown10", "BitBtnUp10", "ButtonPrint"})
        EXPECT_FALSE(Control<QWidget>(name)->isEnabled()) << name;
}

struct TTrueSizeCase {
    const char* name;
    int distance;       // nominal, tenths
    bool yards;
    const char* training;
    bool landscape;
    double scale;
    const char* caption;
};

void PrintTo(const TTrueSizeCase& c, std::ostream* os) { *os << c.name; }

class TrueSizePdf : public PrintSetupTest, public ::testing::WithParamInterface<TTrueSizeCase> {};

TEST_P(TrueSizePdf, OuterRingMeasuresItsScaledDiameter)
{
    const TTrueSizeCase& c = GetParam();
    Open(PaperRing(c.distance, c.yards));
    const QString file = QString::fromLatin1(c.name) + QStringLiteral(".pdf");
    Print(file, QLatin1String(c.training), c.landscape);

    ASSERT_TRUE(QFile::exists(out + file)) << qPrintable(prompts.Texts().join(QLatin1Char('\n')));
    EXPECT_EQ(FormPrintSetup->result(), QDialog::Accepted);
    EXPECT_FALSE(FormPrintSetup->isVisible());
    EXPECT_DOUBLE_EQ(FormPrintSetup->LastScale(), c.scale);
    EXPECT_EQ(FormPrintSetup->PrintManager().ScaleCaption, QLatin1String(c.caption));
    const QString text = PdfText(out + file);
    EXPECT_TRUE(text.contains(QLatin1String("T50")) && text.contains(QLatin1String(c.caption))) << qPrintable(text);

    const QImage page = PdfPage(out + file, MeasureDpi, ScreensFolder() + QStringLiteral("/printout_truesize_")
                                                             + QLatin1String(c.name), true);
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(page.width() > page.height(), c.landscape);
    // Below the texts (5 mm high, 1 mm from the edge of the printer's page)
    // only the target is drawn.
    const QRect box = DarkBox(page, 20 * MeasureDpi / 25.4);
    const double expected = 154.4 * c.scale;
    EXPECT_NEAR(box.width() - 1, expected * 10, 3.0);
    EXPECT_NEAR(box.height() - 1, expected * 10, 3.0);
}

INSTANTIATE_TEST_SUITE_P(
    Paper, TrueSizePdf,
    ::testing::Values(TTrueSizeCase {"Portrait", 500, false, "10", false, 0.2, "10 (50) m"},
                      TTrueSizeCase {"Landscape", 500, false, "10", true, 0.2, "10 (50) m"},
                      TTrueSizeCase {"Yards", 2000, true, "25", false, 0.125, "25 (200) yd"},
                      TTrueSizeCase {"FullSize", 100, false, "10", true, 1.0, "10 (10) m"}),
    [](const ::testing::TestParamInfo<TTrueSizeCase>& info) { return std::string(info.param.name); });

TEST_F(PrintSetupTest, RefusedPrintsWriteNoFileAndKeepTheFormOpen)
{
    // 14 m for a 10 m target: 216 mm does not fit A4's width; a target
    // without distance has no scale.
    Open(PaperRing(100));
    Print(QStringLiteral("wide.pdf"), QStringLiteral("14"));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Target cannot be printed with selected printer and paper")});
    Open(PaperRing(0));
    Print(QStringLiteral("nodistance.pdf"), QStringLiteral("10"));
    Open(TargetDescription {});
    Print(QStringLiteral("notarget.pdf"), QStringLiteral("10"));
    EXPECT_EQ(prompts.Texts().size(), 3);

    EXPECT_TRUE(QDir(out).isEmpty());
    EXPECT_TRUE(FormPrintSetup->isVisible());
    EXPECT_NE(FormPrintSetup->result(), QDialog::Accepted);
}

TEST_F(PrintSetupTest, ADistanceThatIsNoWholeNumberOfOneOrMoreIsRefusedWithWhatIsWanted)
{
    Open(PaperRing(500));
    const QString metres = QStringLiteral("Enter the training distance in whole metres, 1 or more");
    for (const char* typed : {"12.5", "", "abc", "-10", "0", "7m"}) {
        prompts.shown.clear();
        Print(QStringLiteral("bad.pdf"), QLatin1String(typed));
        EXPECT_EQ(prompts.Texts(), QStringList {metres}) << typed;
        // The typed text stays for the operator to correct.
        EXPECT_EQ(Control<QLineEdit>("EditScaledDistance")->text(), QLatin1String(typed));
    }
    Open(PaperRing(2000, true));
    prompts.shown.clear();
    Print(QStringLiteral("bad.pdf"), QStringLiteral("2,5"));
    EXPECT_EQ(prompts.Texts(), QStringList {QStringLiteral("Enter the training distance in whole yards, 1 or more")});
    EXPECT_TRUE(QDir(out).isEmpty());
    EXPECT_TRUE(FormPrintSetup->isVisible());

    // A whole number with blanks around it prints.
    Print(QStringLiteral("good.pdf"), QStringLiteral(" 25 "));
    EXPECT_TRUE(QFile::exists(out + QStringLiteral("good.pdf")));
    EXPECT_EQ(FormPrintSetup->result(), QDialog::Accepted);
}

TEST_F(PrintSetupTest, AShooterPrintoutAfterALandscapeTargetIsUpright)
{
    Open(PaperRing(500));
    Print(QStringLiteral("landscape.pdf"), QStringLiteral("10"), true);
    const QImage target = PdfPage(out + QStringLiteral("landscape.pdf"), 20, out + QStringLiteral("landscape"), false);
    ASSERT_FALSE(target.isNull());
    EXPECT_GT(target.width(), target.height());

    // The operator only names the file: the page set-up is what the print
    // starts from.
    TFormShooter* viewer = Viewer(QStringLiteral("Anna"), 3);
    const QString file = out + QStringLiteral("anna.pdf");
    prompts.printAnswers.push_back([file](QPrinter* printer) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(file);
        return true;
    });
    Click(::Control(viewer, "BitBtnPrintShooter"));
    const QImage page = PdfPage(file, 20, out + QStringLiteral("anna"), false);
    ASSERT_FALSE(page.isNull());
    EXPECT_LT(page.width(), page.height());

    // And the target print keeps the orientation chosen for it.
    FormPrintSetup->show();
    const QString again = out + QStringLiteral("again.pdf");
    ThePrinter().setOutputFileName(again);
    Control<QLineEdit>("EditScaledDistance")->setText(QStringLiteral("10"));
    Click(Control("ButtonPrint"));
    const QImage second = PdfPage(again, 20, out + QStringLiteral("again"), false);
    ASSERT_FALSE(second.isNull());
    EXPECT_GT(second.width(), second.height());
}

TEST_F(PrintingTest, SessionPrintNeverOverwritesAFileItDidNotAskAbout)
{
    Viewer(QStringLiteral("Anna"), 2);
    Viewer(QStringLiteral("Ben"), 3);
    Viewer(QStringLiteral("Cid"), 4);
    QFile kept(out + QStringLiteral("session (3).pdf"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.write("kept");
    kept.close();
    FormShooterList->ShowInFront();
    prompts.printAnswers.push_back(TScriptedPrompts::PrintToPdf(out + QStringLiteral("session.pdf")));
    Click(Control(FormShooterList, "BitBtnPrintSession"));

    EXPECT_EQ(prompts.Texts(), QStringList());
    EXPECT_EQ(QDir(out).entryList(QDir::Files, QDir::Name),
              (QStringList {QStringLiteral("session (2).pdf"), QStringLiteral("session (3).pdf"),
                            QStringLiteral("session (4).pdf"), QStringLiteral("session.pdf")}));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("kept"));
    EXPECT_TRUE(PdfText(out + QStringLiteral("session (4).pdf")).contains(QLatin1String("Cid")));
}

TEST_F(PrintingTest, SessionPrintNamesTheShooterWhosePageFailed)
{
    // A chosen name as long as a file name may be: the numbered name for
    // the second shooter is too long to be written.
    Viewer(QStringLiteral("Anna"), 2);
    Viewer(QStringLiteral("Ben"), 3);
    const QString chosen = out + QString(251, QLatin1Char('s')) + QStringLiteral(".pdf");
    FormShooterList->ShowInFront();
    prompts.printAnswers.push_back(TScriptedPrompts::PrintToPdf(chosen));
    Click(Control(FormShooterList, "BitBtnPrintSession"));

    EXPECT_TRUE(QFile::exists(chosen));
    ASSERT_EQ(prompts.Texts().size(), 1);
    const QString text = prompts.Texts().first();
    EXPECT_TRUE(text.startsWith(QLatin1String("Printing failed"))) << qPrintable(text);
    EXPECT_TRUE(text.contains(QLatin1String("Ben"))) << qPrintable(text);
    EXPECT_FALSE(text.contains(QLatin1String("Anna"))) << qPrintable(text);
}

} // namespace
