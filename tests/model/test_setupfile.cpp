#include "SessionFixtures.h"
#include "Setupdata.h"
#include "Shotfile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace Fixtures;

namespace {

const char DefaultSetupPath[] = "../assets/files/default.setup.xml";

TTargetSetup RingSetup()
{
    TTargetSetup s;
    s.descriptions = QStringList { QString::fromUtf8("R\xC3\xA9sum\xC3\xA9 & <rings> \xE2\x82\xAC"), QStringLiteral("\"quoted\" 'too'") };
    s.target.hasRing = 1;
    s.target.ringRecord = AirRifleRing();
    s.blocks.SetModeBlock(SetupBlocks::ClassicBlock, ClassicRingMode());
    s.blocks.SetDeviceMounting(2);
    s.blocks.SetArrowsUnlocked(true);
    return s;
}

TTargetSetup SilhouetteSetup()
{
    TTargetSetup s;
    s.descriptions = QStringList { QStringLiteral("Silhouette") };
    s.target.hasSilhouette = 1;
    s.target.silhouetteRecord = TorsoSilhouette();
    s.target.silhouetteMatrix = AsymmetricMatrix();
    s.blocks.SetModeBlock(SetupBlocks::DynamicBlock, DynamicSilhouetteMode());
    s.blocks.SetDeviceMounting(1);
    return s;
}

TTargetSetup BothSetup()
{
    TTargetSetup s = RingSetup();
    s.descriptions.reset();
    s.target.hasSilhouette = 1;
    s.target.silhouetteRecord = TorsoSilhouette();
    s.target.silhouetteMatrix = AsymmetricMatrix();
    RingTargetRecord& inch = s.target.ringRecord;
    inch.SetNameText(QString());
    inch.SetSizesInInch(true);
    inch.SetCaliberInInch(true);
    inch.SetDistanceInYards(true);
    inch.SetVariableRingGaps(true);
    inch.SetCaliber(-57);
    for (int n = 1; n <= RingTargetRecord::VariableRingCount; ++n)
        inch.SetDiameterVariableHminus(n, 1001 * n);
    s.blocks.SetModeBlock(SetupBlocks::DynamicBlock, DynamicSilhouetteMode());
    s.extraLines = QStringList { QStringLiteral("not in the file") };
    return s;
}

// The setup as the file gives it back: without the ring prism places, the
// silhouette bytes, the mode blocks' spare bytes, block 3 and the second text
// list; silhouette doubles from the size; an unnamed ring is "Unnamed".
TTargetSetup AsRead(const TTargetSetup& w)
{
    TTargetSetup r;
    r.descriptions = w.descriptions ? *w.descriptions : QStringList();
    r.target.hasRing = w.target.hasRing;
    r.target.hasSilhouette = w.target.hasSilhouette;
    if (w.target.hasRing) {
        r.target.ringRecord = RingAsRead(w.target.ringRecord);
        if (r.target.ringRecord.NameText().isEmpty())
            r.target.ringRecord.SetNameText(QStringLiteral("Unnamed"));
    }
    if (w.target.hasSilhouette) {
        const SilhouetteTargetRecord& ws = w.target.silhouetteRecord;
        SilhouetteTargetRecord& rs = r.target.silhouetteRecord;
        std::copy(ws.b.begin(), ws.b.begin() + 17, rs.b.begin());
        rs.SetNominalDistance(ws.NominalDistance());
        rs.SetSize(ws.Size());
        rs.SetPrismPlaceX(ws.PrismPlaceX());
        rs.SetPrismPlaceY(ws.PrismPlaceY());
        const double side = ws.SizeInInch() ? ws.Size() / 10.0 : ws.Size();
        rs.SetWidth(side);
        rs.SetHeight(side);
        r.target.silhouetteMatrix = w.target.silhouetteMatrix;
    }
    std::copy(w.blocks.b.begin(), w.blocks.b.begin() + 16, r.blocks.b.begin());
    for (int i : { SetupBlocks::ClassicBlock, SetupBlocks::DynamicBlock }) {
        ModeBlock m = w.blocks.GetModeBlock(i);
        for (int k = 11; k < 16; ++k)
            m.b[k] = 0;
        r.blocks.SetModeBlock(i, m);
    }
    return r;
}

void ExpectSameSetup(const TTargetSetup& a, const TTargetSetup& b)
{
    EXPECT_EQ(a.descriptions, b.descriptions);
    EXPECT_EQ(a.target.hasRing, b.target.hasRing);
    EXPECT_EQ(a.target.hasSilhouette, b.target.hasSilhouette);
    EXPECT_EQ(a.target.targetNumber, b.target.targetNumber);
    EXPECT_EQ(a.target.ringRecord, b.target.ringRecord);
    EXPECT_EQ(a.target.silhouetteRecord, b.target.silhouetteRecord);
    EXPECT_EQ(a.target.silhouetteMatrix, b.target.silhouetteMatrix);
    EXPECT_EQ(a.blocks, b.blocks);
    EXPECT_EQ(a.extraLines, b.extraLines);
}

void ExpectSameList(const TSetupHandler& a, const TSetupHandler& b)
{
    ASSERT_EQ(a.Count(), b.Count());
    for (int i = 0; i < a.Count(); ++i) {
        SCOPED_TRACE(i);
        ExpectSameSetup(*a.Get(i), *b.Get(i));
    }
}

QString SetupFileText(const QString& setups)
{
    return QStringLiteral("<SetupFile CreatedBy=\"TRAXEL 2.1\">\n<SetupInfo>\n%1</SetupInfo>\n</SetupFile>\n").arg(setups);
}

const char ModeText[] =
    "<ModeInfo Type=\"Classic\"><CTRL1>2</CTRL1><CTRL2>0</CTRL2><RingTargetNumber>0</RingTargetNumber>"
    "<SilhouetteTargetNumber>0</SilhouetteTargetNumber><NumberOfPrisms>0</NumberOfPrisms>"
    "<NumberOfBullets>0</NumberOfBullets><WakeupAngle>0</WakeupAngle><ShotRejectionAngle>0</ShotRejectionAngle>"
    "<SleepTimeout>0</SleepTimeout><TriggerSensitivity>0</TriggerSensitivity></ModeInfo>\n";
const char RingText[] =
    "<Target Type=\"Ring\" TargetName=\"R\" TargetNumber=\"5\"><HighestRing>10</HighestRing>"
    "<MinimumRing>1</MinimumRing><TargetWidth>0</TargetWidth><TargetHeight>0</TargetHeight></Target>\n";

}  // namespace

