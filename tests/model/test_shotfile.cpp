#include "SessionFixtures.h"
#include "Shotfile.h"
#include "XmlNames.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <tuple>

using namespace Fixtures;
using MiniXMLParser::TMiniXMLParser;
using MiniXMLParser::TXMLNode;

// Allocations through new of at least this many bytes fail while it is not 0,
// as they would with the memory used up.
static std::atomic<std::size_t> FailAllocationsFrom {0};

void* operator new(std::size_t size)
{
    const std::size_t limit = FailAllocationsFrom.load(std::memory_order_relaxed);
    if (limit != 0 && size >= limit)
        throw std::bad_alloc();
    if (void* p = std::malloc(size != 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

// The golden file of SmallSession() written with '.', as text without the
// byte-order mark and CRs.
QString GoldenText()
{
    return QString::fromUtf8(TestData("golden.shotfile.xml").mid(3)).remove(QLatin1Char('\r'));
}

// The same file under a ',' locale: element texts change, attributes do not.
QString Commaify(const QString& text)
{
    static const QRegularExpression element(QStringLiteral("^( *<(\\w+)[^>]*>)([^<]*)(</\\2>)$"));
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        const QRegularExpressionMatch m = element.match(line);
        if (m.hasMatch())
            line = m.captured(1) + m.captured(3).replace(QLatin1Char('.'), QLatin1Char(',')) + m.captured(4);
    }
    return lines.join(QLatin1Char('\n'));
}

// As written to disk: byte-order mark, CR LF after every line.
QByteArray FileBytes(const QString& text)
{
    QString crlf = text;
    crlf.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return QByteArray("\xEF\xBB\xBF") + crlf.toUtf8();
}

// The bytes of the file a session gives when saved.
QByteArray Saved(TSession& session, const QString& path)
{
    SaveSession(session, path);
    return ReadAll(path);
}

}  // namespace

// Read back and saved again, a file gives its own bytes: with the writer
// pinned by the golden file, whatever the reader drops or misplaces shows.
TEST(ShotFile, GoldenFileWithEitherSeparator)
{
    SeparatorGuard guard;
    QTemporaryDir dir;
    const QString path = dir.filePath("s.shotfile.xml"), again = dir.filePath("t.shotfile.xml");
    const QString dot = GoldenText();
    ASSERT_TRUE(Commaify(dot).contains(QLatin1String("<Score X=\"1\">9,5</Score>")));
    ASSERT_TRUE(Commaify(dot).contains(QLatin1String("<Pt i=\"1\" X=\"-0.5\" Y=\"0.3\" Failures=\"16\"/>")));
    // The session name and Revalm are written, not read.
    const QString reread = QString(dot).replace("<Name>Evening &lt;A&amp;B&gt;</Name>", "<Name/>").replace("Revalm=\"12.3\"", "Revalm=\"0\"");

    auto session = SmallSession();
    for (QChar separator : { QChar(u'.'), QChar(u',') }) {
        SetDecimalSeparator(separator);
        const auto local = [&](const QString& text) { return separator == u'.' ? text : Commaify(text); };
        EXPECT_EQ(Saved(*session, path), FileBytes(local(dot)));
        for (QChar readWith : { QChar(u'.'), QChar(u',') }) {
            SCOPED_TRACE(std::string("written with ") + char(separator.unicode()) + ", read with " + char(readWith.unicode()));
            SetDecimalSeparator(readWith);
            auto loaded = LoadSession(path);
            SetDecimalSeparator(separator);
            EXPECT_EQ(Saved(*loaded, again), FileBytes(local(reread)));
        }
    }
}

TEST(ShotFile, RoundTripKeepsOrderRawBytesCurvesAndTargets)
{
    // Shots arrive out of time order; the file keeps the sorted order, every
    // byte it carries (values in range) and every trace. Every shooter gets
    // the file's table.
    QTemporaryDir dir;
    TSession session;
    for (int s = 0; s < 3; ++s) {
        TShooter* shooter = session.AddShooter(std::make_unique<TShooter>());
        shooter->name = QString::fromUtf8("Sch\xC3\xBCtze & <%1>").arg(s);
        shooter->SetSerialNumber(QStringLiteral("SN%1").arg(s));
        shooter->targets.ringTargets[s] = AirRifleRing();
        shooter->targets.ringDefined[s] = shooter->targets.silhouetteDefined[s + 2] = 1;
        shooter->targets.silhouetteTargets[s + 2] = TorsoSilhouette();
        shooter->targets.silhouetteMatrices[s + 2] = AsymmetricMatrix();
        for (int k = 0; k < 12; ++k) {
            auto shot = std::make_unique<TShot>();
            RawShotRecord& r = shot->raw;
            for (int i = 0; i < 36; ++i)
                r.b[i] = uint8_t(37 * k + 11 * i + s);
            r.SetRingTargetIndex(k % 3 == 2 ? RawShotRecord::NoTarget : s);
            r.SetSilhouetteTargetIndex(k % 3 == 0 ? RawShotRecord::NoTarget : s + 2);
            r.SetFunctionMode(k % 2 ? 1 : 2);
            r.SetStartupCounter(k % 4);
            r.SetTime(uint32_t((7 - k) * 100003 + s) & 0xFFFFFF);
            r.SetRevalm(0);
            r.SetScore(k * 21);
            r.SetSector(uint8_t(k % 13 | (k % 2) << 7));
            r.SetSilhouette(k % 4);
            if (k < 2) {  // the ends of the 16-bit positions
                r.SetX(k ? 32767 : -32768);
                r.SetY(k ? -32768 : 32767);
            }
            shot->aimingTime = k * 7;
            shot->AllocateCurve(k * 3);
            for (int p = 0; p < k * 3; ++p) {
                shot->Curve()[p].SetX(p * 97 - 1500);
                shot->Curve()[p].SetY(-p * 31);
                shot->Curve()[p].SetFailures(p % 5 == 0 ? p : 0);
            }
            if (k == 11) {
                shot->Curve()[0].SetX(-32768);
                shot->Curve()[1].SetY(32767);
            }
            shooter->AddShot(std::move(shot));
        }
    }
    const QByteArray written = Saved(session, dir.filePath("s.shotfile.xml"));
    auto loaded = LoadSession(dir.filePath("s.shotfile.xml"));
    EXPECT_EQ(Saved(*loaded, dir.filePath("t.shotfile.xml")), written);
    ASSERT_EQ(loaded->ShooterCount(), 3);
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE(s);
        const TShooter& r = *loaded->GetShooter(s);
        EXPECT_EQ(r.index, s + 1);
        ASSERT_EQ(r.ShotCount(), 12);
        for (int i = 0; i < 12; ++i) {
            EXPECT_EQ(r.GetShot(i)->raw.Time(), session.GetShooter(s)->GetShot(i)->raw.Time());
            EXPECT_EQ(r.GetShot(i)->shotNumber + r.GetShot(i)->timeKey, i + 1 + r.GetShot(i)->raw.Time());
        }
        for (int t = 0; t < 3; ++t) {
            EXPECT_EQ(r.targets.ringTargets[t].NameText(), QStringLiteral("Air Rifle"));
            EXPECT_EQ(r.targets.silhouetteMatrices[t + 2], AsymmetricMatrix());
        }
    }
}

