#include "Globals.h"
#include "SessionFixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

using Fixtures::Message;
using Fixtures::SeparatorGuard;

TEST(Globals, NumbersParseAlikeUnderEverySeparatorAndCLocale)
{
    const std::pair<const char*, double> good[] = {
        { "0.5", 0.5 }, { "0,5", 0.5 }, { "  -2.25\t", -2.25 }, { "+3", 3.0 }, { ".5", 0.5 }, { "1.5E-7", 1.5e-7 },
        { "1,5e+7", 1.5e7 }, { "4.9e-324", 4.9e-324 }, { "1.7976931348623157e308", std::numeric_limits<double>::max() },
        { "1e-400", 0.0 } /* underflow reads as zero */, { "0.001e311", 1e308 },
    };
    const char* const bad[] = { "", "   ", "-", ".", "nan", "-INF", "0x10", "1,234.5", "1.2.3", "1.5x", "1 2", "1e+",
                                "1e400", "-1.8e308", "0.01e311", "1e99999999999999999999", "+-1", "\xd9\xa1" /* Arabic one */ };
    const auto check = [&](const char* condition) {
        SCOPED_TRACE(condition);
        for (const auto& [text, expected] : good) {
            double value = -12345.0;
            EXPECT_TRUE(TryStrToFloatLocale(QString::fromUtf8(text), value) && value == expected) << text;
        }
        for (const char* text : bad) {
            double value = -12345.0;
            EXPECT_TRUE(!TryStrToFloatLocale(QString::fromUtf8(text), value) && value == -12345.0) << text;
        }
    };
    SeparatorGuard guard;
    SetDecimalSeparator(QChar(u'.'));
    check("'.'");
    SetDecimalSeparator(QChar(u','));
    check("','");
    {
        CommaCLocale comma;
        if (comma.Active()) {
            check("',' in the C library");
            EXPECT_EQ(FloatToStrDot(0.5), QStringLiteral("0.5"));
        }
    }

    double negativeZero = 1.0;
    ASSERT_TRUE(TryStrToFloatLocale(QStringLiteral("-0"), negativeZero));
    EXPECT_TRUE(std::signbit(negativeZero));
    EXPECT_EQ(Message([] { StrToFloatLocale(QStringLiteral("1.5x")); }), QStringLiteral("'1.5x' is not a valid floating point value"));
}

TEST(Globals, IntegerParsing)
{
    const std::pair<const char*, int> good[] = {
        { " 42\t", 42 }, { "+7", 7 }, { "2147483647", 2147483647 }, { "-2147483648", -2147483647 - 1 },
    };
    for (const auto& [text, expected] : good) {
        int value = 0;
        EXPECT_TRUE(TryStrToIntStrict(QString::fromUtf8(text), value) && value == expected) << text;
    }
    for (const char* bad : { "", "+", "2147483648", "-2147483649", "1.0", "0x10", "1 2", "1e3" }) {
        int value = 99;
        EXPECT_TRUE(!TryStrToIntStrict(QString::fromUtf8(bad), value) && value == 99) << bad;
    }
    EXPECT_EQ(Message([] { StrToIntStrict(QStringLiteral("12a")); }), QStringLiteral("'12a' is not a valid integer value"));
}