TEST(SetupFile, RoundTripOfASetupList)
{
    SeparatorGuard guard;
    QTemporaryDir dir;
    TSetupHandler list;
    list.Add(RingSetup());
    list.Add(SilhouetteSetup());
    list.Add(BothSetup());
    for (QChar separator : { QChar(u'.'), QChar(u',') }) {
        SetDecimalSeparator(separator);
        const QString first = dir.filePath("a.setup.xml");
        list.SaveToFile(first);
        TSetupHandler loaded;
        ASSERT_TRUE(loaded.LoadFromFile(first));
        ASSERT_EQ(loaded.Count(), 3);
        for (int i = 0; i < 3; ++i)
            ExpectSameSetup(*loaded.Get(i), AsRead(*list.Get(i)));
        // Saved again, the file is the same; loaded again, so are the setups.
        const QString second = dir.filePath("b.setup.xml");
        loaded.SaveToFile(second);
        EXPECT_EQ(ReadAll(first), ReadAll(second));
        TSetupHandler again;
        ASSERT_TRUE(again.LoadFromFile(second));
        ExpectSameList(again, loaded);
    }

    // The lock flag, the ring-before-silhouette order, and only the modes in use.
    TShotFileHandler h;
    MiniXMLParser::TXMLNode both, locked;
    h.WriteSetup(&both, BothSetup());
    h.WriteSetup(&locked, SilhouetteSetup());
    EXPECT_EQ(both.GetNodeText("LockArrows") + locked.GetNodeText("LockArrows"), QStringLiteral("01"));
    EXPECT_EQ(both.FindNthNode("Target", 1)->GetAttributeValue("Type"), QStringLiteral("Silhouette"));
    EXPECT_EQ(both.FindNthNode("ModeInfo", 1)->GetAttributeValue("Type"), QStringLiteral("Dynamic"));
    EXPECT_EQ(locked.FindNthNode("ModeInfo", 0)->GetAttributeValue("Type"), QStringLiteral("Dynamic"));
    EXPECT_EQ(locked.FindNthNode("ModeInfo", 1), nullptr);
}