TEST(ShotFile, RingSizesAtTheEdgesOfRangeAndScale)
{
    // Values at the ends of their 16 bits and where a decimal scale is easily
    // got wrong, under either separator: ring sizes in 0.1 mm or 0.01 inch,
    // the signed caliber in 0.01 mm or 0.001 inch (positions: in the round
    // trip above).
    const struct {
        bool inch;
        int caliber, size;
        const char *caliberText, *sizeText;
    } rings[] = {
        { false, -32768, 65535, "-327.68", "6553.5" }, { false, -1, 1, "-0.01", "0.1" },
        { false, 32767, 10, "327.67", "1" }, { true, -32768, 65535, "-32.768", "655.35" },
        { true, -1, 5, "-0.001", "0.05" }, { true, 10, 29, "0.01", "0.29" },
        { true, 177, 115, "0.177", "1.15" }, { true, 1000, 57, "1", "0.57" }, { true, 32767, 0, "32.767", "0" },
    };
    SeparatorGuard guard;
    for (QChar separator : { QChar(u'.'), QChar(u',') }) {
        SetDecimalSeparator(separator);
        for (const auto& r : rings) {
            SCOPED_TRACE(std::string(r.caliberText) + " " + r.sizeText + " with " + char(separator.unicode()));
            RingTargetRecord t;
            t.SetNameText(QStringLiteral("T"));
            t.SetSizesInInch(r.inch);
            t.SetCaliberInInch(r.inch);
            t.SetCaliber(r.caliber);
            for (int k = 0; k < 16; ++k)
                PutBE16(t.data() + 32 + 2 * k, r.size);  // the sixteen sizes
            TXMLNode element;
            TShotFileHandler().WriteRingTarget(&element, t);
            EXPECT_EQ(element.GetNodeText("Caliber"), QString(r.caliberText).replace(u'.', separator));
            EXPECT_EQ(element.GetNodeText("DiameterX"), QString(r.sizeText).replace(u'.', separator));
            element.SetAttributeFloat("TargetNumber", 0);
            auto table = std::make_unique<DeviceSetup>();
            TShotFileHandler::ReadRingTarget(&element, *table);
            EXPECT_EQ(table->ringTargets[0], RingAsRead(t));
        }
    }
}