TEST(Globals, FormatGoldenValues)
{
    SeparatorGuard guard;
    const std::pair<double, const char*> golden[] = {
        { 0.5, "0.5" }, { 1.0, "1" }, { -2.25, "-2.25" }, { 1e20, "1E20" }, { 1.5e-7, "1.5E-7" },
        { -1.5e-7, "-1.5E-7" }, { 0.1 + 0.2, "0.3" }, { 123456789012345678.0, "1.23456789012346E17" },
        { 1e15, "1E15" }, { 999999999999999.0, "999999999999999" }, { 999999999999999.7, "1E15" },
        { 9.9999999999999999e-6, "0.00001" }, { 1e-6, "1E-6" }, { -0.0, "0" },
        { 2.0 / 3.0, "0.666666666666667" }, { 12345.678, "12345.678" },
        { std::numeric_limits<double>::max(), "1.79769313486232E308" },
        { std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324" },
        { std::nan(""), "NAN" }, { std::numeric_limits<double>::infinity(), "INF" },
        { -std::numeric_limits<double>::infinity(), "-INF" },
    };
    for (const auto& [value, text] : golden)
        EXPECT_EQ(FloatToStrDot(value), QString::fromLatin1(text)) << text;

    SetDecimalSeparator(QChar(u','));
    EXPECT_EQ(std::tuple(FloatToStrLocale(-2.25), FloatToStrLocale(1.5e-7), FloatToStrDot(-2.25)),
              std::tuple(QStringLiteral("-2,25"), QStringLiteral("1,5E-7"), QStringLiteral("-2.25")));

    // A separator the parser could not read back is never used for writing.
    SetDecimalSeparator(QChar(0x066B));
    EXPECT_EQ(DecimalSeparator(), QChar(u'.'));
}

TEST(Globals, FormatThenParseRoundTrips)
{
    SeparatorGuard guard;
    std::mt19937_64 random(20240611);
    std::uniform_int_distribution<long long> mantissa(-999999999999999LL, 999999999999999LL);
    std::uniform_int_distribution<int> digits(1, 15), exponent(-307, 307);
    for (int i = 0; i < 20000; ++i) {
        // d.dddEx with at most 15 significant digits, inside the normal range.
        long long m = mantissa(random);
        for (int cut = 15 - digits(random); cut > 0; --cut)
            m /= 10;
        QString decimal = QString::number(m < 0 ? -m : m);
        decimal.insert(1, QLatin1Char('.'));
        decimal = (m < 0 ? QStringLiteral("-") : QString()) + decimal + QStringLiteral("e")
            + QString::number(exponent(random));
        const double x = StrToFloatLocale(decimal);
        EXPECT_EQ(StrToFloatLocale(FloatToStrDot(x)), x) << decimal.toStdString();
        SetDecimalSeparator(QChar(i % 2 ? u',' : u'.'));
        EXPECT_EQ(StrToFloatLocale(FloatToStrLocale(x)), x) << decimal.toStdString();
    }
}

TEST(Globals, SnapTruncAndSaturatingCast)
{
    constexpr long long max = std::numeric_limits<long long>::max();
    const std::pair<double, long long> snapped[] = {
        { 0.29 * 100, 29 }, { 1.15 * 100, 115 }, { -0.29 * 100, -29 }, { 28.5, 28 }, { std::nan(""), 0 },
        { 1e300, max }, { -std::numeric_limits<double>::infinity(), std::numeric_limits<long long>::min() },
    };
    for (const auto& [value, expected] : snapped)
        EXPECT_EQ(SnapTrunc(value), expected) << value;
    EXPECT_EQ(std::tuple(ScaledTrunc(0.29, 2) + ScaledTrunc(1234.0, -2), ScaledTrunc(1.0, 30)), std::tuple(29 + 12, max));
    EXPECT_EQ(ScaledTrunc(QStringLiteral("0,29"), 2), 29);
    EXPECT_THROW(ScaledTrunc(QStringLiteral("abc"), 2), EConvertError);

    EXPECT_EQ(std::tuple(SaturatingCast<int16_t>(40000.0), SaturatingCast<int16_t>(-1e9), SaturatingCast<int>(2147483648.0)),
              std::tuple(32767, -32768, std::numeric_limits<int>::max()));
    EXPECT_EQ(std::tuple(SaturatingCast<int>(std::numeric_limits<double>::infinity()), SaturatingCast<int>(std::nan(""))),
              std::tuple(std::numeric_limits<int>::max(), 0));
    EXPECT_EQ(SaturatingCast<uint8_t>(-1.0) + SaturatingCast<uint8_t>(256.0), 255);
}

TEST(Globals, CodePage)
{
    // Exactly the 256 characters of the table encode, each to its own byte
    // and back; everything else (a lone surrogate, a pair) is one '?'.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString decoded = FromCodePage(all);
    ASSERT_EQ(decoded.size(), 256);
    EXPECT_EQ(std::tuple(ToCodePage(decoded), decoded.at(0x80), decoded.at(0x8A)), std::tuple(all, QChar(0x20AC), QChar(0x0160)));
    int encodable = 0;
    for (int c = 0; c < 0x10000; ++c) {
        const QString one { QChar(char16_t(c)) };
        const QByteArray bytes = ToCodePage(one);
        ASSERT_EQ(bytes.size(), 1);
        encodable += bytes != "?" || c == '?';
        EXPECT_TRUE(bytes == "?" || FromCodePage(bytes) == one) << c;
    }
    EXPECT_EQ(std::tuple(encodable, ToCodePage(QString::fromUtf8("a\xf0\x9f\x98\x80z"))), std::tuple(256, QByteArray("a?z")));
    EXPECT_TRUE(FromCodePage(nullptr, 5).isEmpty());
}

TEST(Globals, SanitizeFileName)
{
    EXPECT_EQ(SanitizeFileName(QStringLiteral("a.b:c")), QStringLiteral("abc"));
    EXPECT_EQ(SanitizeFileName(QStringLiteral("../../etc")), QStringLiteral("etc"));
    EXPECT_EQ(SanitizeFileName(QStringLiteral("\"%*.:;?\\<>|=/")), QString());
    EXPECT_EQ(SanitizeFileName(QStringLiteral("a\tb\nc\x7f")), QStringLiteral("abc"));
    EXPECT_EQ(SanitizeFileName(QString::fromUtf8("M\xc3\xbcller \xc5\x81ukasz")),
              QString::fromUtf8("M\xc3\xbcller \xc5\x81ukasz"));
}

TEST(Globals, BusyCursorNesting)
{
    std::vector<bool> calls;
    SetBusyCursorHook([&calls](bool busy) { calls.push_back(busy); });
    EndBusyCursor(); // extra end: stays at 0, no call
    BeginBusyCursor();
    BeginBusyCursor();
    EXPECT_EQ(calls, std::vector<bool>({ true }));
    EndBusyCursor();
    EndBusyCursor();
    EXPECT_EQ(std::tuple(BusyCursorDepth(), calls), std::tuple(0, std::vector<bool>({ true, false })));
    SetBusyCursorHook(nullptr);
}

TEST(Globals, DebugLogFromManyThreads)
{
    std::vector<int> perThread(8, 0);
    int total = 0; // unguarded on purpose: the log's own lock must serialise the sink
    SetDebugLogSink([&](const QString& line) {
        ++total;
        ++perThread[size_t(line.section(QLatin1Char(' '), 0, 0).toInt())];
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 1000; ++i)
                DebugLog(QString::number(t) + QStringLiteral(" line ") + QString::number(i));
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(std::tuple(total, perThread), std::tuple(8000, std::vector<int>(8, 1000)));
    SetDebugLogSink(nullptr);
}

TEST(Globals, DebugLogSurvivesBadSinks)
{
    int calls = 0;
    SetDebugLogSink([&calls](const QString&) {
        ++calls;
        throw std::runtime_error("disk full");
    });
    EXPECT_NO_THROW(DebugLog(QStringLiteral("one")));
    EXPECT_NO_THROW(DebugLog(QStringLiteral("two"))); // lock was released
    EXPECT_EQ(calls, 2);

    // A sink that logs again neither deadlocks nor recurses.
    SetDebugLogSink([&calls](const QString& line) {
        ++calls;
        DebugLog(QStringLiteral("again: ") + line);
    });
    DebugLog(QStringLiteral("three"));
    EXPECT_EQ(calls, 3);

    SetDebugLogSink(nullptr);
    testing::internal::CaptureStderr();
    DebugLog(QStringLiteral("to stderr"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\n");
}

// Every line-end kind, mixed and at either end; a CR LF is one end, LF CR two.
TEST(Globals, SplitTextLinesAtEveryKindOfLineEnd)
{
    const std::pair<QString, QStringList> cases[] = {
        { "", {} },
        { "a", { "a" } },
        { "a\r\nb\r\n", { "a", "b" } },
        { "a\nb\rc\r\nd", { "a", "b", "c", "d" } },
        { "\n\r\r\n", { "", "", "" } },
        { "a\n\rb", { "a", "", "b" } },
        { "a\r\r\nb\n\nc\r", { "a", "", "b", "", "c" } },
        { "only\rcr\rends", { "only", "cr", "ends" } },
        { "only\nlf\n", { "only", "lf" } },
    };
    for (const auto& [text, lines] : cases)
        EXPECT_EQ(SplitTextLines(text), lines) << text.toStdString();
}