TEST(SetupFile, ShippedDefaultSetup)
{
    TSetupHandler list;
    ASSERT_TRUE(list.LoadFromFile(DefaultSetupPath));
    ASSERT_GE(list.Count(), 3);
    bool airRifle = false, pistol25 = false, silhouette = false;
    for (int i = 0; i < list.Count(); ++i) {
        const TTargetSetup& s = *list.Get(i);
        SCOPED_TRACE(i);
        ASSERT_TRUE(s.descriptions && !s.descriptions->isEmpty());
        EXPECT_TRUE(s.blocks.GetModeBlock(SetupBlocks::ClassicBlock).InUse());
        EXPECT_TRUE(s.blocks.GetModeBlock(SetupBlocks::DynamicBlock).InUse());
        const RingTargetRecord& r = s.target.ringRecord;
        if (s.target.hasRing) {
            EXPECT_EQ(r.HighestRing(), 10);
            EXPECT_GT(r.DiameterHighestRing(), 0);
            EXPECT_GT(r.HitRingGap(), 0);
            airRifle |= r.NominalDistance() == 100 && r.Caliber() == 450 && r.DecimalScores();
            pistol25 |= r.NominalDistance() == 250 && r.DiameterHighestRing() == 500;
        }
        if (s.target.hasSilhouette) {
            int zones[4] = {};
            for (int c = 0; c < 64; ++c)
                for (int row = 0; row < 64; ++row)
                    ++zones[s.target.silhouetteMatrix.Cell(c, row)];
            silhouette |= zones[1] > 0 && zones[2] > 0 && zones[3] > 0 && zones[0] > 0;
        }
    }
    EXPECT_TRUE(airRifle && pistol25 && silhouette);

    // The shipped file is in the writer's own form: saved as loaded, it comes
    // out byte for byte, and loads to the same setups.
    QTemporaryDir dir;
    list.SaveToFile(dir.filePath("copy.setup.xml"));
    EXPECT_EQ(ReadAll(dir.filePath("copy.setup.xml")), ReadAll(DefaultSetupPath));
    TSetupHandler again;
    ASSERT_TRUE(again.LoadFromFile(dir.filePath("copy.setup.xml")));
    ExpectSameList(again, list);
}

TEST(SetupFile, ReaderErrorsKeepTheLoadedList)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("e.setup.xml");
    TSetupHandler list;
    list.Add(RingSetup());
    list.Add(SilhouetteSetup());
    const QString setup = QStringLiteral("<Setup>%1</Setup>\n");
    const QString farRing = QString(RingText).replace("\"R\" TargetNumber=\"5\"", "\"Far\" TargetNumber=\"99\"");
    const QString badMode = QString(ModeText).replace("<CTRL2>0</CTRL2>", "<CTRL2>x</CTRL2>");
    const struct {
        QString text;
        QString message;
    } cases[] = {
        { SetupFileText("<Other/>\n"), "No targets in setup file" },
        { SetupFileText(setup.arg(RingText)), "No mode in setup" },
        { SetupFileText(setup.arg(ModeText)), "No target in setup" },
        { SetupFileText(setup.arg(QString(ModeText) + "<Target Type=\"Cube\"/>")), "Unknown target type" },
        { SetupFileText(setup.arg(QString(ModeText) + RingText) + setup.arg(QString(ModeText) + farRing)),
            "Ring target index invalid:Far" },
        { SetupFileText(setup.arg(badMode + RingText)), "'x' is not a valid integer value" },
        { SetupFileText(setup.arg(QString(ModeText) + RingText)).remove("</SetupFile>\n"),
            "TMiniXMLParser::Load - EOF before closing root node.SetupFile5" },
    };
    for (const auto& c : cases) {
        WriteAll(path, c.text.toUtf8());
        EXPECT_EQ(Message([&] { list.LoadFromFile(path); }), c.message) << c.text.toStdString();
        // Whatever went wrong, the list is as it was.
        EXPECT_EQ(list.Count(), 2);
        EXPECT_EQ(list.Get(0)->target.ringRecord, AirRifleRing());
    }
    EXPECT_TRUE(Message([&] { list.LoadFromFile(dir.filePath("missing.setup.xml")); }).startsWith("Cannot open file"));
    EXPECT_EQ(list.Count(), 2);

    // No SetupInfo: false, and nothing changes (also with a damaged text).
    for (const char* text : { "<SetupFile/>", "<SetupFile><Setup>" }) {
        WriteAll(path, text);
        EXPECT_FALSE(list.LoadFromFile(path));
        EXPECT_EQ(list.Count(), 2);
        TSetupHandler fresh;
        EXPECT_FALSE(TShotFileHandler().LoadSetupFile(path, fresh));
        EXPECT_EQ(fresh.Count(), 0);
    }

    // An empty SetupInfo is an empty list.
    WriteAll(path, SetupFileText(QString()).toUtf8());
    EXPECT_TRUE(list.LoadFromFile(path));
    EXPECT_EQ(list.Count(), 0);

    // Defaults of a minimal setup: arrows unlocked, cocking delay 0.3 s, the
    // ring's distance 10 m, caliber 0.01 mm, score limit 10; the description's
    // slot number stays 0.
    WriteAll(path, SetupFileText(setup.arg(QString(ModeText) + RingText)).toUtf8());
    ASSERT_TRUE(list.LoadFromFile(path));
    ASSERT_EQ(list.Count(), 1);
    const TTargetSetup& s = *list.Get(0);
    EXPECT_TRUE(s.blocks.ArrowsUnlocked());
    EXPECT_EQ(s.blocks.GetModeBlock(SetupBlocks::ClassicBlock).CockingDelay(), 3);
    EXPECT_EQ(s.target.ringRecord.NominalDistance(), 1000);
    EXPECT_EQ(s.target.ringRecord.Caliber(), 100);
    EXPECT_EQ(s.target.ringRecord.HIBMinScore(), 100);
    EXPECT_EQ(s.target.targetNumber, 0);
    EXPECT_TRUE(s.descriptions && s.descriptions->isEmpty());
}

