// The setup editor's value rules without widgets: range checks and their
// message, the 16-bit limits, conversions between units and stored
// integers, the cocking delay and trigger steps, the preview's field, and
// the silhouette picture's colour classification.
#include "EditSetupValues.h"
#include "Globals.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace EditSetupValues;

namespace {

TEST(EditSetupValues, RangeChecksAreInclusiveAndAcceptEitherSeparator)
{
    EXPECT_TRUE(InRange(QStringLiteral("1,5"), 1.5, 1.5));
    EXPECT_TRUE(InRange(QStringLiteral("1.5"), 1.5, 1.5));
    EXPECT_TRUE(InRange(QStringLiteral(" 25 "), 0, 25));
    EXPECT_FALSE(InRange(QStringLiteral("25.01"), 0, 25));
    EXPECT_FALSE(InRange(QStringLiteral("-0.1"), 0, 25));
    // Text that is no number is out of range, never an exception.
    for (const char* text : {"", "abc", "1.2.3", "nan", "1e"})
        EXPECT_FALSE(InRange(QString::fromLatin1(text), -1e9, 1e9)) << text;
}

TEST(EditSetupValues, RangeMessageShowsTheBoundsWithOneDecimal)
{
    SetDecimalSeparator(QLatin1Char('.'));
    EXPECT_EQ(RangeMessage(0, 25),
              QStringLiteral("An invalid value has been entered. The value should be between 0.0 and 25.0."));
    EXPECT_EQ(RangeMessage(0.17, 32.7),
              QStringLiteral("An invalid value has been entered. The value should be between 0.2 and 32.7."));
}

TEST(EditSetupValues, BoundsKeepStoredIntegersInTheirFields)
{
    // Sizes in inch are stored x 100: 6500 would wrap, 655.3 is the most.
    EXPECT_DOUBLE_EQ(FitBound(6500, 100), 655.3);
    EXPECT_DOUBLE_EQ(FitBound(6500, 10), 6500);
    // Calibre in inch x 1000 is signed.
    EXPECT_DOUBLE_EQ(FitBound(50, 1000, MaxSigned16), 32.7);
    EXPECT_DOUBLE_EQ(FitBound(50, 100, MaxSigned16), 50);
    EXPECT_LE(StoredValue(QString::number(FitBound(6500, 100)), 2), MaxUnsigned16);
}

TEST(EditSetupValues, TypedDecimalsStoreTheirExactValue)
{
    const struct { const char* text; int power; int stored; } cases[] = {
        {"0.29", 2, 29}, {"1.15", 2, 115}, {"5.56", 2, 556}, {"0.219", 3, 219},
        {"109.4", 1, 1094}, {"7", 2, 700}, {"2,5", 1, 25}, {"abc", 1, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(StoredValue(QString::fromLatin1(c.text), c.power), c.stored) << c.text;
}

TEST(EditSetupValues, UnitConversionsRoundTrip)
{
    SetDecimalSeparator(QLatin1Char('.'));
    const QString yards = ConvertText(QStringLiteral("100"), YardsPerMetre, 1);
    EXPECT_EQ(yards, QStringLiteral("109.4"));
    EXPECT_EQ(ConvertText(yards, MetresPerYard, 1), QStringLiteral("100.0"));
    const QString inch = ConvertText(QStringLiteral("25.4"), 1.0 / MmPerInch, 2);
    EXPECT_EQ(inch, QStringLiteral("1.00"));
    EXPECT_EQ(ConvertText(inch, MmPerInch, 1), QStringLiteral("25.4"));
    const QString calibre = ConvertText(QStringLiteral("5.56"), InchPerMm, 3);
    EXPECT_EQ(calibre, QStringLiteral("0.219"));
    EXPECT_EQ(ConvertText(calibre, MmPerInch, 2), QStringLiteral("5.56"));
    EXPECT_EQ(ConvertText(QStringLiteral("40"), InchPerCm, 1), QStringLiteral("15.7"));
    // What is no number is left for the validation to refuse.
    EXPECT_EQ(ConvertText(QStringLiteral("x1"), MmPerInch, 1), QStringLiteral("x1"));
    // The separator in use is written.
    SetDecimalSeparator(QLatin1Char(','));
    EXPECT_EQ(ConvertText(QStringLiteral("25,4"), 1.0 / MmPerInch, 2), QStringLiteral("1,00"));
    SetDecimalSeparator(QLatin1Char('.'));
}

TEST(EditSetupValues, CockingDelayRoundsToTenths)
{
    const std::pair<double, int> cases[] = {{0.3, 3}, {0.25, 3}, {2.94, 29}, {25, 250}, {0, 0}, {0.04, 0}};
    for (auto [seconds, byte] : cases)
        EXPECT_EQ(CockingDelayByte(seconds), byte) << seconds;
    SetDecimalSeparator(QLatin1Char('.'));
    EXPECT_EQ(CockingDelayText(3), QStringLiteral("0.3"));
    EXPECT_EQ(CockingDelayText(250), QStringLiteral("25"));
}

TEST(EditSetupValues, TriggerStepsStopShortOfTheEnds)
{
    EXPECT_EQ(TriggerStepDown(30).position, 10);
    EXPECT_TRUE(TriggerStepDown(30).moved);
    EXPECT_FALSE(TriggerStepDown(29).moved);
    EXPECT_EQ(TriggerStepDown(29).position, 29);
    EXPECT_EQ(TriggerStepUp(235).position, 255);
    EXPECT_TRUE(TriggerStepUp(235).moved);
    EXPECT_FALSE(TriggerStepUp(236).moved);
}

RingTargetRecord Ring(int highest, int lowest, int diameter, int gap, bool custom = false)
{
    RingTargetRecord r;
    r.SetHighestRing(highest);
    r.SetMinimumRing(lowest);
    r.SetDiameterHighestRing(diameter);
    r.SetHitRingGap(gap);
    r.SetVariableRingGaps(custom);
    r.SetNominalDistance(100);
    return r;
}

TEST(EditSetupValues, PreviewFieldIsTheLowestRingOrTheSilhouette)
{
    TargetDescription t;
    EXPECT_EQ(PreviewZoomField(t), 0);
    t.hasRing = 1;
    t.ringRecord = Ring(10, 5, 70, 30);  // 7 mm + 2 x 3 mm x 5 rings = 37 mm
    EXPECT_DOUBLE_EQ(RingFieldMm(t), 37.0);
    t.ringRecord.SetSizesInInch(true);  // 0.01 inch
    EXPECT_NEAR(RingFieldMm(t), 370 * 0.254, 1e-9);

    // Custom rings: the stored diameter of the lowest ring ...
    t.ringRecord = Ring(10, 8, 70, 0, true);
    t.ringRecord.SetDiameterVariableHminus(2, 450);
    EXPECT_DOUBLE_EQ(RingFieldMm(t), 45.0);
    // ... and a record claiming more rings than it holds takes its outermost.
    t.ringRecord = Ring(200, 0, 70, 0, true);
    t.ringRecord.SetDiameterVariableHminus(11, 900);
    EXPECT_EQ(CustomRingRows(t.ringRecord), 11);
    EXPECT_DOUBLE_EQ(RingFieldMm(t), 90.0);
    EXPECT_EQ(CustomRingRows(Ring(5, 8, 0, 0)), 0);

    t.hasSilhouette = 1;
    t.silhouetteRecord.SetSize(500);
    EXPECT_EQ(PreviewZoomField(t), 500);
    t.silhouetteRecord.SetSizeInInch(true);
    EXPECT_EQ(PreviewZoomField(t), 1270);
}

TEST(EditSetupValues, ColoursGoToTheNearestHitArea)
{
    const THitAreaColors colors = DefaultHitAreaColors();
    const std::pair<uint32_t, int> cases[] = {
        {0x808080, 3}, {0x0000FF, 2}, {0xA0A0A0, 3}, {0xC8C8C8, 0}, {0xFFFFFF, 0}, {0x000000, 1}, {0x101010, 1}};
    for (auto [bgr, zone] : cases)
        EXPECT_EQ(ColorToHitArea(colors, bgr), zone) << std::hex << bgr;
    // Equal distances: the lower zone.
    const THitAreaColors twins = {0x000000, 0x000000, 0x0000FF, 0x0000FF};
    EXPECT_EQ(ColorToHitArea(twins, 0x000000), 0);
    EXPECT_EQ(ColorToHitArea(twins, 0x0000FF), 2);
}

TEST(EditSetupValues, PictureCellsTakeTheirMostFrequentZone)
{
    const THitAreaColors colors = DefaultHitAreaColors();
    // One pixel per cell: the cell is the pixel's zone.
    QImage one(64, 64, QImage::Format_RGB32);
    one.fill(Qt::white);
    one.setPixel(3, 5, qRgb(0, 0, 0));
    one.setPixel(63, 0, qRgb(255, 0, 0));
    one.setPixel(0, 63, qRgb(128, 128, 128));
    SilhouetteMatrix m;
    m.b.fill(7);  // cleared first
    ImportZoneMap(one, colors, m);
    EXPECT_EQ(m.Cell(3, 5), 1);
    EXPECT_EQ(m.Cell(63, 0), 2);
    EXPECT_EQ(m.Cell(0, 63), 3);
    EXPECT_EQ(m.Cell(4, 5), 0);
    EXPECT_EQ(m.b[0], 0);
    EXPECT_EQ(m.b[8 + 64 * 3 + 5], 1);  // column by column

    // Half the resolution: only odd columns and rows hold pixels.
    QImage half(32, 32, QImage::Format_RGB32);
    half.fill(Qt::black);
    ImportZoneMap(half, colors, m);
    EXPECT_EQ(m.Cell(1, 1), 1);
    EXPECT_EQ(m.Cell(0, 1), 0);
    EXPECT_EQ(m.Cell(1, 0), 0);
    EXPECT_EQ(m.Cell(63, 63), 1);

    // Four pixels, two red and two black: a tie goes to the lower zone.
    QImage big(128, 128, QImage::Format_RGB32);
    big.fill(Qt::white);
    big.setPixel(0, 0, qRgb(255, 0, 0));
    big.setPixel(1, 0, qRgb(255, 0, 0));
    big.setPixel(0, 1, qRgb(0, 0, 0));
    big.setPixel(1, 1, qRgb(0, 0, 0));
    ImportZoneMap(big, colors, m);
    EXPECT_EQ(m.Cell(0, 0), 1);
}

TEST(EditSetupValues, TheShippedListIsKnownInAnyFolderAndCase)
{
    EXPECT_TRUE(IsDefaultSetupFile(QStringLiteral("/tmp/x/Default.Setup.XML")));
    EXPECT_TRUE(IsDefaultSetupFile(QStringLiteral("default.setup.xml")));
    EXPECT_FALSE(IsDefaultSetupFile(QStringLiteral("/tmp/default.setup.xml.bak")));
    EXPECT_FALSE(IsDefaultSetupFile(QStringLiteral("/tmp/mydefault.setup.xml")));
}

} // namespace