TEST(ShotFile, NumbersWrittenByOtherProgramsReadAsTheirValue)
{
    // A trace X in 0.1 mm, truncated toward zero and kept in 16 bits; either
    // separator, blanks, signs and exponents read, and a value within a hair
    // of a whole tenth counts as it. The integer XNAU takes only integers.
    const struct {
        const char* text;
        int tenths;
        std::optional<int> integer;
    } cases[] = {
        { "12.34", 123, {} }, { "-12.35", -123, {} }, { "0.05", 0, {} }, { "-0.05", 0, {} }, { "12,3", 123, {} },
        { "+3.5", 35, {} }, { " 7.25 ", 72, {} }, { "1e1", 100, {} }, { "2.9999999999", 30, {} },
        { "2.999", 29, {} }, { "-0.0", 0, {} }, { ".5", 5, {} }, { "5.", 50, {} }, { "99999.999", 16959, {} },
        { "3276.8", -32768, {} }, { "-7", -70, -7 }, { "+007", 70, 7 }, { " 12 ", 120, 12 },
        { "123456", -10624, -7616 }, { "9999999999", -6154, {} }, { "999999999999", -24586, {} },
    };
    const auto read = [](const QString& x, const QString& xnau) {
        TMiniXMLParser doc;
        EXPECT_TRUE(doc.LoadFromText(QStringLiteral("<Shot X=\"0\" Y=\"0\" XNAU=\"%2\" YNAU=\"0\" FunctionMode=\"Classic\">"
                                                    "<ShotInfo/><Curve><Pt X=\"%1\" Y=\"0\"/></Curve></Shot>")
                                         .arg(x, xnau)));
        TShooter shooter;
        return *TShotFileHandler().ReadShot(doc.Root(), shooter);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(read(c.text, "0").Curve()[0].X(), c.tenths);
        if (c.integer)
            EXPECT_EQ(read("0", c.text).raw.XNAU(), *c.integer);
        else
            EXPECT_THROW(read("0", c.text), EConvertError);
    }
    EXPECT_EQ(Message([&] { read("1..2", "0"); }), QStringLiteral("'1..2' is not a valid floating point value"));
    // Entities are decoded first; keys are found without regard to case.
    EXPECT_EQ(Message([&] { read("1&lt;", "0"); }), QStringLiteral("'1<' is not a valid floating point value"));
    TMiniXMLParser doc;
    ASSERT_TRUE(doc.LoadFromText("<Shot x=\"1.5\" Y=\"0\" xnau=\"7\" YNAU=\"0\" functionmode=\"Classic\"><ShotInfo/>"
                                 "<Curve><Pt x=\"2.5\" Y=\"0\" failures=\"4\"/></Curve></Shot>"));
    TShooter shooter;
    const TShot& shot = *TShotFileHandler().ReadShot(doc.Root(), shooter);
    EXPECT_EQ(std::tuple(shot.raw.X(), shot.raw.XNAU(), shot.raw.FunctionMode(), shot.Curve()[0].X(), shot.Curve()[0].Failures()),
              std::tuple(15, 7, 1, 25, 4));
}

// Trace values are read without a double when they are plain decimals: the
// result must be the general reading's (a leading blank takes that way),
// however many digits, whichever sign and separator.
TEST(ShotFile, PlainDecimalsReadAsTheGeneralWayReadsThem)
{
    const auto x = [](const QString& text) {
        TMiniXMLParser doc;
        EXPECT_TRUE(doc.LoadFromText(QStringLiteral("<Shot X=\"0\" Y=\"0\" XNAU=\"0\" YNAU=\"0\" FunctionMode=\"Classic\">"
                                                    "<ShotInfo/><Curve><Pt X=\"%1\" Y=\"0\"/></Curve></Shot>")
                                         .arg(text)));
        TShooter shooter;
        return TShotFileHandler().ReadShot(doc.Root(), shooter)->Curve()[0].X();
    };
    std::mt19937 rng(7);
    const auto digits = [&rng](int n) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += QChar(u'0' + char16_t(rng() % 10));
        return s;
    };
    for (int i = 0; i < 1500; ++i) {
        const char* const signs[] = {"", "-", "+"};
        QString text = QLatin1String(signs[rng() % 3]) + digits(1 + int(rng() % 17));
        if (rng() % 3 != 0)
            text += QLatin1Char(rng() % 2 ? '.' : ',') + digits(int(rng() % 5));
        SCOPED_TRACE(text.toStdString());
        ASSERT_EQ(x(text), x(QLatin1Char(' ') + text));
    }
}