TEST(SetupFile, WhatCannotBeReadBackIsNotWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("w.setup.xml");
    WriteAll(path, "previous");

    // Neither mode in use: the classic block is written all the same, so the
    // file can be opened again.
    TSetupHandler list;
    TTargetSetup idle = RingSetup();
    idle.blocks.SetModeBlock(SetupBlocks::ClassicBlock, ModeBlock {});
    list.Add(idle);
    list.SaveToFile(path);
    TSetupHandler loaded;
    ASSERT_TRUE(loaded.LoadFromFile(path));
    ExpectSameSetup(*loaded.Get(0), AsRead(idle));

    // A setup without a target would make the whole file unreadable: the
    // save fails before anything is written.
    const QByteArray before = ReadAll(path);
    list.Add(TTargetSetup {});
    EXPECT_EQ(Message([&] { list.SaveToFile(path); }), QStringLiteral("No target in setup"));
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_THROW(loaded.SaveToFile(dir.filePath("no/folder/x.setup.xml")), Exception);
}

TEST(SetupFile, HostileChildCountsStayWithinMemory)
{
    // The list is sized from the Setup elements alone: one setup among a
    // thousand other children makes a list of the usual capacity.
    QTemporaryDir dir;
    const auto file = [&](int children) {
        QByteArray text = "<SetupFile><SetupInfo>\n<Setup>" + QByteArray(ModeText) + RingText + "</Setup>\n";
        for (int i = 0; i < children; ++i)
            text += "<x/>\n";
        const QString path = dir.filePath(QStringLiteral("%1.setup.xml").arg(children));
        WriteAll(path, text + "</SetupInfo></SetupFile>\n");
        return path;
    };
    TSetupHandler list;
    ASSERT_TRUE(list.LoadFromFile(file(1000)));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Capacity(), 20);

    // A million tiny elements would take gigabytes in the tree: refused
    // before parsing, within 200 MB.
    const QString path = file(1000000);
    QString message;
    const long long growth = PeakGrowthKb([&] { message = Message([&] { list.LoadFromFile(path); }); });
    if (growth < 0)
        GTEST_SKIP() << "the kernel's peak memory cannot be reset here";
    EXPECT_EQ(message, QStringLiteral("Setup file too large (more than 200000 tags)"));
    EXPECT_LT(growth, 200 * 1024);
    EXPECT_EQ(list.Count(), 1);
}
