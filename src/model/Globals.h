// Small shared pieces of the data model: the general exception, big-endian
// record fields, locale-free number parsing and formatting, the snap-then-
// truncate and saturating conversions, the 8-bit code page, target names,
// file-name cleaning, the busy cursor and the debug log.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <type_traits>

// The general exception of the model, file and device code. It carries one of
// the fixed English messages ("Bad team index", "Invalid target", ...).
class Exception : public std::runtime_error {
public:
    explicit Exception(const QString& message);
    explicit Exception(const char* message);
    QString Message() const { return QString::fromUtf8(what()); }
};

// A text that is not a valid number (or integer).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// ---- Big-endian 16-bit fields of device records ----------------------------

inline uint16_t GetBE16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline int16_t GetBE16Signed(const uint8_t* p) { return int16_t(uint16_t((p[0] << 8) | p[1])); }
inline void PutBE16(uint8_t* p, int value)
{
    p[0] = uint8_t((value >> 8) & 0xFF);
    p[1] = uint8_t(value & 0xFF);
}

// ---- Numbers without the C library's locale ----------------------------------
// Qt sets the C locale from the environment, so strtod/printf would follow the
// user's locale. Data never goes through them.

// The decimal separator used for element texts and accepted by parsing. Taken
// from the system locale by InitDecimalSeparatorFromSystem at start-up; '.'
// until then. Tests set it directly. Only '.' and ',' are kept; any other
// separator becomes '.', since parsing reads no other.
QChar DecimalSeparator();
void SetDecimalSeparator(QChar separator);
void InitDecimalSeparatorFromSystem();

// Accepts "," and "." as the decimal separator, optional sign, digits,
// optional exponent, surrounding blanks. Rejects empty text, "nan", "inf",
// hex, group separators and trailing junk with EConvertError.
double StrToFloatLocale(const QString& text);
bool TryStrToFloatLocale(const QString& text, double& value);

// Decimal integer with optional sign and surrounding blanks; anything else,
// or a value outside int, throws EConvertError.
int StrToIntStrict(const QString& text);
bool TryStrToIntStrict(const QString& text, int& value);

// General format: up to 15 significant digits, no trailing zeros, whole
// numbers without a decimal point, exponent only for very large or very small
// magnitudes. FloatToStrDot always writes '.', FloatToStrLocale writes the
// current DecimalSeparator (never a group separator).
QString FloatToStrDot(double value);
QString FloatToStrLocale(double value);

// ---- Double to integer -------------------------------------------------------

// Truncates toward zero and clamps into Int's range; NaN gives 0. Every
// double-to-integer conversion goes through this (an out-of-range cast is
// undefined behaviour).
template <class Int>
Int SaturatingCast(double value)
{
    static_assert(std::is_integral_v<Int>);
    if (value != value)
        return 0;
    constexpr double lo = double(std::numeric_limits<Int>::min());
    constexpr double hi = double(std::numeric_limits<Int>::max());
    if (value <= lo)
        return std::numeric_limits<Int>::min();
    if (value >= hi)
        return std::numeric_limits<Int>::max();
    return Int(value);
}

// Snaps to the nearest integer when within 1e-9 relative of it, otherwise
// truncates toward zero; saturating. 28.999999999999996 gives 29, 28.5 gives 28.
long long SnapTrunc(double value);

// value x 10^power10 through SnapTrunc: the one conversion for "value x 100,
// truncated" and the like, so that 0.29 stores 29 and 1.15 stores 115.
long long ScaledTrunc(double value, int power10);
// The same for a decimal text (parsed with StrToFloatLocale).
long long ScaledTrunc(const QString& text, int power10);

// ---- 8-bit code page (Windows-1252) --------------------------------------------

// Characters the code page cannot hold become '?'.
QByteArray ToCodePage(const QString& text);
QString FromCodePage(const char* bytes, int length);
inline QString FromCodePage(const QByteArray& bytes) { return FromCodePage(bytes.constData(), int(bytes.size())); }

// ---- Target names: 16 bytes, zero-padded, not necessarily zero-terminated ---------

QString TargetNameToString(const uint8_t* name16);
void StringToTargetName(const QString& text, uint8_t* name16);

// ---- Files --------------------------------------------------------------------

// Removes " % * . : ; ? \ < > | = and / and every control character, so that a
// session or shooter name can become a file name inside the data folder.
QString SanitizeFileName(const QString& text);

// Writes data to path through a temporary file that replaces the old one only
// when everything was written. Throws Exception "Cannot write file <path>:
// <reason>" with the system's reason ("No space left on device", "File too
// large"); the old file then stays as it was.
void WriteFileAtomically(const QString& path, const QByteArray& data);

// ---- Text files -----------------------------------------------------------------
// The one decoder of every text file the program reads (XML documents,
// translation lists, grading files).

// A byte-order mark selects UTF-8, UTF-16 LE or UTF-16 BE and is dropped.
// Without one, bytes that are valid UTF-8 and hold anything beyond ASCII are
// UTF-8 (as other tools save plain text); all others are Windows-1252, as
// older installations wrote them. Invalid sequences and unpaired UTF-16
// surrogates become U+FFFD and clear *valid when given.
QString DecodeTextBytes(const QByteArray& bytes, bool* valid = nullptr);

// Index of the first line (as SplitTextLines counts them) that holds an
// invalid sequence; -1 when DecodeTextBytes finds the bytes valid.
int FirstInvalidTextLine(const QByteArray& bytes);

// Lines end at CR LF, LF or a lone CR; a final line break adds no empty line.
QStringList SplitTextLines(QStringView text);

// Reads and decodes a text file into lines. Returns false with *error set
// when the file cannot be read (or not held in memory); lines is untouched
// then. Invalid sequences are logged and replaced.
bool ReadTextFileLines(const QString& path, QStringList& lines, QString* error = nullptr);

// Writes lines as UTF-8 with a byte-order mark, CR LF after each line, with
// WriteFileAtomically (and its exception).
void WriteTextFileLines(const QString& path, const QStringList& lines);

// ---- Busy cursor and debug log -------------------------------------------------

// The screen layer registers how to show the busy cursor; the model only
// counts. EndBusyCursor never drives the depth below 0.
void SetBusyCursorHook(std::function<void(bool busy)> hook);
void BeginBusyCursor();
void EndBusyCursor();
int BusyCursorDepth();

// Appends one line to the program's log. Safe from any thread; until a sink is
// registered (the start menu's log) lines go to stderr.
void SetDebugLogSink(std::function<void(const QString&)> sink);
void DebugLog(const QString& text);