namespace {

// A session file around the given TargetInfo children and Shooter elements.
QString ShotFileText(const QString& targets, const QString& shooters)
{
    return QStringLiteral("<ShotFile CreatedBy=\"TRAXEL 2.1\">\n<SessionInfo><Name>n</Name><Date>d</Date></SessionInfo>\n"
                          "<TargetInfo>\n%1</TargetInfo>\n%2</ShotFile>\n")
        .arg(targets, shooters);
}

QString RingTargetText(const QString& name, const QString& number)
{
    return QStringLiteral("<Target Type=\"Ring\" TargetName=\"%1\" TargetNumber=\"%2\">"
                          "<HighestRing>10</HighestRing><MinimumRing>1</MinimumRing>"
                          "<TargetWidth>0</TargetWidth><TargetHeight>0</TargetHeight></Target>\n")
        .arg(name, number);
}

// A silhouette target whose rows are given; the other rows are filled in
// order with zeros.
QString SilhouetteTargetText(const QString& number, const QStringList& rows, int totalRows = 64)
{
    QString text = QStringLiteral("<Target Type=\"Silhouette\" TargetName=\"Sil\" TargetNumber=\"%1\">"
                                  "<PrismPlaceX>1</PrismPlaceX><PrismPlaceY>2</PrismPlaceY>\n")
                       .arg(number);
    for (int r = 0; r < totalRows; ++r) {
        text += r < rows.size() ? rows[r]
                                : QStringLiteral("<MatrixRow Row=\"%1\" Columns=\"%2\"/>\n").arg(r).arg(QString(64, u'0'));
    }
    return text + QStringLiteral("</Target>\n");
}

QString ShooterText(const QString& shots)
{
    return QStringLiteral("<Shooter Name=\"A\">\n%1</Shooter>\n").arg(shots);
}

// What a session file gives: the error, or the first shot's ring slot,
// score, sector, silhouette slot and zone (" X" for an inner ten), and the
// field the first log line names.
QString Outcome(const QString& path, const QString& text)
{
    WriteAll(path, text.toUtf8());
    LogCapture log;
    std::unique_ptr<TSession> session;
    const QString error = Message([&] { session = LoadSession(path); });
    if (!session)
        return error;
    static const QRegularExpression field(QStringLiteral("shot \\d+: (\\w+) \""));
    const QString logged = log.lines.isEmpty() ? QString() : " | " + field.match(log.lines[0]).captured(1);
    const TShooter* shooter = session->GetShooter(0);
    if (!shooter || shooter->ShotCount() == 0)
        return "no shot" + logged;
    const RawShotRecord& r = shooter->GetShot(0)->raw;
    return QStringLiteral("%1 %2 %3 %4 %5").arg(r.RingTargetIndex()).arg(r.Score()).arg(r.ClockSector())
               .arg(r.SilhouetteTargetIndex()).arg(r.Silhouette())
        + (r.InnerTen() ? " X" : "") + logged;
}

}  // namespace

