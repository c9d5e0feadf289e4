// Every XML file the project holds (the tests' data and the shipped files),
// read and written again, must give exactly the bytes kept in data/resaved/:
// the reader and writer may get faster, never different. A generated session
// with traces, both target kinds and odd values is pinned the same way.
//
// TRAXEL_WRITE_RESAVED=1 writes the expected files instead of comparing (only
// after a change of output that is meant).
#include "SessionFixtures.h"
#include "Shotfile.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

using namespace Fixtures;
using MiniXMLParser::TMiniXMLParser;

namespace {

const QString SourceRoot = QDir::cleanPath(QStringLiteral(TRAXEL_TEST_DATA_DIR "/../../.."));
const QString ResavedDir = QStringLiteral(TRAXEL_TEST_DATA_DIR "/resaved");

bool Regenerate() { return qEnvironmentVariableIntValue("TRAXEL_WRITE_RESAVED") != 0; }

// The project's XML files, relative to the source root, in a fixed order.
QStringList ProjectXmlFiles()
{
    QStringList files;
    for (const QString& folder : { QStringLiteral("tests"), QStringLiteral("assets") }) {
        QDirIterator it(SourceRoot + '/' + folder, { QStringLiteral("*.xml") }, QDir::Files,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = QDir(SourceRoot).relativeFilePath(it.next());
            if (!path.contains(QLatin1String("/resaved/")))
                files.append(path);
        }
    }
    files.sort();
    return files;
}

void ExpectBytes(const QString& expectedName, const QByteArray& actual)
{
    const QString path = ResavedDir + '/' + expectedName;
    if (Regenerate()) {
        QDir().mkpath(ResavedDir);
        WriteAll(path, actual);
        return;
    }
    const QByteArray expected = ReadAll(path);
    ASSERT_FALSE(expected.isEmpty()) << "missing " << path.toStdString();
    if (actual == expected)
        return;
    qsizetype at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
        ++at;
    ADD_FAILURE() << expectedName.toStdString() << " differs from byte " << at << ": got \""
                  << actual.mid(at, 60).toStdString() << "\", expected \"" << expected.mid(at, 60).toStdString()
                  << "\"";
}

QString Flat(const QString& relative) { return QString(relative).replace('/', '_'); }

// A session of two shooters with long traces, failures, silhouette and ring
// shots, negative and extreme coordinates, and names that need entities.
std::unique_ptr<TSession> GeneratedSession()
{
    std::mt19937 rng(20240517);  // its output is fixed by the standard
    const auto coord = [&rng](int range) { return int(rng() % unsigned(2 * range + 1)) - range; };
    auto session = std::make_unique<TSession>();
    session->name = QStringLiteral("Resave <check> & \"quotes\"");
    session->date = QStringLiteral("2024-05-17 10:00");
    for (int s = 0; s < 2; ++s) {
        auto shooter = std::make_unique<TShooter>();
        shooter->name = QStringLiteral("Sch\u00fctze %1 'A'").arg(s + 1);
        shooter->team = s == 0 ? QStringLiteral("Team\t1") : QString();
        shooter->SetSerialNumber(QStringLiteral("SN%1").arg(1000 + s));
        shooter->targets.ringTargets[0] = AirRifleRing();
        shooter->targets.ringDefined[0] = 1;
        shooter->targets.silhouetteTargets[1] = TorsoSilhouette();
        shooter->targets.silhouetteMatrices[1] = AsymmetricMatrix();
        shooter->targets.silhouetteDefined[1] = 1;
        shooter->SetModeBlock(SetupBlocks::ClassicBlock, ClassicRingMode());
        shooter->SetModeBlock(SetupBlocks::DynamicBlock, DynamicSilhouetteMode());
        for (int k = 0; k < 6; ++k) {
            auto shot = std::make_unique<TShot>();
            RawShotRecord& r = shot->raw;
            const bool ring = k % 3 != 2;
            r.SetRingTargetIndex(ring ? 0 : RawShotRecord::NoTarget);
            r.SetSilhouetteTargetIndex(ring ? RawShotRecord::NoTarget : 1);
            r.SetFunctionMode(ring ? 1 : 2);
            r.SetTime(uint32_t(k * 6601 + 13));
            r.SetScore(k == 4 ? RawShotRecord::NoScore : 80 + k * 3);
            r.SetInnerTen(k == 1);
            r.SetClockSector(1 + k);
            r.SetSilhouette(k % 4);
            r.SetX(k == 0 ? -32768 : coord(900));
            r.SetY(k == 0 ? 32767 : coord(900));
            r.SetXNAU(coord(30000));
            r.SetYNAU(coord(30000));
            r.SetRevalm(coord(500));
            r.SetRotation(coord(90));
            r.SetFailures(k == 3 ? 16 : 0);
            shot->aimingTime = 1500 + k * 7;
            const int samples = k == 5 ? 0 : 40 + 7 * k;
            shot->AllocateCurve(samples);
            for (int p = 0; p < samples; ++p) {
                shot->Curve()[p].SetX(coord(p % 10 == 0 ? 32000 : 900));
                shot->Curve()[p].SetY(coord(900));
                shot->Curve()[p].SetFailures(p % 17 == 3 ? 4 : 0);
            }
            shooter->AddShot(std::move(shot));
        }
        session->AddShooter(std::move(shooter));
    }
    return session;
}

}  // namespace

