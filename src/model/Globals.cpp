#include "Globals.h"

#include <QFile>
#include <QLocale>
#include <QSaveFile>
#include <QStringDecoder>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

// ---- Exceptions ---------------------------------------------------------------

Exception::Exception(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

Exception::Exception(const char* message)
    : std::runtime_error(message ? message : "")
{
}

// ---- Decimal separator ----------------------------------------------------------

namespace {

std::atomic<char16_t> g_decimalSeparator { u'.' };

// Parsing accepts only '.' and ',', so anything else would write texts that
// cannot be read back; such separators fall back to '.'.
char16_t NormalisedSeparator(QChar separator)
{
    return separator == QLatin1Char(',') ? u',' : u'.';
}

} // namespace

QChar DecimalSeparator()
{
    return QChar(g_decimalSeparator.load(std::memory_order_relaxed));
}

void SetDecimalSeparator(QChar separator)
{
    g_decimalSeparator.store(NormalisedSeparator(separator), std::memory_order_relaxed);
}

void InitDecimalSeparatorFromSystem()
{
    const QString point = QLocale::system().decimalPoint();
    SetDecimalSeparator(point.isEmpty() ? QChar(u'.') : point.at(0));
}

// ---- Parsing --------------------------------------------------------------------

namespace {

bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool IsDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

// Strips the surrounding blanks; returns the [begin, end) range of the rest.
void TrimBlanks(const QString& text, qsizetype& begin, qsizetype& end)
{
    begin = 0;
    end = text.size();
    while (begin < end && IsBlank(text.at(begin)))
        ++begin;
    while (end > begin && IsBlank(text.at(end - 1)))
        --end;
}

// For a normalised number text ("-12.5e-3") that from_chars found out of
// range: whether it underflowed rather than overflowed, i.e. the decimal
// exponent of its first significant digit is negative.
bool IsBelowOne(const std::string& ascii)
{
    size_t i = !ascii.empty() && ascii[0] == '-' ? 1 : 0;
    long long integerDigits = 0;   // significant digits before the point
    long long fractionZeros = 0;   // zeros after the point before the first significant digit
    bool afterPoint = false;
    bool significant = false;
    for (; i < ascii.size() && ascii[i] != 'e'; ++i) {
        const char c = ascii[i];
        if (c == '.') {
            afterPoint = true;
            continue;
        }
        if (c != '0')
            significant = true;
        if (significant) {
            if (!afterPoint)
                ++integerDigits;
        } else if (afterPoint) {
            ++fractionZeros;
        }
    }
    if (!significant)
        return true;
    long long exponent = 0;
    if (i < ascii.size()) {
        const bool minus = ++i < ascii.size() && ascii[i] == '-';
        for (i += minus ? 1 : 0; i < ascii.size(); ++i) {
            if (exponent < 1000000000LL)
                exponent = exponent * 10 + (ascii[i] - '0');
        }
        if (minus)
            exponent = -exponent;
    }
    const long long position = integerDigits > 0 ? integerDigits - 1 : -(fractionZeros + 1);
    return position + exponent < 0;
}

QString QuotedMessage(const QString& text, const char* tail)
{
    return QLatin1Char('\'') + text + QLatin1Char('\'') + QLatin1String(tail);
}

} // namespace

bool TryStrToFloatLocale(const QString& text, double& value)
{
    qsizetype i = 0;
    qsizetype end = 0;
    TrimBlanks(text, i, end);

    // Rebuild the number in the plain ASCII form from_chars reads: optional
    // '-', digits, '.', digits, 'e', exponent.
    std::string ascii;
    ascii.reserve(size_t(end - i) + 2);
    bool negative = false;
    if (i < end && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    if (negative)
        ascii.push_back('-');

    int mantissaDigits = 0;
    bool separatorSeen = false;
    const size_t mantissaStart = ascii.size();
    for (; i < end; ++i) {
        const QChar c = text.at(i);
        if (IsDigit(c)) {
            ascii.push_back(char(c.unicode()));
            ++mantissaDigits;
        } else if (c == QLatin1Char('.') || c == QLatin1Char(',')) {
            if (separatorSeen)
                return false;
            separatorSeen = true;
            if (ascii.size() == mantissaStart)
                ascii.push_back('0'); // ".5"
            ascii.push_back('.');
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return false;
    if (ascii.back() == '.')
        ascii.pop_back(); // "5."

    if (i < end && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        ++i;
        ascii.push_back('e');
        if (i < end && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
            if (text.at(i) == QLatin1Char('-'))
                ascii.push_back('-');
            ++i;
        }
        int exponentDigits = 0;
        for (; i < end && IsDigit(text.at(i)); ++i) {
            ascii.push_back(char(text.at(i).unicode()));
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return false;
    }
    if (i != end)
        return false;

    double result = 0.0;
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    const auto [ptr, ec] = std::from_chars(first, last, result, std::chars_format::general);
    if (ptr != last)
        return false;
    if (ec == std::errc::result_out_of_range) {
        // Too large is an error; too small to represent reads as zero.
        if (!IsBelowOne(ascii))
            return false;
        result = negative ? -0.0 : 0.0;
    } else if (ec != std::errc()) {
        return false;
    }
    if (!std::isfinite(result))
        return false;
    value = result;
    return true;
}

double StrToFloatLocale(const QString& text)
{
    double value = 0.0;
    if (!TryStrToFloatLocale(text, value))
        throw EConvertError(QuotedMessage(text, " is not a valid floating point value"));
    return value;
}

bool TryStrToIntStrict(const QString& text, int& value)
{
    qsizetype i = 0;
    qsizetype end = 0;
    TrimBlanks(text, i, end);

    std::string ascii;
    if (i < end && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        if (text.at(i) == QLatin1Char('-'))
            ascii.push_back('-');
        ++i;
    }
    if (i == end)
        return false;
    for (; i < end; ++i) {
        if (!IsDigit(text.at(i)))
            return false;
        ascii.push_back(char(text.at(i).unicode()));
    }
    int result = 0;
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    const auto [ptr, ec] = std::from_chars(first, last, result, 10);
    if (ec != std::errc() || ptr != last)
        return false;
    value = result;
    return true;
}

int StrToIntStrict(const QString& text)
{
    int value = 0;
    if (!TryStrToIntStrict(text, value))
        throw EConvertError(QuotedMessage(text, " is not a valid integer value"));
    return value;
}

// ---- Formatting -----------------------------------------------------------------

namespace {

QString FormatGeneral(double value, char separator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0.0)
        return QStringLiteral("0"); // also -0

    // d.dddddddddddddde±x: 15 significant digits, correctly rounded.
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof(buffer), value,
                                         std::chars_format::scientific, 14);
    if (ec != std::errc())
        return QStringLiteral("0");
    const char* p = buffer;
    const char* last = ptr;
    const bool negative = *p == '-';
    if (negative)
        ++p;

    std::string digits;
    for (; p < last && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9')
            digits.push_back(*p);
    }
    int exponent = 0;
    if (p < last && *p == 'e') {
        ++p;
        if (p < last && *p == '+')
            ++p;
        std::from_chars(p, last, exponent, 10);
    }
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out;
    if (negative)
        out.push_back('-');
    if (exponent >= -5 && exponent < 15) {
        if (exponent < 0) {
            out.push_back('0');
            out.push_back(separator);
            out.append(size_t(-exponent - 1), '0');
            out.append(digits);
        } else {
            const size_t whole = size_t(exponent) + 1;
            if (digits.size() <= whole) {
                out.append(digits);
                out.append(whole - digits.size(), '0');
            } else {
                out.append(digits, 0, whole);
                out.push_back(separator);
                out.append(digits, whole, std::string::npos);
            }
        }
    } else {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.push_back(separator);
            out.append(digits, 1, std::string::npos);
        }
        out.push_back('E');
        out.append(std::to_string(exponent));
    }
    return QString::fromLatin1(out.data(), qsizetype(out.size()));
}

} // namespace

QString FloatToStrDot(double value)
{
    return FormatGeneral(value, '.');
}

QString FloatToStrLocale(double value)
{
    return FormatGeneral(value, char(DecimalSeparator().unicode()));
}

// ---- Double to integer ----------------------------------------------------------

long long SnapTrunc(double value)
{
    if (std::isnan(value))
        return 0;
    const double nearest = std::nearbyint(value);
    if (std::fabs(value - nearest) <= 1e-9 * std::fmax(1.0, std::fabs(nearest)))
        return SaturatingCast<long long>(nearest);
    return SaturatingCast<long long>(value);
}

long long ScaledTrunc(double value, int power10)
{
    // Powers of ten up to 1e22 are exact doubles; beyond that the value is out
    // of any integer range anyway.
    static constexpr std::array<double, 23> kPowers = {
        1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
    };
    const int magnitude = power10 < 0 ? -power10 : power10;
    double scaled = value;
    int remaining = magnitude;
    while (remaining > 0) {
        const int step = remaining > 22 ? 22 : remaining;
        scaled = power10 < 0 ? scaled / kPowers[size_t(step)] : scaled * kPowers[size_t(step)];
        remaining -= step;
    }
    return SnapTrunc(scaled);
}

long long ScaledTrunc(const QString& text, int power10)
{
    return ScaledTrunc(StrToFloatLocale(text), power10);
}

// ---- Code page ------------------------------------------------------------------

namespace {

// 0x80..0x9F. The five bytes the code page leaves undefined map to the C1
// controls of the same value so that every byte survives a round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char EncodeChar(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(uint8_t(c));
    for (size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == c)
            return char(uint8_t(0x80 + i));
    }
    return '?';
}

} // namespace