TEST(ShotFile, WhatTheReaderMakesOfEachFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("e.shotfile.xml"), again = dir.filePath("f.shotfile.xml");
    const auto shot = [](const QString& inner, const QString& attributes = "XNAU=\"3\" FunctionMode=\"Classic\"") {
        return ShotFileText(QString(), ShooterText("<Shot X=\"1\" Y=\"2\" YNAU=\"4\" " + attributes + ">" + inner + "</Shot>\n"));
    };
    // The slots the shots below use hold targets: ring 0, 2 and 15, silhouette 1 and 15.
    const QString defined = RingTargetText("R", "0") + RingTargetText("R", "2") + RingTargetText("R", "15")
                            + SilhouetteTargetText("1", {}) + SilhouetteTargetText("15", {});
    const auto info = [&](const QString& inner) {
        return ShotFileText(defined, ShooterText("<Shot X=\"1\" Y=\"2\" XNAU=\"3\" YNAU=\"4\" FunctionMode=\"Classic\">"
                                                 "<ShotInfo>" + inner + "</ShotInfo></Shot>\n"));
    };
    const auto zones = [](const QStringList& rows, int total = 64) { return ShotFileText(SilhouetteTargetText("0", rows, total), QString()); };
    const auto row = [](const QString& at, const QString& columns) {
        return QStringLiteral("<MatrixRow Row=\"%1\" Columns=\"%2\"/>\n").arg(at, columns);
    };
    const QString zeros(64, u'0');
    const QString noKey = QStringLiteral("TXMLNode::GetAttributeValue - Invalid Key (not found)");
    const QStringList golden = GoldenText().split('\n');
    const int lastShot = int(golden.lastIndexOf("   <Curve HitSampleIndex=\"-1\"/>")) + 1;
    const QString eof = QStringLiteral("TMiniXMLParser::Load - EOF before closing root node.");
    const QString badZoneMap = QStringLiteral("Silhouette target invalid:Sil");
    const struct {
        QString text;
        QString outcome;
    } cases[] = {
        { "<ShotFile><TargetInfo/></ShotFile>", "No session info node" },
        { "<ShotFile><SessionInfo/></ShotFile>", "No target info node" },
        { ShotFileText("<Target Type=\"Square\" TargetNumber=\"0\"/>\n", QString()), "Unknown target type" },
        { shot(QString()), "No shot info node on shot" },
        { shot("<ShotInfo/>", "FunctionMode=\"Classic\""), noKey },
        { shot("<ShotInfo/>", "XNAU=\"3\""), noKey },
        { ShotFileText(QString(), ShooterText("<ModeInfo><CTRL1>1</CTRL1></ModeInfo>\n")), noKey },
        { ShotFileText(RingTargetText("Wide", "16"), QString()), "Ring target index invalid:Wide" },
        { ShotFileText(RingTargetText("Neg", "-1"), QString()), "Ring target index invalid:Neg" },
        { ShotFileText(SilhouetteTargetText("16", {}), QString()), "Silhouette index invalid:Sil" },
        { zones({}), "no shot" },
        // A cut or damaged file gives the parser's error: the innermost open
        // element and the last line taken, also when the cut made a required
        // element look missing; a damaged tag in a shot, on the reader's own
        // path for shots.
        { golden.mid(0, lastShot).join('\n'), eof + "Shot" + QString::number(lastShot - 1) },
        { golden.mid(0, 20).join('\n'), eof + "Target19" },
        { golden.join('\n').replace("<Pt i=\"1\"", "<Pt i=\"1\" <"), "TMiniXMLParser::Load - Invalid element tag, multiple '<' or '>' "
          "found<Pt i=\"1\" < X=\"-0.5\" Y=\"0.3\" Failures=\"16\"/>" + QString::number(golden.indexOf("    <Pt i=\"1\" X=\"-0.5\" Y=\"0.3\" Failures=\"16\"/>")) },
        // Zone maps that would write outside the grid, read past the text or
        // hold a zone the drawing code has no colour for.
        { zones({}, 63), badZoneMap },
        { zones({ row("64", zeros) }), badZoneMap },
        { zones({ row("-1", zeros) }), badZoneMap },
        { zones({ row("0", zeros.left(63)) }), badZoneMap },
        { zones({ row("0", "4" + zeros.left(63)) }), badZoneMap },
        { zones({ row("0", zeros.left(63) + "/") }), badZoneMap },
        { zones({ "<MatrixRow Row=\"0\"/>\n" }), badZoneMap },
        // A score, sector, zone or slot that does not fit is none (score 255,
        // sector 0, zone 255, slot 255) instead of its low bits read as another
        // valid-looking value, and logged; the shot stays.
        { info("<Time>5</Time>"), "255 0 0 255 0" },
        { info("<Score X=\"1\">9.5</Score><Sector>12</Sector><RingTarget>15</RingTarget>"), "15 95 12 255 0 X" },
        { info("<Score>0</Score><Sector>0</Sector><RingTarget>0</RingTarget>"), "0 0 0 255 0" },
        { info("<Score>25.4</Score><Sector>-1</Sector><RingTarget>0</RingTarget>"), "0 254 0 255 0" },
        { info("<Score X=\"1\">-5</Score><Sector>3</Sector><RingTarget>0</RingTarget>"), "0 255 3 255 0 | Score" },
        { info("<Score>25.5</Score><Sector>3</Sector><RingTarget>0</RingTarget>"), "0 255 3 255 0 | Score" },
        { info("<Score>9.5</Score><Sector>13</Sector><RingTarget>0</RingTarget>"), "0 95 0 255 0 | Sector" },
        { info("<Score>9.5</Score><Sector>3</Sector><RingTarget>200</RingTarget>"), "255 0 0 255 0 | RingTarget" },
        { info("<Score>9.5</Score><Sector>3</Sector><RingTarget>256</RingTarget>"), "255 0 0 255 0 | RingTarget" },
        { info("<Silhouette>3</Silhouette><SilhouetteTarget>15</SilhouetteTarget>"), "255 0 0 15 3" },
        { info("<Silhouette>9</Silhouette><SilhouetteTarget>1</SilhouetteTarget>"), "255 0 0 1 255 | Silhouette" },
        { info("<Silhouette>-3</Silhouette><SilhouetteTarget>1</SilhouetteTarget>"), "255 0 0 1 255 | Silhouette" },
        { info("<Silhouette>1</Silhouette><SilhouetteTarget>-2</SilhouetteTarget>"), "255 0 0 255 0 | SilhouetteTarget" },
        // A ring shot without Score keeps score "none" and no inner ten.
        { info("<RingTarget>2</RingTarget><Sector>4</Sector>"), "2 255 4 255 0" },
        // A slot in range that the file holds no target for is none too.
        { info("<Score>9.5</Score><Sector>3</Sector><RingTarget>5</RingTarget>"), "255 0 0 255 0 | RingTarget" },
        { info("<Silhouette>2</Silhouette><SilhouetteTarget>3</SilhouetteTarget>"), "255 0 0 255 0 | SilhouetteTarget" },
        { ShotFileText(QString(), ShooterText("<Shot X=\"1\" Y=\"2\" XNAU=\"3\" YNAU=\"4\" FunctionMode=\"Classic\">"
                                              "<ShotInfo><Score>9</Score><RingTarget>0</RingTarget></ShotInfo></Shot>\n")),
          "255 0 0 255 0 | RingTarget" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(Outcome(path, c.text), c.outcome);
        if (!c.outcome.front().isDigit())
            continue;
        // Saved and read again: the same shot, and nothing more to report.
        SaveSession(*LoadSession(path), again);
        const QString saved = QString::fromUtf8(ReadAll(again));
        EXPECT_EQ(Outcome(path, saved), c.outcome.section(" | ", 0, 0));
        // Only the targets the shot uses are written: none for a shot without one.
        EXPECT_EQ(saved.contains("<Target "), !c.outcome.startsWith("255 0 0 255")) << saved.toStdString();
    }

    // What was read before the cut is kept.
    WriteAll(path, golden.mid(0, lastShot).join('\n').toUtf8());
    TShotFileHandler cut;
    EXPECT_THROW(cut.LoadShotFile(path), Exception);
    ASSERT_EQ(cut.Session()->ShooterCount(), 1);
    EXPECT_EQ(cut.Session()->GetShooter(0)->ShotCount() + cut.Session()->targets.silhouetteDefined[1], 2 + 1);

    // Blanks around the digits do not count; rows may come in any order.
    QStringList reversed;
    for (int r = 63; r >= 0; --r)
        reversed << row(QString::number(r), r == 63 ? " 3" + zeros.left(63) + " " : zeros);
    EXPECT_EQ(Outcome(path, zones(reversed)), "no shot");
    TShotFileHandler h;
    h.LoadShotFile(path);
    EXPECT_EQ(h.Session()->targets.silhouetteMatrices[0].Cell(0, 63) + h.Session()->targets.silhouetteMatrices[0].Cell(0, 0), 3);
    EXPECT_EQ(h.Session()->targets.silhouetteTargets[0].PrismPlaceY(), 2);

    // A shot without Curve has no trace, one without Time the latest time;
    // positions take either separator.
    WriteAll(path, shot("<ShotInfo/>", "XNAU=\"3\" FunctionMode=\"Dynamic\"").replace("X=\"1\" Y=\"2\"", "X=\"1,5\" Y=\"-2.25\"").toUtf8());
    const auto loaded = LoadSession(path);
    const TShot& read = *loaded->GetShooter(0)->GetShot(0);
    EXPECT_EQ(std::tuple(read.raw.X(), read.raw.Y(), read.raw.Time(), read.Curve()), std::tuple(15, -22, 0xFFFFFFu, nullptr));
    EXPECT_EQ(loaded->GetShooter(0)->SerialNumber(), QStringLiteral("N/A"));

    // A negative aiming time is unknown (0), like a missing one, and logged.
    for (const auto& [text, time, logged] : {std::tuple("-100", 0, 1), std::tuple("-1", 0, 1), std::tuple("1485", 1485, 0)}) {
        WriteAll(path, shot(QStringLiteral("<ShotInfo><AimingTime>%1</AimingTime></ShotInfo>").arg(text)).toUtf8());
        LogCapture aiming;
        EXPECT_EQ(LoadSession(path)->GetShooter(0)->GetShot(0)->aimingTime, time) << text;
        EXPECT_EQ(int(aiming.lines.filter("AimingTime \"").size()), logged) << text;
    }

    // A damaged file reports its first ten values and a count.
    QString shots;
    for (int i = 0; i < 30; ++i)
        shots += "<Shot X=\"1\" Y=\"2\" XNAU=\"3\" YNAU=\"4\" FunctionMode=\"Dynamic\"><ShotInfo>"
                 "<Silhouette>7</Silhouette><SilhouetteTarget>0</SilhouetteTarget></ShotInfo></Shot>\n";
    WriteAll(path, ShotFileText(SilhouetteTargetText("0", {}), ShooterText(shots)).toUtf8());
    LogCapture log;
    EXPECT_EQ(LoadSession(path)->GetShooter(0)->ShotCount(), 30);
    ASSERT_EQ(log.lines.size(), 11);
    EXPECT_TRUE(log.lines.last().contains(": 30 shot values out of range")) << log.lines.last().toStdString();
    EXPECT_TRUE(Message([&] { LoadSession(dir.filePath("missing.shotfile.xml")); }).startsWith("Cannot open file " + dir.filePath("missing")));
}

TEST(ModelFiles, HostileFilesStayWithinMemory)
{
    // A bare <Shooter/> once cost a whole target table with sixteen zone maps
    // (about 70 KB): 100,000 of them took gigabytes. A setup list is sized
    // from the Setup elements alone, and a million tiny elements would take
    // gigabytes in the tree. Up to the caps a file loads, beyond them it is
    // refused before parsing; either way within 200 MB.
    QTemporaryDir dir;
    const auto file = [&](const QByteArray& head, const QByteArray& child, int count, const QByteArray& tail) {
        const QString path = dir.filePath(QString::number(count) + head.mid(1, 4));
        WriteAll(path, head + child.repeated(count) + tail);
        return path;
    };
    const auto session = [](const QString& path) {
        std::unique_ptr<TSession> loaded;
        const QString error = Message([&] { loaded = LoadSession(path); });
        int maps = 0;
        for (int i = 0; loaded && i < loaded->ShooterCount(); ++i)
            for (int slot = 0; slot < DeviceSetup::SlotCount; ++slot)
                maps += loaded->GetShooter(i)->targets.silhouetteMatrices.Allocated(slot);
        return loaded ? QStringLiteral("%1 shooters, %2 zone maps").arg(loaded->ShooterCount()).arg(maps) : error;
    };
    TSetupHandler list;
    const auto setups = [&list](const QString& path) {
        const QString error = Message([&] { list.LoadFromFile(path); });
        return error + QStringLiteral(", %1 of %2").arg(list.Count()).arg(list.Capacity());
    };
    const QByteArray sessionHead = "<ShotFile><SessionInfo/><TargetInfo/>\n";
    const QByteArray setupHead = "<SetupFile><SetupInfo>\n<Setup>" + QByteArray(MinimalModeText) + MinimalRingText + "</Setup>\n";
    const struct {
        const char* name;
        std::function<QString(const QString&)> load;
        QString path, result;
    } rows[] = {
        { "shooters at the cap", session, file(sessionHead, "<Shooter/>\n", TShotFileHandler::MaxShooters, "</ShotFile>\n"),
          "1000 shooters, 0 zone maps" },
        { "too many shooters", session, file(sessionHead, "<Shooter/>\n", 100000, "</ShotFile>\n"),
          "Too many shooters in session file (more than 1000)" },
        { "a setup among other children", setups, file(setupHead, "<x/>\n", 1000, "</SetupInfo></SetupFile>\n"),
          "no exception, 1 of 20" },
        { "a million setup children", setups, file(setupHead, "<x/>\n", 1000000, "</SetupInfo></SetupFile>\n"),
          "Setup file too large (more than 200000 tags), 1 of 20" },
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QString result;
        const long long growth = PeakGrowthKb([&] { result = row.load(row.path); });
        if (growth < 0)
            GTEST_SKIP() << "the kernel's peak memory cannot be reset here";
        EXPECT_EQ(result, row.result);
        EXPECT_LT(growth, 200 * 1024);
    }
}

TEST(ModelFiles, MemoryFailuresAreLoadFailures)
{
    // Every allocation of a zone map's size or more fails: the loaders report
    // their own failure instead of letting std::bad_alloc escape.
    QTemporaryDir dir;
    const QString session = dir.filePath("m.shotfile.xml");
    SaveSession(*SmallSession(), session);
    const QString setups = dir.filePath("m.setup.xml");
    TSetupHandler list;
    TTargetSetup setup;
    setup.target.hasSilhouette = 1;
    list.Add(setup);
    list.SaveToFile(setups);

    const auto failing = [](const std::function<void()>& load) {
        struct Armed {
            Armed() { FailAllocationsFrom = sizeof(SilhouetteMatrix); }
            ~Armed() { FailAllocationsFrom = 0; }
        } armed;
        return Message(load);
    };
    EXPECT_EQ(failing([&] { TShotFileHandler().LoadShotFile(session); }), "Not enough memory to load file " + session);
    EXPECT_EQ(failing([&] { list.LoadFromFile(setups); }), "Not enough memory to load file " + setups);
    EXPECT_EQ(failing([&] { TShotFileHandler().LoadSetupFile(setups, list); }), "Not enough memory to load file " + setups);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.LoadFromFile(setups));
}