// The document layer alone: parse, build, write.
TEST(XmlResave, EveryProjectFileWritesTheSameBytes)
{
    const QStringList files = ProjectXmlFiles();
    ASSERT_GE(files.size(), 5);
    QTemporaryDir dir;
    for (const QString& relative : files) {
        SCOPED_TRACE(relative.toStdString());
        TMiniXMLParser doc;
        ASSERT_TRUE(doc.LoadFromFile(SourceRoot + '/' + relative)) << MiniXMLParser::LastParseErrorText().toStdString();
        doc.Build();
        doc.SetFileName(dir.filePath(QStringLiteral("out.xml")));
        doc.SaveToFile();
        ExpectBytes(Flat(relative), ReadAll(doc.FileName()));
    }
}

// The session and setup readers and writers on top: what they take from a file
// and write back.
TEST(XmlResave, SessionAndSetupFilesReadAndWrittenAgain)
{
    const SeparatorGuard guard;
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.xml"));
    int seen = 0;
    for (const QString& relative : ProjectXmlFiles()) {
        SCOPED_TRACE(relative.toStdString());
        const QString path = SourceRoot + '/' + relative;
        if (relative.endsWith(QLatin1String(".shotfile.xml"))) {
            for (const QChar separator : { QLatin1Char('.'), QLatin1Char(',') }) {
                SetDecimalSeparator(separator);
                TShotFileHandler reader;
                reader.LoadShotFile(path);
                TShotFileHandler writer;
                writer.SetSession(reader.Session());
                writer.BuildShotFile();
                writer.Save(out);
                ExpectBytes(Flat(relative) + (separator == '.' ? ".session" : ".session-comma"), ReadAll(out));
            }
            ++seen;
        } else if (relative.endsWith(QLatin1String(".setup.xml"))) {
            TSetupHandler setups;
            TShotFileHandler handler;
            ASSERT_TRUE(handler.LoadSetupFile(path, setups));
            TShotFileHandler().SaveSetupFile(out, setups);
            ExpectBytes(Flat(relative) + ".setups", ReadAll(out));
            ++seen;
        }
    }
    EXPECT_GE(seen, 2);
}

TEST(XmlResave, GeneratedSessionWrittenAndReadBack)
{
    const SeparatorGuard guard;
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.shotfile.xml"));
    const QString second = dir.filePath(QStringLiteral("second.shotfile.xml"));
    const std::unique_ptr<TSession> session = GeneratedSession();
    for (const QChar separator : { QLatin1Char('.'), QLatin1Char(',') }) {
        SetDecimalSeparator(separator);
        SaveSession(*session, first);
        ExpectBytes(separator == '.' ? QStringLiteral("generated.shotfile.xml")
                                     : QStringLiteral("generated-comma.shotfile.xml"),
            ReadAll(first));
        // What is read back (the reader drops what a shot's targets do not
        // use) is pinned as well.
        const std::unique_ptr<TSession> read = LoadSession(first);
        SaveSession(*read, second);
        ExpectBytes(separator == '.' ? QStringLiteral("generated.reread.shotfile.xml")
                                     : QStringLiteral("generated-comma.reread.shotfile.xml"),
            ReadAll(second));
    }
}