QByteArray ToCodePage(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append('?'); // one character outside the code page
            ++i;
        } else if (c.isSurrogate()) {
            out.append('?');
        } else {
            out.append(EncodeChar(c.unicode()));
        }
    }
    return out;
}

QString FromCodePage(const char* bytes, int length)
{
    QString out;
    if (!bytes || length <= 0)
        return out;
    out.reserve(length);
    for (int i = 0; i < length; ++i) {
        const uint8_t b = uint8_t(bytes[i]);
        if (b >= 0x80 && b < 0xA0)
            out.append(QChar(kHighControls[size_t(b - 0x80)]));
        else
            out.append(QChar(char16_t(b)));
    }
    return out;
}

// ---- Target names ---------------------------------------------------------------

QString TargetNameToString(const uint8_t* name16)
{
    int length = 0;
    while (length < 16 && name16[length] != 0)
        ++length;
    return FromCodePage(reinterpret_cast<const char*>(name16), length);
}

void StringToTargetName(const QString& text, uint8_t* name16)
{
    std::memset(name16, 0, 16);
    const QByteArray bytes = ToCodePage(text);
    const size_t count = size_t(bytes.size()) < 16 ? size_t(bytes.size()) : 16;
    std::memcpy(name16, bytes.constData(), count);
}