TEST(ShotFile, SessionSummary)
{
    // A session without shooters: an empty target info.
    TSession empty;
    TShotFileHandler e;
    e.SetSession(&empty);
    e.BuildShotFile();
    ASSERT_EQ(e.Root()->GetNodeCount(), 2);
    EXPECT_EQ(e.Root()->GetNode(1)->GetNodeCount(), 0);

    // The first shot's target is no longer defined on the shooter (shots from
    // an earlier programming): the summary leaves the name out, the save goes on.
    auto session = SmallSession();
    session->AddShooter(std::make_unique<TShooter>());
    session->GetShooter(0)->GetShot(0)->raw.SetRingTargetIndex(7);
    TShotFileHandler h;
    h.SetSession(session.get());
    TXMLNode info;
    h.WriteSessionInfo(&info);
    ASSERT_EQ(info.GetNodeCount(), 4);
    for (int i : { 1, 2 })
        EXPECT_EQ(info.GetNode(i)->GetAttributeValueDef("TargetName", "none"), QStringLiteral("none"));
    EXPECT_EQ(info.GetNode(2)->GetAttributeValue("ShotCount"), QStringLiteral("0"));
    QTemporaryDir dir;
    EXPECT_NO_THROW(SaveSession(*session, dir.filePath("x.shotfile.xml")));
}

