#include "SessionFixtures.h"
#include "Setupdata.h"
#include "Shotfile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

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

QByteArray Saved(const TSetupHandler& list, const QString& path)
{
    list.SaveToFile(path);
    return ReadAll(path);
}

QString SetupFileText(const QString& setups)
{
    return QStringLiteral("<SetupFile CreatedBy=\"TRAXEL 2.1\">\n<SetupInfo>\n%1</SetupInfo>\n</SetupFile>\n").arg(setups);
}

}  // namespace

// Saved, loaded and saved again, a list gives the same file: with the
// writer's form pinned by the shipped file, whatever the reader drops shows.
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
        const QByteArray first = Saved(list, dir.filePath("a.setup.xml"));
        TSetupHandler loaded;
        ASSERT_TRUE(loaded.LoadFromFile(dir.filePath("a.setup.xml")));
        EXPECT_EQ(Saved(loaded, dir.filePath("b.setup.xml")), first);
        ASSERT_EQ(loaded.Count(), 3);
        EXPECT_EQ(loaded.Get(0)->descriptions, list.Get(0)->descriptions);
        EXPECT_EQ(loaded.Get(0)->blocks.b[0], list.Get(0)->blocks.b[0]);  // mounting and lock
        EXPECT_EQ(loaded.Get(1)->target.silhouetteMatrix, AsymmetricMatrix());
        const RingTargetRecord& inch = loaded.Get(2)->target.ringRecord;
        EXPECT_EQ(std::tuple(inch.NameText(), inch.Caliber(), inch.DiameterVariableHminus(11)), std::tuple(QString("Unnamed"), -57, 11011));
        EXPECT_TRUE(loaded.Get(2)->descriptions->isEmpty());
        EXPECT_FALSE(loaded.Get(2)->extraLines.has_value());
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
    // The shipped file is in the writer's own form: saved as loaded, it comes
    // out byte for byte.
    TSetupHandler list;
    ASSERT_TRUE(list.LoadFromFile(DefaultSetupPath));
    QStringList names;
    for (int i = 0; i < list.Count(); ++i) {
        names << GetTargetName(list.Get(i)->target);
        EXPECT_TRUE(list.Get(i)->blocks.GetModeBlock(SetupBlocks::ClassicBlock).InUse());
        EXPECT_TRUE(list.Get(i)->blocks.GetModeBlock(SetupBlocks::DynamicBlock).InUse());
    }
    EXPECT_EQ(names, (QStringList { "Air Rifle 10m", "Air Pistol 10m", "Pistol 25m", "Silhouette 25m" }));
    QTemporaryDir dir;
    EXPECT_EQ(Saved(list, dir.filePath("copy.setup.xml")), ReadAll(DefaultSetupPath));
}

TEST(SetupFile, ReaderErrorsKeepTheLoadedList)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("e.setup.xml");
    TSetupHandler list;
    list.Add(RingSetup());
    list.Add(SilhouetteSetup());
    const QString setup = QStringLiteral("<Setup>%1</Setup>\n");
    const QString farRing = QString(MinimalRingText).replace("\"R\" TargetNumber=\"5\"", "\"Far\" TargetNumber=\"99\"");
    const QString badMode = QString(MinimalModeText).replace("<CTRL2>0</CTRL2>", "<CTRL2>x</CTRL2>");
    const struct {
        QString text;
        QString message;
    } cases[] = {
        { SetupFileText("<Other/>\n"), "No targets in setup file" },
        { SetupFileText(setup.arg(MinimalRingText)), "No mode in setup" },
        { SetupFileText(setup.arg(MinimalModeText)), "No target in setup" },
        { SetupFileText(setup.arg(QString(MinimalModeText) + "<Target Type=\"Cube\"/>")), "Unknown target type" },
        { SetupFileText(setup.arg(QString(MinimalModeText) + MinimalRingText) + setup.arg(QString(MinimalModeText) + farRing)),
            "Ring target index invalid:Far" },
        { SetupFileText(setup.arg(badMode + MinimalRingText)), "'x' is not a valid integer value" },
        { SetupFileText(setup.arg(QString(MinimalModeText) + MinimalRingText)).remove("</SetupFile>\n"),
            "TMiniXMLParser::Load - EOF before closing root node.SetupFile5" },
    };
    for (const auto& c : cases) {
        WriteAll(path, c.text.toUtf8());
        EXPECT_EQ(Message([&] { list.LoadFromFile(path); }), c.message) << c.text.toStdString();
        // Whatever went wrong, the list is as it was.
        EXPECT_EQ(std::tuple(list.Count(), list.Get(0)->target.ringRecord), std::tuple(2, AirRifleRing()));
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
    WriteAll(path, SetupFileText(setup.arg(QString(MinimalModeText) + MinimalRingText)).toUtf8());
    ASSERT_TRUE(list.LoadFromFile(path));
    ASSERT_EQ(list.Count(), 1);
    const TTargetSetup& s = *list.Get(0);
    const RingTargetRecord& r = s.target.ringRecord;
    EXPECT_EQ(std::tuple(s.blocks.ArrowsUnlocked(), s.blocks.GetModeBlock(SetupBlocks::ClassicBlock).CockingDelay(),
                         r.NominalDistance(), r.Caliber(), r.HIBMinScore(), s.target.targetNumber),
              std::tuple(true, 3, 1000, 100, 100, 0));
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
    EXPECT_EQ(loaded.Count(), 1);

    // A setup without a target would make the whole file unreadable: the
    // save fails before anything is written.
    const QByteArray before = ReadAll(path);
    list.Add(TTargetSetup {});
    EXPECT_EQ(Message([&] { list.SaveToFile(path); }), QStringLiteral("No target in setup"));
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_THROW(loaded.SaveToFile(dir.filePath("no/folder/x.setup.xml")), Exception);
}