// ---- Files ----------------------------------------------------------------------

QString SanitizeFileName(const QString& text)
{
    static const QString kForbidden = QStringLiteral("\"%*.:;?\\<>|=/");
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || kForbidden.contains(c))
            continue;
        out.append(c);
    }
    return out;
}

namespace {

// The system's text for the errno a failed call left, else Qt's own text.
QString FailureReason(int error, const QString& qtReason)
{
    return error != 0 ? QString::fromStdString(std::generic_category().message(error)) : qtReason;
}

} // namespace

void WriteFileAtomically(const QString& path, const QByteArray& data)
{
    const auto failed = [&path](const QString& reason) {
        return Exception(QStringLiteral("Cannot write file %1: %2").arg(path, reason));
    };
    QSaveFile file(path);
    // Unbuffered, so a write the disk refuses fails here, with errno telling
    // why; buffered, the failure would surface only in commit, without a reason
    // and, for small files, without commit failing.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw failed(file.errorString());
    errno = 0;
    if (file.write(data) != data.size()) {
        const QString reason = FailureReason(errno, file.errorString());
        file.cancelWriting();
        throw failed(reason);
    }
    errno = 0;
    if (!file.commit())
        throw failed(FailureReason(errno, file.errorString()));
}

// ---- Text files -------------------------------------------------------------------