TEST(ShotFile, FormFlagsAndModeInfoDefaults)
{
    // Raw bytes on request; compact: no device coordinates, no target slot.
    TShotFileHandler h;
    const TShot ring = *RingShot();
    const auto shot = [&](bool raw, bool compact) {
        h.rawResult = h.rawSamples = raw;
        h.compact = compact;
        auto element = std::make_unique<TXMLNode>();
        h.WriteShot(element.get(), ring, 0);
        return element;
    };
    EXPECT_EQ(shot(false, false)->GetNode(0)->FindNode("RAWRESULT"), nullptr);
    EXPECT_EQ(shot(false, false)->GetNode(1)->GetNode(0)->GetAttributeValueDef("RAW", ""), QString());
    EXPECT_EQ(shot(true, false)->GetNode(0)->FindNode("RAWRESULT")->GetText(),
              "CA 6A 01 00 00 FA FF 9C 00 00 FF FE 00 00 00 FF 01 03 00 03 E8 00 00 00 5F 83 00 00 00 00 00 7B FF D3 00 00 ");
    EXPECT_EQ(shot(true, false)->GetNode(1)->GetNode(1)->GetAttributeValue("RAW"),
              QStringLiteral("00 00 00 00 FF FB 00 03 00 00 00 00 00 00 00 00 10 00 00 00 "));
    TXMLNode target;
    h.WriteRingTarget(&target, AirRifleRing());
    EXPECT_EQ(target.GetNodeText("RAWRINGSET1"), QStringLiteral("04 00 00 64 01 C2 0A 01 5A 00 08 08 00 00 00 00 "));
    const auto compact = shot(false, true);
    EXPECT_EQ(compact->GetAttributeValueDef("XNAU", "-") + compact->GetAttributeValueDef("Revalm", "-"), QStringLiteral("--"));
    EXPECT_EQ(compact->GetNode(0)->FindNode("RingTarget"), nullptr);
    EXPECT_NE(compact->GetNode(0)->FindNode("Score"), nullptr);

    // Advanced mode writes the two doubles, otherwise the size field twice.
    SilhouetteTargetRecord wide = TorsoSilhouette();
    wide.SetWidth(30.25);
    wide.SetHeight(12.5);
    TXMLNode normal, advanced;
    h.WriteSilhouetteTarget(&normal, wide, AsymmetricMatrix());
    h.advancedMode = true;
    h.WriteSilhouetteTarget(&advanced, wide, AsymmetricMatrix());
    EXPECT_EQ(normal.GetNodeText("TargetHeight") + " " + advanced.GetNodeText("TargetHeight"), QStringLiteral("19.7 12.5"));
    advanced.SetAttributeFloat("TargetNumber", 3);
    auto table = std::make_unique<DeviceSetup>();
    EXPECT_EQ(TShotFileHandler::ReadSilhouetteTarget(&advanced, *table), 3);
    EXPECT_EQ(table->silhouetteTargets[3].Width(), 30.25);
    EXPECT_EQ(table->silhouetteTargets[3].Size(), 302);  // 30.25 inch in 0.1 inch

    // ModeInfo: the flag elements win over CTRL1/CTRL2; missing ones take
    // their defaults.
    TMiniXMLParser doc;
    ASSERT_TRUE(doc.LoadFromText(
        "<ModeInfo Type=\"Dynamic\"><CTRL1>2</CTRL1><CTRL2>32</CTRL2><RingTargetNumber>1</RingTargetNumber>"
        "<SilhouetteTargetNumber>2</SilhouetteTargetNumber><NumberOfPrisms>3</NumberOfPrisms>"
        "<NumberOfBullets>4</NumberOfBullets><WakeupAngle>5</WakeupAngle><ShotRejectionAngle>6</ShotRejectionAngle>"
        "<SleepTimeout>7</SleepTimeout><TriggerSensitivity>264</TriggerSensitivity>"
        "<RingTargetEnabled>0</RingTargetEnabled><SilhouetteEnabled>3</SilhouetteEnabled></ModeInfo>"));
    ModeBlock b;
    bool classic = true;
    TShotFileHandler::ReadModeInfo(doc.Root(), b, classic);
    EXPECT_FALSE(classic);
    // Ring off, silhouette on (bit 0 of 3), sleep on; sound off, display on.
    EXPECT_EQ(std::tuple(b.CTRL1(), b.CTRL2(), b.TriggerSensitivity(), b.CockingDelay()), std::tuple(0x11, 0x01, 8, 3));
    EXPECT_EQ(b.b[11] | b.b[12] | b.b[13] | b.b[14] | b.b[15], 0);
    doc.Root()->FindNode("SleepTimeout")->SetText(QString());
    EXPECT_THROW(TShotFileHandler::ReadModeInfo(doc.Root(), b, classic), EConvertError);
}

TEST(ShotFile, FailedSaveIsReportedAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    auto session = SmallSession();
    EXPECT_THROW(SaveSession(*session, dir.filePath("no/such/folder/x.shotfile.xml")), Exception);

    // A nameless element cannot be written: nothing reaches the disk.
    const QString path = dir.filePath("keep.shotfile.xml");
    WriteAll(path, "old");
    TShotFileHandler h;
    h.SetSession(session.get());
    h.BuildShotFile();
    h.Root()->AddNode(QString());
    EXPECT_THROW(h.Save(path), Exception);
    EXPECT_EQ(ReadAll(path), QByteArray("old"));
}