namespace {

enum class TTextEncoding { Bomless, Utf8, Utf16LE, Utf16BE };

TTextEncoding EncodingMark(const QByteArray& bytes, qsizetype& markLength)
{
    const auto starts = [&bytes](const char* mark, qsizetype length) {
        return bytes.size() >= length && std::memcmp(bytes.constData(), mark, size_t(length)) == 0;
    };
    markLength = 0;
    if (starts("\xEF\xBB\xBF", 3)) {
        markLength = 3;
        return TTextEncoding::Utf8;
    }
    markLength = 2;
    if (starts("\xFF\xFE", 2))
        return TTextEncoding::Utf16LE;
    if (starts("\xFE\xFF", 2))
        return TTextEncoding::Utf16BE;
    markLength = 0;
    return TTextEncoding::Bomless;
}

QStringConverter::Encoding Converter(TTextEncoding encoding)
{
    return encoding == TTextEncoding::Utf16LE ? QStringConverter::Utf16LE
        : encoding == TTextEncoding::Utf16BE  ? QStringConverter::Utf16BE
                                              : QStringConverter::Utf8;
}

// Stateless, and a further mark after the first one stays a character.
QString Decode(QStringConverter::Encoding encoding, QByteArrayView bytes, bool& ok)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    QString text = decoder(bytes);
    ok = !decoder.hasError();
    return text;
}

inline bool IsSurrogate(char16_t c) { return (c & 0xF800) == 0xD800; }

// Index of the first surrogate that is not half of a pair, or -1.
qsizetype FirstLoneSurrogate(QStringView text)
{
    const char16_t* d = text.utf16();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (!IsSurrogate(d[i]))
            continue;
        if (d[i] < 0xDC00 && i + 1 < n && (d[i + 1] & 0xFC00) == 0xDC00)
            ++i;
        else
            return i;
    }
    return -1;
}

// The UTF-16 decoder passes unpaired surrogates through; nothing downstream
// could write them back.
bool ReplaceLoneSurrogates(QString& text)
{
    qsizetype i = FirstLoneSurrogate(text);
    if (i < 0)
        return true;
    while (i >= 0) {
        text[i] = QChar(QChar::ReplacementCharacter);
        const qsizetype next = FirstLoneSurrogate(QStringView(text).sliced(i + 1));
        i = next < 0 ? -1 : i + 1 + next;
    }
    return false;
}

bool IsAscii(const QByteArray& bytes)
{
    for (const char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

// [begin, end) of each line in code units of the given width, as SplitTextLines
// cuts the decoded text.
template <class Unit>
std::vector<std::pair<qsizetype, qsizetype>> LineRanges(qsizetype count, Unit unit)
{
    std::vector<std::pair<qsizetype, qsizetype>> lines;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < count) {
        const char16_t c = unit(i);
        if (c == u'\n' || c == u'\r') {
            lines.emplace_back(start, i);
            if (c == u'\r' && i + 1 < count && unit(i + 1) == u'\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < count)
        lines.emplace_back(start, count);
    return lines;
}

} // namespace

QString DecodeTextBytes(const QByteArray& bytes, bool* valid)
{
    qsizetype markLength = 0;
    const TTextEncoding encoding = EncodingMark(bytes, markLength);
    bool ok = true;
    QString text;
    if (encoding == TTextEncoding::Bomless) {
        if (IsAscii(bytes))
            text = QString::fromLatin1(bytes);
        else {
            text = Decode(QStringConverter::Utf8, bytes, ok);
            if (!ok)
                text = FromCodePage(bytes);
            ok = true;
        }
    } else {
        QByteArrayView body = QByteArrayView(bytes).sliced(markLength);
        const bool wide = encoding != TTextEncoding::Utf8;
        if (wide && body.size() % 2 != 0)
            body.chop(1);  // a dangling half character
        bool decoded = true;
        text = Decode(Converter(encoding), body, decoded);
        ok = decoded && body.size() + markLength == bytes.size();
        if (wide && !ReplaceLoneSurrogates(text))
            ok = false;
    }
    if (valid)
        *valid = ok;
    return text;
}

int FirstInvalidTextLine(const QByteArray& bytes)
{
    qsizetype markLength = 0;
    const TTextEncoding encoding = EncodingMark(bytes, markLength);
    if (encoding == TTextEncoding::Bomless)
        return -1;  // whatever is not UTF-8 is the code page, which has no invalid bytes
    const QByteArrayView body = QByteArrayView(bytes).sliced(markLength);
    const QStringConverter::Encoding converter = Converter(encoding);
    if (encoding == TTextEncoding::Utf8) {
        const auto lines = LineRanges(body.size(), [&body](qsizetype i) { return char16_t(uchar(body[i])); });
        for (size_t l = 0; l < lines.size(); ++l) {
            bool ok = true;
            Decode(converter, body.sliced(lines[l].first, lines[l].second - lines[l].first), ok);
            if (!ok)
                return int(l);
        }
        return -1;
    }
    const bool le = encoding == TTextEncoding::Utf16LE;
    const auto unit = [&body, le](qsizetype i) {
        const uchar a = uchar(body[2 * i]);
        const uchar b = uchar(body[2 * i + 1]);
        return char16_t(le ? a | (b << 8) : (a << 8) | b);
    };
    const auto lines = LineRanges(body.size() / 2, unit);
    for (size_t l = 0; l < lines.size(); ++l) {
        bool ok = true;
        const QString text
            = Decode(converter, body.sliced(2 * lines[l].first, 2 * (lines[l].second - lines[l].first)), ok);
        if (!ok || FirstLoneSurrogate(text) >= 0)
            return int(l);
    }
    // Only a dangling half character is left: it belongs to the last line.
    return body.size() % 2 != 0 ? std::max(0, int(lines.size()) - 1) : -1;
}

QStringList SplitTextLines(QStringView text)
{
    QStringList lines;
    const QChar* d = text.data();
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const char16_t c = d[i].unicode();
        if (c == u'\n' || c == u'\r') {
            lines.append(QString(d + start, i - start));
            if (c == u'\r' && i + 1 < n && d[i + 1] == u'\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < n)
        lines.append(QString(d + start, n - start));
    return lines;
}

bool ReadTextFileLines(const QString& path, QStringList& lines, QString* error)
{
    const auto fail = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot open file %1: %2").arg(path, file.errorString()));
    try {
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return fail(QStringLiteral("Cannot read file %1: %2").arg(path, file.errorString()));
        bool valid = true;
        QStringList read = SplitTextLines(DecodeTextBytes(bytes, &valid));
        if (!valid)
            DebugLog(QStringLiteral("Invalid characters replaced in ") + path);
        lines = std::move(read);
        return true;
    } catch (const std::bad_alloc&) {
        return fail(QStringLiteral("Cannot read file %1: not enough memory").arg(path));
    }
}

void WriteTextFileLines(const QString& path, const QStringList& lines)
{
    QString text;
    for (const QString& line : lines) {
        text.append(line);
        text.append(QLatin1String("\r\n"));
    }
    WriteFileAtomically(path, QByteArray("\xEF\xBB\xBF") + text.toUtf8());
}

// ---- Busy cursor ----------------------------------------------------------------

namespace {

int g_busyDepth = 0;
std::function<void(bool)>& BusyHook()
{
    static std::function<void(bool)> hook;
    return hook;
}

} // namespace

void SetBusyCursorHook(std::function<void(bool busy)> hook)
{
    BusyHook() = std::move(hook);
}

void BeginBusyCursor()
{
    if (++g_busyDepth == 1 && BusyHook())
        BusyHook()(true);
}

void EndBusyCursor()
{
    if (g_busyDepth == 0)
        return;
    if (--g_busyDepth == 0 && BusyHook())
        BusyHook()(false);
}

int BusyCursorDepth()
{
    return g_busyDepth;
}

// ---- Debug log ------------------------------------------------------------------

namespace {

std::mutex& LogMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::function<void(const QString&)>& LogSink()
{
    static std::function<void(const QString&)> sink;
    return sink;
}

// Set while this thread is inside DebugLog: a sink that logs again is dropped
// instead of deadlocking on the mutex.
thread_local bool t_inDebugLog = false;

void WriteToStderr(const QString& text)
{
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void SetDebugLogSink(std::function<void(const QString&)> sink)
{
    std::lock_guard<std::mutex> lock(LogMutex());
    LogSink() = std::move(sink);
}

void DebugLog(const QString& text)
{
    if (t_inDebugLog)
        return;
    t_inDebugLog = true;
    try {
        std::lock_guard<std::mutex> lock(LogMutex());
        if (LogSink())
            LogSink()(text);
        else
            WriteToStderr(text);
    } catch (...) {
        // A failing log must never take the caller down with it.
    }
    t_inDebugLog = false;
}
