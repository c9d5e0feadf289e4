#include "MiniXMLParser.h"

#include "Globals.h"

#include <QFile>
#include <QHash>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <utility>

namespace MiniXMLParser {

// Elements come from a pool of blocks also under the address sanitizer, so
// its builds check the allocator the program runs with. An element's memory
// is poisoned when it is freed and stays so until its block goes: a use of a
// freed element is still reported though other elements keep the block.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRAXEL_XML_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(TRAXEL_XML_ASAN)
#define TRAXEL_XML_ASAN 1
#endif

namespace {

#if defined(TRAXEL_XML_ASAN)
inline void Poison(const void* p, std::size_t bytes) { ASAN_POISON_MEMORY_REGION(p, bytes); }
inline void Unpoison(const void* p, std::size_t bytes) { ASAN_UNPOISON_MEMORY_REGION(p, bytes); }
#else
inline void Poison(const void*, std::size_t) {}
inline void Unpoison(const void*, std::size_t) {}
#endif

// A block of elements, aligned to its size so an element finds its block.
// Live counts the elements not yet freed, plus OwnerBias while a thread still
// allocates from the block; whoever brings it to zero frees the block. Frees
// may come from any thread.
constexpr std::size_t NodeBlockSize = 16384;
constexpr std::size_t NodeBlockHeader = 64;
constexpr qint64 OwnerBias = qint64(1) << 40;

struct TNodeBlock {
    std::atomic<qint64> Live;
    // The text that the block's elements point into: one reference for the
    // block instead of one per element.
    QString Kept;
};

TNodeBlock* BlockOf(const void* p)
{
    return reinterpret_cast<TNodeBlock*>(reinterpret_cast<std::uintptr_t>(p) & ~std::uintptr_t(NodeBlockSize - 1));
}

void ReleaseNodes(TNodeBlock* block, qint64 count)
{
    if (block->Live.fetch_sub(count, std::memory_order_acq_rel) == count) {
        block->~TNodeBlock();
        Unpoison(block, NodeBlockSize);
        ::operator delete(static_cast<void*>(block), std::align_val_t(NodeBlockSize));
    }
}

// A block being filled by this thread.
class TNodeStream {
public:
    ~TNodeStream() { Retire(); }

    TNodeBlock* Block() const { return FBlock; }
    bool HasRoom(std::size_t bytes) const { return std::size_t(FEnd - FNext) >= bytes; }

    void* Allocate()
    {
        if (!HasRoom(sizeof(TXMLNode)))
            Refill();
        return Take(sizeof(TXMLNode), true);
    }
    // Room for length characters in the block that holds node, which lives
    // as long as node; nullptr unless that is this block and it has the room.
    char16_t* TextBeside(const TXMLNode* node, qsizetype length)
    {
        const std::size_t bytes = (std::size_t(length) * sizeof(char16_t) + 7) & ~std::size_t(7);
        if (BlockOf(node) != FBlock || !HasRoom(bytes))
            return nullptr;
        return static_cast<char16_t*>(Take(bytes, false));
    }
    void Refill()
    {
        void* memory = ::operator new(NodeBlockSize, std::align_val_t(NodeBlockSize));
        Retire();
        FBlock = new (memory) TNodeBlock{{OwnerBias}, {}};
        FNext = static_cast<char*>(memory) + NodeBlockHeader;
        FEnd = static_cast<char*>(memory) + NodeBlockSize;
        Poison(FNext, std::size_t(FEnd - FNext));  // until handed out
        FAllocated = 0;
    }
    // Gives up the block: from now on its elements alone keep it.
    void Retire()
    {
        if (FBlock)
            ReleaseNodes(FBlock, OwnerBias - FAllocated);
        FBlock = nullptr;
        FNext = FEnd = nullptr;
    }

private:
    void* Take(std::size_t bytes, bool element)
    {
        void* p = FNext;
        Unpoison(p, bytes);
        FNext += bytes;
        FAllocated += element ? 1 : 0;
        return p;
    }

    TNodeBlock* FBlock = nullptr;
    char* FNext = nullptr;
    char* FEnd = nullptr;
    qint64 FAllocated = 0;
};

// Elements made through the API come from one stream, loaded elements that
// point into their text from another, whose blocks each keep one text and
// hold nothing else: an element made later never keeps a loaded text alive.
struct TNodePool {
    TNodeStream Plain;
    TNodeStream Keeping;

    void* AllocateKeeping(const QString& text)
    {
        if (!Keeping.HasRoom(sizeof(TXMLNode)) || !Keeping.Block()->Kept.isSharedWith(text)) {
            Keeping.Refill();
            Keeping.Block()->Kept = text;
        }
        return Keeping.Allocate();
    }
    // After a load: its last block goes with its elements, not with the thread.
    void EndKeeping() { Keeping.Retire(); }
};

// Frees elements one after another; the elements of one block, mostly freed
// in a row, give up their block's count in one step.
class TNodeFreer {
public:
    TNodeFreer() = default;
    TNodeFreer(const TNodeFreer&) = delete;
    TNodeFreer& operator=(const TNodeFreer&) = delete;
    ~TNodeFreer() { Flush(); }

    void Free(TXMLNode* node)
    {
        node->~TXMLNode();
        Poison(node, sizeof(TXMLNode));
        if (BlockOf(node) != FBlock) {
            Flush();
            FBlock = BlockOf(node);
        }
        ++FCount;
    }

private:
    void Flush()
    {
        if (FCount > 0)
            ReleaseNodes(FBlock, FCount);
        FCount = 0;
    }

    TNodeBlock* FBlock = nullptr;
    qint64 FCount = 0;
};

thread_local TNodePool NodePool;

}  // namespace

TParseError& LastParseError()
{
    thread_local TParseError error;
    return error;
}

QString LastParseErrorText()
{
    const TParseError& e = LastParseError();
    return e.Message + e.Text + QString::number(e.Line);
}

namespace {

const char* const MsgInvalidIndex = "TXMLNode::GetNode - Invalid Index (out of limits)";
const char* const MsgInvalidAttrIndex = "TXMLNode::GetAttribute - Invalid Index (out of limits)";
const char* const MsgKeyNotFound = "TXMLNode::GetAttributeValue - Invalid Key (not found)";
const char* const MsgInvalidAttrName = "TXMLNode::SetAttributeValue - Invalid attribute name";

void SetError(const QString& message, const QString& text)
{
    TParseError& e = LastParseError();
    e.Message = message;
    e.Text = text;
}

// Index of the first half of a surrogate pair that stands alone, or -1.
qsizetype FirstLoneSurrogate(QStringView text)
{
    const char16_t* p = text.utf16();
    const qsizetype n = text.size();
    // Texts are nearly always below U+8000 throughout: skip sixteen code
    // units at a time while none has its top bit set.
    qsizetype from = 0;
    for (; from + 16 <= n; from += 16) {
        quint64 w[4];
        std::memcpy(w, p + from, sizeof w);
        if ((w[0] | w[1] | w[2] | w[3]) & 0x8000800080008000ull)
            break;
    }
    for (qsizetype i = from; i < n; ++i) {
        const char16_t c = p[i];
        if (c < 0xD800 || c > 0xDFFF)
            continue;
        if (c <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        return i;
    }
    return -1;
}

QString LoneSurrogateMessage(char16_t c)
{
    return QStringLiteral("TMiniXMLParser::Decode - Invalid entity reference (surrogate): &0x%1;")
        .arg(unsigned(c), 4, 16, QLatin1Char('0'));
}

// Half a surrogate pair cannot be written as UTF-8 (it would come out as "?")
// and the reader refuses its entity: refused on the way in, with the reader's
// message.
void RefuseLoneSurrogates(QStringView text)
{
    // Names and short texts, nearly always below the surrogates: settled
    // without the general search.
    if (text.size() <= 16) {
        char16_t high = 0;
        for (QChar c : text)
            high |= c.unicode();
        if (high < 0xD800)
            return;
    }
    const qsizetype at = FirstLoneSurrogate(text);
    if (at >= 0)
        throw Exception(LoneSurrogateMessage(text[at].unicode()));
}

// The tree points into the text it was read from and keeps it by reference.
// Raw data (QString::fromRawData) is not counted, so its owner may write over
// it after the load: such a text is copied. An owned text is shared for free.
QString OwnedText(const QString& text)
{
    if (text.isEmpty() || text.data_ptr().isMutable())
        return text;
    return QString(text.constData(), text.size());
}

// Blanks in the sense of trimming: the blank and every control character, so
// stray tabs, CRs and NULs around tags and texts are ignored.
inline bool IsBlank(char16_t c) { return c <= u' '; }

inline QStringView Trimmed(QStringView v)
{
    const char16_t* p = v.utf16();
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && IsBlank(p[b]))
        ++b;
    while (e > b && IsBlank(p[e - 1]))
        --e;
    return QStringView(p + b, e - b);
}

// Control characters and & < > ' " are written as entities.
constexpr quint64 EncodedCharMask = 0xFFFFFFFFull | (1ull << '"') | (1ull << '&') | (1ull << '\'') | (1ull << '<')
                                    | (1ull << '>');

inline bool NeedsEncoding(char16_t c) { return c < 64 && ((EncodedCharMask >> c) & 1); }

bool NeedsEncoding(QStringView v)
{
    for (QChar c : v)
        if (NeedsEncoding(c.unicode()))
            return true;
    return false;
}

void AppendEncoded(QString& out, QStringView text)
{
    static const char hex[] = "0123456789abcdef";
    qsizetype plainFrom = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (!NeedsEncoding(c))
            continue;
        out.append(text.mid(plainFrom, i - plainFrom));
        plainFrom = i + 1;
        switch (c) {
        case u'&': out.append(QLatin1String("&amp;")); break;
        case u'<': out.append(QLatin1String("&lt;")); break;
        case u'>': out.append(QLatin1String("&gt;")); break;
        case u'\'': out.append(QLatin1String("&apos;")); break;
        case u'"': out.append(QLatin1String("&quot;")); break;
        default: {
            const char entity[] = {'&', '0', 'x', hex[c >> 4], hex[c & 15], ';'};
            out.append(QLatin1String(entity, 6));
        }
        }
    }
    out.append(text.mid(plainFrom));
}

QString EncodeView(QStringView text)
{
    QString out;
    out.reserve(text.size() + 16);
    AppendEncoded(out, text);
    return out;
}

int HexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Appends the decoded text to out. On failure sets LastParseError (text: the
// whole input) and returns false; out then holds a partial result.
bool AppendDecoded(QString& out, QStringView text)
{
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype amp = text.indexOf(u'&', i);
        if (amp < 0) {
            out.append(text.mid(i));
            break;
        }
        out.append(text.mid(i, amp - i));
        const qsizetype semi = text.indexOf(u';', amp);
        if (semi < 0) {
            SetError(QStringLiteral("TMiniXMLParser::Decode - Invalid entity reference, no ending semicolon found"),
                     text.toString());
            return false;
        }
        const QString entity = text.mid(amp, semi - amp + 1).toString().toLower();
        if (entity == u"&amp;") {
            out.append(u'&');
        } else if (entity == u"&lt;") {
            out.append(u'<');
        } else if (entity == u"&gt;") {
            out.append(u'>');
        } else if (entity == u"&apos;") {
            out.append(u'\'');
        } else if (entity == u"&quot;") {
            out.append(u'"');
        } else if (entity.startsWith(u"&0x") && (entity.size() == 6 || entity.size() == 8)) {
            // Exactly two or four hex digits; nothing looser.
            unsigned code = 0;
            bool ok = true;
            for (qsizetype k = 3; k + 1 < entity.size(); ++k) {
                const int d = HexDigit(entity[k].unicode());
                if (d < 0) {
                    ok = false;
                    break;
                }
                code = code * 16 + unsigned(d);
            }
            if (!ok) {
                SetError(QStringLiteral("TMiniXMLParser::Decode - Invalid entity reference (hex): ") + entity,
                         text.toString());
                return false;
            }
            // Half a surrogate pair is no character: it could only be written
            // back as "?".
            if (code >= 0xD800 && code <= 0xDFFF) {
                SetError(QStringLiteral("TMiniXMLParser::Decode - Invalid entity reference (surrogate): ") + entity,
                         text.toString());
                return false;
            }
            out.append(QChar(char16_t(code)));
        } else {
            SetError(QStringLiteral("TMiniXMLParser::Decode - Invalid entity reference: ") + entity, text.toString());
            return false;
        }
        i = semi + 1;
    }
    return true;
}

// Brings text read from a file into the canonical stored form: decoded, then
// encoded again. Keeping the raw text would leave "&AMP;" or a bare "'" in the
// tree, so lookups and the written file would depend on how the input was
// spelled, and a text holding "&amp;lt;" would be decoded twice.
bool Canonical(QStringView raw, QString& stored)
{
    if (!raw.contains(u'&')) {
        stored = NeedsEncoding(raw) ? EncodeView(raw) : raw.toString();
        return true;
    }
    QString decoded;
    decoded.reserve(raw.size());
    if (!AppendDecoded(decoded, raw))
        return false;
    stored = EncodeView(decoded);
    return true;
}

// Stored texts were encoded by this module, so decoding cannot fail; should it
// ever, the caller gets an exception rather than a half-decoded value.
QString DecodeStored(const QString& stored)
{
    if (!stored.contains(u'&'))
        return stored;  // shared, not copied
    QString out;
    out.reserve(stored.size());
    if (!AppendDecoded(out, stored))
        throw Exception(LastParseError().Message);
    return out;
}

QString DecodeStored(QStringView stored)
{
    if (!stored.contains(u'&'))
        return stored.toString();
    QString out;
    out.reserve(stored.size());
    if (!AppendDecoded(out, stored))
        throw Exception(LastParseError().Message);
    return out;
}

// ---- The attribute string: ' name="value"' per attribute ----------------------

// An attribute name in stored (encoded) form that is written back as one name
// reading as itself: not empty, no blank, no '=' and no double quote (which
// the encoding turns into "&quot;").
bool ValidStoredAttributeName(QStringView stored)
{
    if (stored.isEmpty())
        return false;
    const char16_t* p = stored.utf16();
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (p[i] == u' ' || p[i] == u'=' || (p[i] == u'&' && stored.sliced(i).startsWith(u"&quot;")))
            return false;
    }
    return true;
}

struct TAttrSpan {
    qsizetype Begin = 0;  // the blank before the name
    qsizetype NameBegin = 0;
    qsizetype NameEnd = 0;
    qsizetype ValueBegin = 0;
    qsizetype ValueEnd = 0;  // the closing quote
};

// Steps to the next attribute at pos. Names and values hold no '"', so the
// first '="' after the name's start ends the name.
bool NextAttribute(QStringView attrs, qsizetype& pos, TAttrSpan& span)
{
    if (pos >= attrs.size())
        return false;
    span.Begin = pos;
    span.NameBegin = pos + 1;
    span.NameEnd = attrs.indexOf(u"=\"", span.NameBegin);
    span.ValueBegin = span.NameEnd + 2;
    span.ValueEnd = attrs.indexOf(u'"', span.ValueBegin);
    pos = span.ValueEnd + 1;
    return true;
}

bool FindAttributeSpan(QStringView attrs, QStringView encodedKey, TAttrSpan& span)
{
    qsizetype pos = 0;
    while (NextAttribute(attrs, pos, span))
        if (attrs.mid(span.NameBegin, span.NameEnd - span.NameBegin).compare(encodedKey, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool AttributeSpanAt(QStringView attrs, int index, TAttrSpan& span)
{
    if (index < 0)
        return false;
    qsizetype pos = 0;
    while (NextAttribute(attrs, pos, span))
        if (index-- == 0)
            return true;
    return false;
}

// Sets or (for an empty value) removes one attribute given in stored form.
void PutAttribute(QString& attrs, QStringView key, QStringView value)
{
    TAttrSpan span;
    if (FindAttributeSpan(attrs, key, span)) {
        if (value.isEmpty())
            attrs.remove(span.Begin, span.ValueEnd + 1 - span.Begin);
        else
            attrs.replace(span.ValueBegin, span.ValueEnd - span.ValueBegin, value.data(), value.size());
    } else if (!value.isEmpty()) {
        attrs.reserve(attrs.size() + key.size() + value.size() + 4);
        attrs.append(u' ');
        attrs.append(key);
        attrs.append(QLatin1String("=\""));
        attrs.append(value);
        attrs.append(u'"');
    }
}

// Destroys a subtree without recursion: a file nested thousands deep (or a
// tree built that way through the API) must not overflow the stack.
void DestroyChildren(std::vector<std::unique_ptr<TXMLNode>>& children);

// Element names repeat on almost every line, short texts (flags, counts) often;
// sharing one string per recent distinct text saves an allocation per element
// and much of the tree's memory.
template <size_t Slots>
class TStringCache {
public:
    QString Get(QStringView v)
    {
        size_t h = 2166136261u;
        for (QChar c : v)
            h = (h ^ c.unicode()) * 16777619u;
        QString& slot = FSlots[h & (Slots - 1)];
        if (slot.size() != v.size() || std::memcmp(slot.constData(), v.data(), size_t(v.size()) * sizeof(QChar)) != 0)
            slot = v.toString();
        return slot;
    }

private:
    std::array<QString, Slots> FSlots;
};

// Attribute keys compared without regard to letter case, as the look-ups do;
// ASCII (every name in practice) without the general comparison.
bool SameKey(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    const char16_t* x = a.utf16();
    const char16_t* y = b.utf16();
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (x[i] == y[i])
            continue;
        if (x[i] >= 0x80 || y[i] >= 0x80)
            return a.compare(b, Qt::CaseInsensitive) == 0;
        const char16_t lower = x[i] | 0x20;
        if (lower != (y[i] | 0x20) || lower < u'a' || lower > u'z')
            return false;
    }
    return true;
}

// Gathers the attributes of one start tag with the outcome of one PutAttribute
// per attribute in tag order, without a linear search per key once a tag holds
// many of them (a hostile file could hold thousands).
class TAttributeCollector {
public:
    void Clear()
    {
        FItems.clear();
        FOwned.clear();
        FIndex.clear();
        FIndexed = false;
    }

    // Views must stay valid until Write; Own keeps a canonicalised text alive.
    QStringView Own(QString text)
    {
        FOwned.push_back(std::move(text));
        return FOwned.back();
    }

    // Returns false when the key was there already or the value is empty.
    bool Put(QStringView key, QStringView value)
    {
        qsizetype at = -1;
        if (!FIndexed && FItems.size() < 16) {
            for (size_t i = 0; i < FItems.size(); ++i)
                if (!FItems[i].Value.isEmpty() && SameKey(FItems[i].Key, key))
                    at = qsizetype(i);
        } else {
            if (!FIndexed) {
                for (size_t i = 0; i < FItems.size(); ++i)
                    if (!FItems[i].Value.isEmpty())
                        FIndex.insert(FItems[i].Key.toString().toCaseFolded(), qsizetype(i));
                FIndexed = true;
            }
            at = FIndex.value(key.toString().toCaseFolded(), -1);
        }
        if (value.isEmpty()) {
            if (at >= 0) {
                FItems[size_t(at)].Value = QStringView();  // skipped by Write
                if (FIndexed)
                    FIndex.remove(key.toString().toCaseFolded());
            }
            return false;
        }
        if (at >= 0) {
            FItems[size_t(at)].Value = value;
            return false;
        }
        if (FIndexed)
            FIndex.insert(key.toString().toCaseFolded(), qsizetype(FItems.size()));
        FItems.push_back({key, value});
        return true;
    }

    QString Write() const
    {
        qsizetype length = 0;
        for (const TItem& a : FItems)
            if (!a.Value.isEmpty())
                length += a.Key.size() + a.Value.size() + 4;
        if (length == 0)
            return QString();
        QString out(length, Qt::Uninitialized);
        QChar* d = out.data();
        const auto put = [&d](QStringView v) {
            std::memcpy(static_cast<void*>(d), v.data(), size_t(v.size()) * sizeof(QChar));
            d += v.size();
        };
        for (const TItem& a : FItems) {
            if (a.Value.isEmpty())
                continue;
            *d++ = u' ';
            put(a.Key);
            *d++ = u'=';
            *d++ = u'"';
            put(a.Value);
            *d++ = u'"';
        }
        return out;
    }

private:
    struct TItem {
        QStringView Key;
        QStringView Value;  // empty: removed
    };
    std::vector<TItem> FItems;
    std::vector<QString> FOwned;  // moving QStrings keeps their character data in place
    QHash<QString, qsizetype> FIndex;  // case-folded key -> position, once there are many
    bool FIndexed = false;
};

// A loaded element's attribute text: a range of the string it was read from.
struct TAttrRef {
    QString Source;
    qsizetype Begin = 0;
    qsizetype Length = 0;
};

struct TParseCaches {
    TStringCache<512> Names;
    TStringCache<1024> Texts;
    TAttributeCollector Attributes;
};

// One start tag into a name and attribute string. Nothing is changed on
// failure, which LastParseError then describes.
bool ParseTag(const QString& owner, qsizetype tagBegin, qsizetype tagLength, QString& name, TAttrRef& attrs,
              TParseCaches& caches)
{
    const QStringView tag(owner.utf16() + tagBegin, tagLength);
    const auto fail = [&](const char* message) {
        SetError(QString::fromLatin1(message), tag.toString());
        return false;
    };
    QStringView inner = tag;
    qsizetype innerBegin = tagBegin;  // where inner starts in owner
    if (inner.startsWith(u'<')) {
        inner = inner.mid(1);
        ++innerBegin;
    }
    const bool closedByGt = inner.endsWith(u'>');
    if (closedByGt)
        inner.chop(1);
    // The '/' of a final "/>" only marks an empty element.
    if (closedByGt && inner.endsWith(u'/'))
        inner.chop(1);

    const char16_t* p = inner.utf16();
    const qsizetype n = inner.size();
    qsizetype blank = 0;
    while (blank < n && p[blank] != u' ' && p[blank] != u'\t')
        ++blank;
    const QStringView rawName = Trimmed(inner.first(blank));
    if (rawName.isEmpty())
        return fail("TXMLNode::ParseFromTag - Empty element name");
    bool nameHasAmp = false;
    for (QChar c : rawName) {
        if (c == u'/')
            return fail("TXMLNode::ParseFromTag - Invalid element name");
        nameHasAmp |= c == u'&';
    }

    QString newName;
    if (!nameHasAmp) {
        newName = caches.Names.Get(rawName);
    } else {
        if (!AppendDecoded(newName, rawName))
            return false;
        // An entity must not smuggle in what the writer could not write back
        // as one name.
        if (newName.contains(u' ') || newName.contains(u'/') || newName.startsWith(u'!') || newName.startsWith(u'?'))
            return fail("TXMLNode::ParseFromTag - Invalid element name");
    }

    TAttributeCollector& collector = caches.Attributes;
    collector.Clear();
    // Whether the attribute text is already in stored form (one blank before
    // each attribute, nothing to encode, no duplicates): then it is taken over
    // as one piece, as it is for everything this module writes.
    bool asStored = true;
    qsizetype lastClose = blank - 1;
    qsizetype i = blank;
    for (;;) {
        const qsizetype separatorFrom = i;
        while (i < n && IsBlank(p[i]))
            ++i;
        if (i >= n)
            break;
        asStored &= i == separatorFrom + 1 && p[separatorFrom] == u' ';
        // The first '=' must come before the first '"'.
        qsizetype eq = -1;
        qsizetype quote = i;
        while (quote < n && p[quote] != u'"') {
            if (eq < 0 && p[quote] == u'=')
                eq = quote;
            ++quote;
        }
        if (eq < 0 || quote >= n)
            return fail("TXMLNode::ParseFromTag - Parse error on attribute, \\=\" not found");
        bool valuePlain = true;
        qsizetype close = quote + 1;
        while (close < n && p[close] != u'"') {
            valuePlain &= !NeedsEncoding(p[close]);
            ++close;
        }
        if (close >= n)
            return fail("TXMLNode::ParseFromTag - Parse error on attribute, ending \" not found");
        // Views made directly: mid() is out of line and checks bounds known here.
        QStringView key = Trimmed(QStringView(p + i, eq - i));
        QStringView value(p + quote + 1, close - quote - 1);
        asStored &= quote == eq + 1 && key.size() == eq - i && valuePlain;
        if (NeedsEncoding(key)) {
            asStored = false;
            QString stored;
            if (!Canonical(key, stored))
                return false;
            key = collector.Own(std::move(stored));
        }
        if (!ValidStoredAttributeName(key))
            return fail("TXMLNode::ParseFromTag - Invalid attribute name");
        if (!valuePlain) {
            QString stored;
            if (!Canonical(value, stored))
                return false;
            value = collector.Own(std::move(stored));
        }
        asStored &= collector.Put(key, value);
        lastClose = close;
        i = close + 1;
    }
    name = std::move(newName);
    if (lastClose < blank) {
        attrs = TAttrRef();
    } else if (asStored) {
        attrs = TAttrRef{owner, innerBegin + blank, lastClose + 1 - blank};
    } else {
        QString written = collector.Write();
        const qsizetype length = written.size();
        attrs = TAttrRef{std::move(written), 0, length};
    }
    collector.Clear();
    return true;
}

}  // namespace

// The parser's hands on the tree's private parts.
struct TXMLNodeAccess {
    static const std::vector<std::unique_ptr<TXMLNode>>& Children(const TXMLNode& n) { return n.FChildren; }
    static std::vector<std::unique_ptr<TXMLNode>>& Children(TXMLNode& n) { return n.FChildren; }
    static QStringView Attributes(const TXMLNode& n) { return n.AttributeText(); }
    static const QString& StoredText(const TXMLNode& n) { return n.FText; }

    // Appends one trimmed, non-empty piece of element text read from a file.
    static bool AppendText(TXMLNode& node, QStringView raw, TParseCaches& caches)
    {
        if (!raw.contains(u'&')) {
            if (NeedsEncoding(raw))
                AppendEncoded(node.FText, raw);
            else if (node.FText.isEmpty() && raw.size() <= 8)
                node.FText = caches.Texts.Get(raw);
            else
                node.FText.append(raw);
            return true;
        }
        QString decoded;
        decoded.reserve(raw.size());
        if (!AppendDecoded(decoded, raw))
            return false;
        AppendEncoded(node.FText, decoded);
        return true;
    }

    static TXMLNode* AddChild(TXMLNode& parent, QString name, TAttrRef attrs)
    {
        auto child = std::make_unique<TXMLNode>();
        SetParsed(*child, std::move(name), std::move(attrs));
        child->FParent = &parent;
        parent.FChildren.push_back(std::move(child));
        return parent.FChildren.back().get();
    }

    static void SetName(TXMLNode& node, const QString& name) { node.FName = QString(name); }
    // A new child whose attributes will point into text; kept tells whether
    // its block keeps text alive, else the child must.
    static std::unique_ptr<TXMLNode> NewChildIn(TXMLNode& parent, const QString& text, bool& kept)
    {
        std::unique_ptr<TXMLNode> child(::new (NodePool.AllocateKeeping(text)) TXMLNode);
        kept = true;
        child->FParent = &parent;
        return child;
    }
    static void SetAttributes(TXMLNode& node, const QString& text, bool kept, qsizetype begin, qsizetype length,
                              bool noEntities)
    {
        if (!kept)
            node.FAttrSource = QString(text);
        node.FAttrData = QStringView(text).utf16() + begin;
        node.FAttrLength = length;
        node.FNoEntities = noEntities;
    }

    static void SetParsed(TXMLNode& node, QString name, TAttrRef attrs)
    {
        node.FName = std::move(name);
        node.FAttrSource = std::move(attrs.Source);
        node.FAttrData = QStringView(node.FAttrSource).utf16() + attrs.Begin;
        node.FAttrLength = attrs.Length;
        node.FNoEntities = !node.AttributeText().contains(u'&');
    }
};

namespace {

void DestroyChildren(std::vector<std::unique_ptr<TXMLNode>>& children)
{
    std::vector<std::unique_ptr<TXMLNode>> pending;
    TNodeFreer freer;
    const auto take = [&pending, &freer](std::vector<std::unique_ptr<TXMLNode>>& list) {
        for (auto& c : list)
            if (TXMLNodeAccess::Children(*c).empty())
                freer.Free(c.release());  // a leaf goes at once
            else
                pending.push_back(std::move(c));
        list.clear();
    };
    take(children);
    while (!pending.empty()) {
        std::unique_ptr<TXMLNode> node = std::move(pending.back());
        pending.pop_back();
        take(TXMLNodeAccess::Children(*node));
        // node goes here, childless, so its destructor does not descend.
    }
}

// Whether needle occurs in text, in time linear in both (Knuth-Morris-Pratt):
// a plain search is quadratic on a long closing tag that nearly repeats the
// name, which a hostile file can make megabytes long.
bool ContainsLinear(QStringView text, QStringView needle)
{
    const qsizetype m = needle.size();
    if (m == 0)
        return true;
    if (m > text.size())
        return false;
    std::vector<qsizetype> border(size_t(m), 0);  // longest proper border of needle[0..i]
    for (qsizetype i = 1, k = 0; i < m; ++i) {
        while (k > 0 && needle[i] != needle[k])
            k = border[size_t(k - 1)];
        if (needle[i] == needle[k])
            ++k;
        border[size_t(i)] = k;
    }
    for (qsizetype i = 0, k = 0; i < text.size(); ++i) {
        while (k > 0 && text[i] != needle[k])
            k = border[size_t(k - 1)];
        if (text[i] == needle[k] && ++k == m)
            return true;
    }
    return false;
}

// A closing tag closes the element when it is "</name>" or, leniently, when
// the name occurs anywhere in it.
bool ClosesElement(QStringView tag, QStringView name)
{
    if (tag.size() == name.size() + 3 && tag.sliced(2, name.size()) == name)
        return true;
    return ContainsLinear(tag, name);
}

// The parser proper. The buffer is normally the current line itself (shared,
// not copied); only when a text or tag goes on into the next line is the
// unconsumed rest copied and the next line appended to it. The consumed part
// is marked by an index and dropped only once it is most of the buffer, so the
// work stays linear in the size of the document however it is spread over
// lines.
class TLoader {
public:
    TLoader(const QStringList& lines, TXMLNode& root) : FLines(lines), FRoot(root) {}

    bool Run();

private:
    bool Fail(const char* message, const QString& text)
    {
        SetError(QString::fromLatin1(message), text);
        return Failed();
    }
    bool Failed()
    {
        LastParseError().Line = FLineIndex;
        return false;
    }
    QString Rest(qsizetype from) const { return FBuf.mid(from); }
    // Text after the closed root: files written elsewhere may end in a stray
    // line, which must not cost the whole document. Logged once.
    void IgnoreTail(QStringView text)
    {
        if (FTailLogged || Trimmed(text).isEmpty())
            return;
        FTailLogged = true;
        DebugLog(QStringLiteral("XML: text after the root element ignored in line %1: %2")
                     .arg(FLineIndex + 1)
                     .arg(Trimmed(text).left(60).toString()));
    }
    void TakeLine();
    bool AtEnd();

    const QStringList& FLines;
    TXMLNode& FRoot;
    TParseCaches FCaches;

    QString FBuf;
    bool FOwnBuffer = false;  // FBuf is a private copy, not a shared line
    qsizetype FPos = 0;       // start of the unconsumed part
    qsizetype FScanFrom = 0;  // where the search for the pending '<' or '>' resumes
    int FNextLine = 0;
    int FLineIndex = 0;
    TXMLNode* FCurrent = nullptr;  // innermost open element
    int FDepth = 0;                // number of open elements
    bool FRootSeen = false;
    bool FTailLogged = false;
};

void TLoader::TakeLine()
{
    const QString& line = FLines[FNextLine];
    FLineIndex = FNextLine++;
    if (FPos >= FBuf.size()) {
        FBuf = line;
        if (!FBuf.data_ptr().isMutable())
            FBuf = OwnedText(line);
        FOwnBuffer = false;
        FPos = 0;
        FScanFrom = 0;
        return;
    }
    if (!FOwnBuffer || FPos > FBuf.size() / 2) {
        FBuf = FBuf.mid(FPos);
        FBuf.reserve(FBuf.size() + line.size());
        FScanFrom -= FPos;
        FPos = 0;
        FOwnBuffer = true;
    }
    FBuf.append(line);
}

bool TLoader::AtEnd()
{
    if (FCurrent)
        return Fail("TMiniXMLParser::Load - EOF before closing root node.", FCurrent->Name());
    const QStringView rest = Trimmed(QStringView(FBuf).mid(FPos));
    if (!rest.isEmpty()) {
        if (rest.front() == u'<')
            return Fail("TMiniXMLParser::Load - Incomplete tag at end of file.", rest.toString());
        if (!FRootSeen)
            return Fail("TMiniXMLParser::Load - Text element found before root node.", rest.toString());
        IgnoreTail(rest);
    }
    if (!FRootSeen)
        return Fail("TMiniXMLParser::Load - No root element found.", QString());
    return true;
}

bool TLoader::Run()
{
    const int lineCount = int(FLines.size());
    bool needLine = true;

    for (;;) {
        const QStringView buf(FBuf);
        const char16_t* p = buf.utf16();
        const qsizetype avail = buf.size();
        while (FPos < avail && IsBlank(p[FPos]))
            ++FPos;
        FScanFrom = std::max(FScanFrom, FPos);
        if (needLine || FPos == avail) {
            if (FNextLine >= lineCount)
                return AtEnd();
            TakeLine();
            needLine = false;
            continue;
        }

        if (p[FPos] != u'<') {
            const qsizetype lt = buf.indexOf(u'<', FScanFrom);
            if (lt < 0) {
                // The text goes on in the next line.
                FScanFrom = avail;
                needLine = true;
                continue;
            }
            if (!FCurrent && !FRootSeen)
                return Fail("TMiniXMLParser::Load - Text element found before root node.", Rest(FPos));
            if (!FCurrent) {
                IgnoreTail(buf.mid(FPos, lt - FPos));
                FPos = lt;
                FScanFrom = lt;
                continue;
            }
            const QStringView part = Trimmed(buf.mid(FPos, lt - FPos));
            if (!part.isEmpty() && !TXMLNodeAccess::AppendText(*FCurrent, part, FCaches))
                return Failed();
            FPos = lt;
            FScanFrom = lt;
            continue;
        }

        const qsizetype gt = buf.indexOf(u'>', std::max(FScanFrom, FPos + 1));
        if (gt < 0) {
            // The tag goes on in the next line.
            FScanFrom = avail;
            needLine = true;
            continue;
        }
        const qsizetype tagStart = FPos;
        const QStringView tag(p + tagStart, gt - tagStart + 1);
        FPos = gt + 1;
        FScanFrom = FPos;

        if (tag[1] == u'!' || tag[1] == u'?')
            continue;
        if (tag.indexOf(u'<', 1) >= 0)
            return Fail("TMiniXMLParser::Load - Invalid element tag, multiple '<' or '>' found", Rest(tagStart));

        if (tag[1] == u'/') {
            if (!FCurrent)
                return Fail("TMiniXMLParser::Load - Closing tag found without open element.", Rest(tagStart));
            bool matches;
            if (!tag.contains(u'&')) {
                matches = ClosesElement(tag, FCurrent->Name());
            } else {
                QString decoded;
                if (!AppendDecoded(decoded, tag))
                    return Failed();
                matches = ClosesElement(decoded, FCurrent->Name());
            }
            if (!matches) {
                SetError(QStringLiteral("TMiniXMLParser::Load - Invalid closing tag, should be: ") + FCurrent->Name(),
                         Rest(tagStart));
                return Failed();
            }
            FCurrent = FCurrent->Parent();
            --FDepth;
            continue;
        }

        // One document holds one root; a further top-level element is refused
        // rather than silently mixed into the first one.
        if (!FCurrent && FRootSeen)
            return Fail("TMiniXMLParser::Load - Second root element found.", Rest(tagStart));
        if (FDepth >= MaxNestingDepth)
            return Fail("TMiniXMLParser::Load - Nesting too deep", Rest(tagStart));

        QString name;
        TAttrRef attrs;
        if (!ParseTag(FBuf, tagStart, tag.size(), name, attrs, FCaches))
            return Failed();
        TXMLNode* node;
        if (!FCurrent) {
            node = &FRoot;
            TXMLNodeAccess::SetParsed(FRoot, std::move(name), std::move(attrs));
            FRootSeen = true;
        } else {
            node = TXMLNodeAccess::AddChild(*FCurrent, std::move(name), std::move(attrs));
        }
        if (tag[tag.size() - 2] != u'/') {
            FCurrent = node;
            ++FDepth;
        }
    }
}

// Letters, digits and _ - . : : a name made of these needs no encoding and
// stays one name when written.
constexpr std::array<bool, 128> PlainNameChars = [] {
    std::array<bool, 128> t {};
    for (int c = 0; c < 128; ++c)
        t[size_t(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
                       || c == '.' || c == ':';
    return t;
}();

inline bool IsPlainNameChar(char16_t c) { return c < 128 && PlainNameChars[c]; }

// The usual document, as Build writes it, read in one pass over the whole
// text instead of line by line: no string per line, start tags in stored form
// taken in the same pass that finds their end, and each element's children
// gathered first and handed over in one allocation. The tree it builds is the
// one TLoader builds. Anything else (a tag, text or closing tag spread over
// lines, anything after the root, any fault) makes Run return false: the
// caller then loads the lines with TLoader, which also reports the fault.
class TWholeTextLoader {
public:
    TWholeTextLoader(const QString& text, TXMLNode& root) : FText(text), FRoot(root) {}
    ~TWholeTextLoader() { NodePool.EndKeeping(); }

    bool Run();

private:
    struct TFrame {
        TXMLNode* Node = nullptr;
        std::vector<std::unique_ptr<TXMLNode>> Children;
    };
    // A start tag read by QuickTag, as offsets into the text.
    struct TQuickTag {
        const char16_t* Name;
        qsizetype NameLength;
        qsizetype AttrBegin;
        qsizetype AttrLength;
        const char16_t* Gt;  // the closing '>'
        bool Empty;          // ended by "/>"
    };

    // The start tag at tag in its stored form: a plain name, then ' key="value"'
    // each with plain keys, no key twice, values neither empty nor holding
    // anything to encode, then '>' or "/>". False for anything else, which the
    // general tag parser then reads.
    bool QuickTag(const char16_t* tag, const char16_t* limit, TQuickTag& t) const;
    bool Close(const char16_t* tag, qsizetype length);
    // The new element, in the open one or as the root.
    // kept: whether the element's block keeps the text (else the element must).
    TXMLNode& NewElement(bool& kept);
    void Opened(TXMLNode& node, bool empty);
    const QString& Name(QStringView raw);

    const QString& FText;
    TXMLNode& FRoot;
    TParseCaches FCaches;
    QString FLastName;
    std::vector<TFrame> FStack;  // frames beyond FDepth are kept for their capacity
    int FDepth = 0;              // number of open elements
    bool FRootSeen = false;
};

// Names are short: compared in place rather than through memcmp.
inline bool SameChars(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    const char16_t* x = a.utf16();
    const char16_t* y = b.utf16();
    for (qsizetype i = 0; i < a.size(); ++i)
        if (x[i] != y[i])
            return false;
    return true;
}

bool TWholeTextLoader::QuickTag(const char16_t* tag, const char16_t* limit, TQuickTag& t) const
{
    const char16_t* q = tag + 1;
    while (q < limit && IsPlainNameChar(*q))
        ++q;
    if (q == tag + 1)
        return false;
    t.Name = tag + 1;
    t.NameLength = q - (tag + 1);
    const char16_t* attrsBegin = q;
    constexpr int MaxKeys = 16;
    const char16_t* keys[MaxKeys];
    qsizetype keyLengths[MaxKeys];
    int keyCount = 0;
    quint64 seen = 0;
    while (q < limit && *q == u' ') {
        const char16_t* k = ++q;
        while (q < limit && IsPlainNameChar(*q))
            ++q;
        const qsizetype keyLength = q - k;
        if (keyLength == 0 || limit - q < 2 || q[0] != u'=' || q[1] != u'"')
            return false;
        q += 2;
        const char16_t* v = q;
        while (q < limit && !NeedsEncoding(*q))
            ++q;
        if (q == v || q == limit || *q != u'"')
            return false;
        ++q;
        if (keyCount == MaxKeys)
            return false;
        // Keys the same but for letter case share length and first letter
        // folded: only those are compared.
        const quint64 bit = quint64(1) << ((keyLength * 7 + (*k | 0x20)) & 63);
        if (seen & bit) {
            const QStringView key(k, keyLength);
            for (int i = 0; i < keyCount; ++i)
                if (keyLengths[i] == keyLength && SameKey(QStringView(keys[i], keyLength), key))
                    return false;
        }
        seen |= bit;
        keys[keyCount] = k;
        keyLengths[keyCount++] = keyLength;
    }
    const char16_t* base = QStringView(FText).utf16();
    t.AttrBegin = attrsBegin - base;
    t.AttrLength = q - attrsBegin;
    if (q < limit && *q == u'>') {
        t.Empty = false;
    } else if (limit - q >= 2 && q[0] == u'/' && q[1] == u'>') {
        t.Empty = true;
        ++q;
    } else {
        return false;
    }
    t.Gt = q;
    return true;
}

bool TWholeTextLoader::Close(const char16_t* tag, qsizetype length)
{
    if (FDepth == 0)
        return false;
    TFrame& top = FStack[size_t(FDepth - 1)];
    const QString& name = top.Node->Name();
    const QStringView view(tag, length);
    // "</name>" nearly always; else the lenient forms, as TLoader takes them.
    if (length != name.size() + 3 || !SameChars(view.sliced(2, length - 3), name)) {
        if (!view.contains(u'&')) {
            if (!ClosesElement(view, name))
                return false;
        } else {
            QString decoded;
            if (!AppendDecoded(decoded, view) || !ClosesElement(decoded, name))
                return false;
        }
    }
    auto& children = TXMLNodeAccess::Children(*top.Node);
    children.reserve(top.Children.size());
    for (auto& c : top.Children)
        children.push_back(std::move(c));
    top.Children.clear();
    --FDepth;
    return true;
}

const QString& TWholeTextLoader::Name(QStringView raw)
{
    // Siblings mostly share their name: compared with the last one first.
    if (!SameChars(raw, FLastName))
        FLastName = FCaches.Names.Get(raw);
    return FLastName;
}

TXMLNode& TWholeTextLoader::NewElement(bool& kept)
{
    if (FDepth == 0) {
        FRootSeen = true;
        kept = false;
        return FRoot;
    }
    TFrame& parent = FStack[size_t(FDepth - 1)];
    parent.Children.push_back(TXMLNodeAccess::NewChildIn(*parent.Node, FText, kept));
    return *parent.Children.back();
}

void TWholeTextLoader::Opened(TXMLNode& node, bool empty)
{
    if (empty)
        return;
    if (FStack.size() <= size_t(FDepth))
        FStack.emplace_back();
    FStack[size_t(FDepth++)].Node = &node;
}

bool TWholeTextLoader::Run()
{
    const char16_t* p = QStringView(FText).utf16();
    const qsizetype n = FText.size();
    const char16_t* limit = p + n;
    if (FirstLoneSurrogate(FText) >= 0)
        return false;
    qsizetype pos = 0;
    for (;;) {
        while (pos < n && IsBlank(p[pos]))
            ++pos;
        if (pos == n)
            return FDepth == 0 && FRootSeen;
        if (p[pos] != u'<') {
            // Text: only inside an element, and not spread over lines.
            if (FDepth == 0)
                return false;
            const char16_t* lt = std::char_traits<char16_t>::find(p + pos, size_t(n - pos), u'<');
            if (!lt)
                return false;
            const QStringView part = Trimmed(QStringView(p + pos, lt - (p + pos)));
            if (part.contains(u'\n') || part.contains(u'\r'))
                return false;
            if (!TXMLNodeAccess::AppendText(*FStack[size_t(FDepth - 1)].Node, part, FCaches))
                return false;
            pos = lt - p;
            continue;
        }
        const char16_t* tag = p + pos;
        const bool startTag = pos + 1 < n && tag[1] != u'!' && tag[1] != u'?' && tag[1] != u'/';
        if (startTag && (FRootSeen ? FDepth == 0 : false))
            return false;  // a second root
        if (startTag && FDepth >= MaxNestingDepth)
            return false;
        TQuickTag quick;
        if (startTag && QuickTag(tag, limit, quick)) {
            bool kept;
            TXMLNode& node = NewElement(kept);
            TXMLNodeAccess::SetName(node, Name(QStringView(quick.Name, quick.NameLength)));
            if (quick.AttrLength > 0)
                TXMLNodeAccess::SetAttributes(node, FText, kept, quick.AttrBegin, quick.AttrLength, true);
            Opened(node, quick.Empty);
            pos = quick.Gt + 1 - p;
            continue;
        }
        // The tag up to its '>', on one line and without a second '<'.
        qsizetype gt = pos + 1;
        for (; gt < n; ++gt) {
            const char16_t c = p[gt];
            if (c == u'>')
                break;
            if (c == u'<' || c == u'\n' || c == u'\r')
                return false;
        }
        if (gt == n)
            return false;
        const qsizetype length = gt + 1 - pos;
        const qsizetype tagStart = pos;
        pos = gt + 1;
        if (tag[1] == u'!' || tag[1] == u'?')
            continue;
        if (tag[1] == u'/') {
            if (!Close(tag, length))
                return false;
            continue;
        }
        QString name;
        TAttrRef attrs;
        if (!ParseTag(FText, tagStart, length, name, attrs, FCaches))
            return false;
        bool kept;
        TXMLNode& node = NewElement(kept);
        TXMLNodeAccess::SetParsed(node, std::move(name), std::move(attrs));
        Opened(node, tag[length - 2] == u'/');
    }
}

}  // namespace

// ---- TXMLNode -----------------------------------------------------------------

void* TXMLNode::operator new(std::size_t size)
{
    static_assert(alignof(TXMLNode) <= NodeBlockHeader && sizeof(TXMLNode) < NodeBlockSize / 64);
    static_assert(sizeof(TNodeBlock) <= NodeBlockHeader);
    Q_ASSERT(size == sizeof(TXMLNode));
    (void)size;
    return NodePool.Plain.Allocate();
}

void TXMLNode::operator delete(void* p) noexcept
{
    if (!p)
        return;
    Poison(p, sizeof(TXMLNode));
    ReleaseNodes(BlockOf(p), 1);
}

TXMLNode::TXMLNode() = default;

TXMLNode::~TXMLNode()
{
    if (!FChildren.empty())
        DestroyChildren(FChildren);
#if defined(TRAXEL_XML_ASAN)
    // Attributes written beside the element in its block go with it.
    if (FAttrSource.isNull() && FAttrLength > 0 && BlockOf(FAttrData) == BlockOf(this))
        Poison(FAttrData, std::size_t(FAttrLength) * sizeof(char16_t));
#endif
}

void TXMLNode::Clear()
{
    FAttrSource.clear();
    FAttrData = nullptr;
    FAttrLength = 0;
    FNoEntities = true;
    FText.clear();
    FName.clear();
    DestroyChildren(FChildren);
}

int TXMLNode::GetNodeCount() const { return int(FChildren.size()); }

TXMLNode* TXMLNode::GetNode(int index) const
{
    if (index < 0 || size_t(index) >= FChildren.size())
        throw Exception(MsgInvalidIndex);
    return FChildren[size_t(index)].get();
}

TXMLNode* TXMLNode::FindNode(const QString& name) const
{
    for (const auto& c : FChildren)
        if (c->FName == name)
            return c.get();
    return nullptr;
}

TXMLNode* TXMLNode::FindNthNode(const QString& name, int n) const
{
    if (n < 0)
        return nullptr;
    for (const auto& c : FChildren)
        if (c->FName == name && n-- == 0)
            return c.get();
    return nullptr;
}

QString TXMLNode::GetNodeText(const QString& name) const
{
    const TXMLNode* n = FindNode(name);
    return n ? n->GetText() : QString();
}

double TXMLNode::GetNodeFloat(const QString& name, double def) const
{
    const QString text = GetNodeText(name);
    if (text.isEmpty())
        return def;
    return StrToFloatLocale(text);
}

int TXMLNode::GetNodeInt(const QString& name) const { return StrToIntStrict(GetNodeText(name)); }

TXMLNode* TXMLNode::AddNode(const QString& name, const QString& text)
{
    auto child = std::make_unique<TXMLNode>();
    child->SetName(name);
    if (!text.isNull())  // a null text leaves the new element's text as it is
        child->SetText(text);
    child->FParent = this;
    FChildren.push_back(std::move(child));
    return FChildren.back().get();
}

void TXMLNode::SetNodeText(const QString& name, const QString& text)
{
    if (TXMLNode* n = FindNode(name))
        n->SetText(text);
    else
        AddNode(name, text);
}

void TXMLNode::SetNodeTextDefault(const QString& name, const QString& text)
{
    TXMLNode* n = FindNode(name);
    if (!n)
        n = AddNode(name);
    if (n->FText.isEmpty())
        n->SetText(text);
}

TXMLNode* TXMLNode::SetNodeAttributeDefault(const QString& name, const QString& attr, const QString& value)
{
    TXMLNode* n = FindNode(name);
    if (!n)
        n = AddNode(name);
    TAttrSpan span;
    if (!FindAttributeSpan(n->AttributeText(), TMiniXMLParser::Encode(attr), span))
        n->SetAttributeValue(attr, value);
    return n;
}

void TXMLNode::DeleteNode(int index)
{
    if (index < 0 || size_t(index) >= FChildren.size())
        throw Exception(MsgInvalidIndex);
    std::unique_ptr<TXMLNode> doomed = std::move(FChildren[size_t(index)]);
    FChildren.erase(FChildren.begin() + index);
    // doomed's destructor takes its subtree down without recursion.
}

int TXMLNode::GetAttributeCount() const { return int(AttributeText().count(u'"') / 2); }

QString& TXMLNode::OwnAttributeText()
{
    if (FAttrData != QStringView(FAttrSource).utf16() || FAttrLength != FAttrSource.size()) {
        FAttrSource = AttributeText().toString();
        FAttrData = QStringView(FAttrSource).utf16();
    }
    return FAttrSource;
}

QString TXMLNode::AttributeNameAt(int index) const
{
    TAttrSpan span;
    if (!AttributeSpanAt(AttributeText(), index, span))
        throw Exception(MsgInvalidAttrIndex);
    return DecodeStored(AttributeText().mid(span.NameBegin, span.NameEnd - span.NameBegin));
}

QString TXMLNode::AttributeValueAt(int index) const
{
    TAttrSpan span;
    if (!AttributeSpanAt(AttributeText(), index, span))
        throw Exception(MsgInvalidAttrIndex);
    return DecodeStored(AttributeText().mid(span.ValueBegin, span.ValueEnd - span.ValueBegin));
}

QString TXMLNode::GetAttributeValue(const QString& key) const
{
    TAttrSpan span;
    if (!FindAttributeSpan(AttributeText(), TMiniXMLParser::Encode(key), span))
        throw Exception(MsgKeyNotFound);
    return DecodeStored(AttributeText().mid(span.ValueBegin, span.ValueEnd - span.ValueBegin));
}

int TXMLNode::GetAttributeInt(const QString& key) const { return StrToIntStrict(GetAttributeValue(key)); }

double TXMLNode::GetAttributeFloat(const QString& key) const { return StrToFloatLocale(GetAttributeValue(key)); }

QString TXMLNode::GetAttributeValueDef(const QString& key, const QString& def) const
{
    TAttrSpan span;
    if (!FindAttributeSpan(AttributeText(), TMiniXMLParser::Encode(key), span))
        return def;
    return DecodeStored(AttributeText().mid(span.ValueBegin, span.ValueEnd - span.ValueBegin));
}

double TXMLNode::GetAttributeFloatDef(const QString& key, double def) const
{
    TAttrSpan span;
    if (!FindAttributeSpan(AttributeText(), TMiniXMLParser::Encode(key), span))
        return def;
    return StrToFloatLocale(
        DecodeStored(AttributeText().mid(span.ValueBegin, span.ValueEnd - span.ValueBegin)));
}


void TXMLNode::SetAttributeValue(const QString& key, const QString& value)
{
    RefuseLoneSurrogates(key);
    RefuseLoneSurrogates(value);
    const QString storedKey = TMiniXMLParser::Encode(key);
    if (!ValidStoredAttributeName(storedKey))
        throw Exception(MsgInvalidAttrName);
    QString& attrs = OwnAttributeText();
    const QString storedValue = TMiniXMLParser::Encode(value);
    PutAttribute(attrs, storedKey, storedValue);
    FAttrData = QStringView(attrs).utf16();
    FAttrLength = attrs.size();
    FNoEntities = FNoEntities && !storedKey.contains(u'&') && !storedValue.contains(u'&');
}

void TXMLNode::SetAttributeFloat(const QString& key, double value) { SetAttributeValue(key, FloatToStrDot(value)); }

void TXMLNode::DecodeAttribute(QStringView key, QStringView value, QString& decodedKey, QString& decodedValue)
{
    decodedKey = DecodeStored(key);
    decodedValue = DecodeStored(value);
}

namespace {

// Room for length characters of a new element's attributes: a range of a
// block shared by the elements written one after another (as a loaded element
// shares its line), so a session file's hundred thousand trace points cost no
// allocation each and no free each when the tree goes. Each range is written
// once, before any element refers to it; an element that changes its
// attributes takes a string of its own first (OwnAttributeText).
QChar* AttributeSpace(qsizetype length, QString& source, qsizetype& begin)
{
    constexpr qsizetype BlockSize = 16384;
    if (length == 0 || length > BlockSize / 8) {
        source = QString(length, Qt::Uninitialized);
        begin = 0;
        return source.data();
    }
    struct TBlock {
        QString Text;
        QChar* Data = nullptr;
        qsizetype Used = BlockSize;
    };
    thread_local TBlock block;
    if (block.Used + length > BlockSize) {
        block.Text = QString(BlockSize, Qt::Uninitialized);
        block.Data = block.Text.data();  // not shared yet: no copy
        block.Used = 0;
    }
    source = block.Text;
    begin = block.Used;
    block.Used += length;
    return block.Data + begin;
}

// For plain names, which are ASCII.
bool SamePlainName(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const char16_t x = a[i].unicode();
        const char16_t y = b[i].unicode();
        if (x != y && (x | 0x20) != (y | 0x20))
            return false;
    }
    return true;
}

}  // namespace

void TXMLNode::SetAttributeValues(std::initializer_list<TAttribute> attributes)
{
    // One pass over keys and values: plain names (ASCII), values needing no
    // entity, and the total length. Keys the same but for letter case share
    // length and first letter folded: only such pairs are compared after.
    bool plain = FAttrLength == 0;
    char16_t high = 0;  // the values' characters or'ed: from U+D800 on, one may be half a pair
    quint64 seen = 0;
    bool collision = false;
    qsizetype length = 0;
    for (const TAttribute& a : attributes) {
        const char16_t* k = a.Key.utf16();
        const qsizetype keyLength = a.Key.size();
        if (keyLength == 0) {
            plain = false;
            break;
        }
        // Loops that stop at the first miss: keys and values are a few
        // characters, too short to gain from vector code.
        bool plainKey = true;
        for (qsizetype i = 0; i < keyLength; ++i) {
            if (k[i] >= 128 || !PlainNameChars[k[i]]) {
                plainKey = false;
                break;
            }
        }
        const quint64 bit = quint64(1) << ((keyLength * 7 + (k[0] | 0x20)) & 63);
        collision |= (seen & bit) != 0;
        seen |= bit;
        const char16_t* v = a.Value.utf16();
        const qsizetype valueLength = a.Value.size();
        bool plainValue = true;
        for (qsizetype i = 0; i < valueLength; ++i) {
            high |= v[i];
            if (NeedsEncoding(v[i])) {
                plainValue = false;
                break;
            }
        }
        plain &= plainKey && plainValue;
        if (valueLength > 0)
            length += keyLength + valueLength + 4;
    }
    for (auto a = attributes.begin(); plain && collision && a != attributes.end(); ++a)
        for (auto b = attributes.begin(); plain && b != a; ++b)
            plain = !SamePlainName(a->Key, b->Key);
    // Plain names are ASCII: only values with wide characters, or anything
    // on the general way, need the search for half a surrogate pair.
    if (!plain || high >= 0xD800) {
        for (const TAttribute& a : attributes) {
            RefuseLoneSurrogates(a.Key);
            RefuseLoneSurrogates(a.Value);
        }
    }
    if (!plain) {
        for (const TAttribute& a : attributes)
            SetAttributeValue(a.Key.toString(), a.Value.toString());
        return;
    }
    QChar* d = nullptr;
    // Beside the element when it was just made here: no string to share.
    if (char16_t* room = NodePool.Plain.TextBeside(this, length)) {
        FAttrSource = QString();
        d = reinterpret_cast<QChar*>(room);
    }
    if (!d) {
        qsizetype begin = 0;
        d = AttributeSpace(length, FAttrSource, begin);
    }
    FAttrData = reinterpret_cast<const char16_t*>(d);
    const auto put = [&d](QStringView v) {
        const QChar* c = v.data();
        const QChar* const end = c + v.size();
        while (c != end)  // names and numbers: a few characters each
            *d++ = *c++;
    };
    for (const TAttribute& a : attributes) {
        if (a.Value.isEmpty())
            continue;  // an empty value is never stored
        *d++ = u' ';
        put(a.Key);
        *d++ = u'=';
        *d++ = u'"';
        put(a.Value);
        *d++ = u'"';
    }
    FAttrLength = length;
    FNoEntities = true;  // plain names and values
}

QString TXMLNode::GetText() const { return DecodeStored(FText); }

void TXMLNode::SetText(const QString& text)
{
    RefuseLoneSurrogates(text);
    FText = TMiniXMLParser::Encode(text);
}

void TXMLNode::SetName(const QString& name)
{
    RefuseLoneSurrogates(name);
    FName = name;
}

bool TXMLNode::ParseFromTag(const QString& tagIn)
{
    const QString tag = OwnedText(tagIn);
    if (const qsizetype at = FirstLoneSurrogate(tag); at >= 0) {
        SetError(LoneSurrogateMessage(tag[at].unicode()), tag);
        return false;
    }
    TParseCaches caches;
    QString name;
    TAttrRef attrs;
    if (!ParseTag(tag, 0, tag.size(), name, attrs, caches))
        return false;
    TXMLNodeAccess::SetParsed(*this, std::move(name), std::move(attrs));
    return true;
}

// ---- Writing ------------------------------------------------------------------

namespace {

// One element's line: indent, start tag with its attributes, and either "/>",
// the text with its end tag, or ">" when children follow. An element with both
// text and children keeps its text on the start tag's line (the reader joins
// it up again) instead of losing it.
QString ElementLine(const TXMLNode& node, const QString& indent, const QString& encodedName)
{
    const QStringView attrs = TXMLNodeAccess::Attributes(node);
    const QString& text = TXMLNodeAccess::StoredText(node);
    const bool hasChildren = !TXMLNodeAccess::Children(node).empty();

    qsizetype length = indent.size() + 1 + encodedName.size() + attrs.size() + 2 + text.size();
    if (!hasChildren && !text.isEmpty())
        length += encodedName.size() + 3;

    QString line;
    line.reserve(length);
    line.append(indent);
    line.append(u'<');
    line.append(encodedName);
    line.append(attrs);
    if (hasChildren) {
        line.append(u'>');
        line.append(text);
    } else if (text.isEmpty()) {
        line.append(QLatin1String("/>"));
    } else {
        line.append(u'>');
        line.append(text);
        line.append(QLatin1String("</"));
        line.append(encodedName);
        line.append(u'>');
    }
    return line;
}

QString EncodedName(const TXMLNode& node)
{
    if (node.Name().isEmpty())
        throw Exception("BuildXMLToList: No element name");
    return TMiniXMLParser::Encode(node.Name());
}

}  // namespace

void BuildXMLToList(const TXMLNode* node, QStringList& lines, const QString& indent, const QString& unit)
{
    struct TFrame {
        const TXMLNode* Node;
        QString EncodedName;
        size_t Next;
    };
    QStringList out;
    std::vector<QString> indents{indent};  // indents[d]: indent of depth d
    const auto indentOf = [&](size_t depth) -> const QString& {
        while (indents.size() <= depth)
            indents.push_back(indents.back() + unit);
        return indents[depth];
    };

    // Iterative, so that the depth of a tree built through the API cannot
    // overflow the stack; beyond MaxNestingDepth the result would not load
    // again, so it is refused before anything is handed out.
    std::vector<TFrame> stack;
    {
        QString name = EncodedName(*node);
        out.append(ElementLine(*node, indent, name));
        if (!TXMLNodeAccess::Children(*node).empty())
            stack.push_back({node, std::move(name), 0});
    }
    while (!stack.empty()) {
        TFrame& top = stack.back();
        const auto& children = TXMLNodeAccess::Children(*top.Node);
        if (top.Next < children.size()) {
            const TXMLNode* child = children[top.Next++].get();
            const size_t depth = stack.size();  // the child's depth is depth + 1
            if (depth + 1 > size_t(MaxNestingDepth))
                throw Exception("BuildXMLToList: Nesting too deep");
            QString name = EncodedName(*child);
            out.append(ElementLine(*child, indentOf(depth), name));
            if (!TXMLNodeAccess::Children(*child).empty())
                stack.push_back({child, std::move(name), 0});
        } else {
            const QString& ind = indentOf(stack.size() - 1);
            QString line;
            line.reserve(ind.size() + top.EncodedName.size() + 3);
            line.append(ind);
            line.append(QLatin1String("</"));
            line.append(top.EncodedName);
            line.append(u'>');
            out.append(std::move(line));
            stack.pop_back();
        }
    }
    if (lines.isEmpty())
        lines = std::move(out);
    else
        lines.append(out);
}

// ---- Writing straight to bytes ---------------------------------------------------

namespace {

// The document as SaveToFile writes Build's lines, made from the tree without
// a string per line: ASCII (nearly everything) is copied byte by byte, any
// other piece goes through the UTF-8 codec as a whole, as the joined text did.
class TUtf8Writer {
public:
    explicit TUtf8Writer(qsizetype expected) { Grow(expected); }

    void Put(QStringView v)
    {
        const qsizetype n = v.size();
        const char16_t* p = v.utf16();
        char* d = Room(n);
        char16_t any = 0;
        qsizetype i = 0;
#if defined(__SSE2__)
        // Eight code units at a time, narrowed to bytes; any beyond ASCII
        // shows in the or of their top bits.
        if (n >= 8) {
            __m128i high = _mm_setzero_si128();
            for (; i + 8 <= n; i += 8) {
                const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
                high = _mm_or_si128(high, units);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(units, units));
            }
            const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(high, _mm_set1_epi16(short(0xFF80))), _mm_setzero_si128());
            if (_mm_movemask_epi8(ascii) != 0xFFFF)
                any = 0x80;
        }
#endif
        for (; i < n; ++i) {
            any |= p[i];
            d[i] = char(p[i]);
        }
        if (any < 0x80) {
            FUsed += n;
            return;
        }
        const QByteArray utf8 = v.toUtf8();  // over the bytes just copied
        Put(utf8.constData(), utf8.size());
    }
    void Put(char c)
    {
        *Room(1) = c;
        ++FUsed;
    }
    void Put(const char* bytes, qsizetype n)
    {
        std::memcpy(Room(n), bytes, size_t(n));
        FUsed += n;
    }
    void Blanks(qsizetype n)
    {
        std::memset(Room(n), ' ', size_t(n));
        FUsed += n;
    }

    QByteArray Take()
    {
        FOut.truncate(FUsed);
        return std::move(FOut);
    }

private:
    // Space for n more bytes at the end of what is written.
    char* Room(qsizetype n)
    {
        if (FUsed + n > FOut.size())
            Grow(std::max(n, FOut.size()));
        return FOut.data() + FUsed;
    }
    void Grow(qsizetype by) { FOut.resize(FOut.size() + by); }

    QByteArray FOut;
    qsizetype FUsed = 0;
};

// One element's line as ElementLine makes it, line end included.
void WriteElementLine(TUtf8Writer& w, const TXMLNode& node, qsizetype indent, QStringView encodedName)
{
    const QStringView attrs = TXMLNodeAccess::Attributes(node);
    const QString& text = TXMLNodeAccess::StoredText(node);
    const bool hasChildren = !TXMLNodeAccess::Children(node).empty();
    w.Blanks(indent);
    w.Put('<');
    w.Put(encodedName);
    w.Put(attrs);
    if (hasChildren) {
        w.Put('>');
        w.Put(text);
    } else if (text.isEmpty()) {
        w.Put("/>", 2);
    } else {
        w.Put('>');
        w.Put(text);
        w.Put("</", 2);
        w.Put(encodedName);
        w.Put('>');
    }
    w.Put("\r\n", 2);
}

// The document's size in bytes when all of it is ASCII and no name needs an
// entity, plus a little: the writer's buffer is taken at once, not grown
// step by step, as each large step costs the allocator a sweep over every
// small block freed since the last one.
qsizetype EstimatedBytes(const TXMLNode& root)
{
    qsizetype bytes = 3 + qsizetype(sizeof XmlHeaderLine) + 1 + 256;
    std::vector<std::pair<const TXMLNode*, qsizetype>> pending{{&root, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        const auto& children = TXMLNodeAccess::Children(*node);
        bytes += depth + 1 + node->Name().size() + TXMLNodeAccess::Attributes(*node).size()
                 + TXMLNodeAccess::StoredText(*node).size() + 2;
        if (children.empty()) {
            bytes += TXMLNodeAccess::StoredText(*node).isEmpty() ? 2 : 3 + node->Name().size() + 1;
            continue;
        }
        bytes += 1 + depth + 3 + node->Name().size() + 2;
        for (const auto& child : children)
            pending.emplace_back(child.get(), std::min<qsizetype>(depth + 1, MaxNestingDepth));
    }
    return bytes;
}

// The name as written: encoded only when it needs it, else shared.
QStringView NameForWriting(const TXMLNode& node, QString& scratch)
{
    if (node.Name().isEmpty())
        throw Exception("BuildXMLToList: No element name");
    if (!NeedsEncoding(QStringView(node.Name())))
        return node.Name();
    scratch = EncodeView(node.Name());
    return scratch;
}

}  // namespace

// ---- TMiniXMLParser -------------------------------------------------------------

TMiniXMLParser::TMiniXMLParser() : FRoot(std::make_unique<TXMLNode>()) {}

TMiniXMLParser::~TMiniXMLParser() = default;

void TMiniXMLParser::NewDocument(const QString& fileName)
{
    FRoot = std::make_unique<TXMLNode>();
    FFileName = fileName;
}

std::unique_ptr<TXMLNode> TMiniXMLParser::ReleaseRoot()
{
    std::unique_ptr<TXMLNode> root = std::move(FRoot);
    FRoot = std::make_unique<TXMLNode>();
    return root;
}

bool TMiniXMLParser::LoadFromFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file %1: %2").arg(fileName, file.errorString()));
    QByteArray bytes;
    try {
        bytes = file.readAll();
    } catch (const std::bad_alloc&) {
        FFileName = fileName;
        return FailOutOfMemory();
    }
    if (file.error() != QFileDevice::NoError)
        throw Exception(QStringLiteral("Cannot read file %1: %2").arg(fileName, file.errorString()));
    FFileName = fileName;
    return LoadFromBytes(bytes);
}

bool TMiniXMLParser::LoadFromBytes(const QByteArray& bytes)
{
    try {
        bool valid = true;
        const QString text = DecodeTextBytes(bytes, &valid);
        if (valid)
            return LoadFromText(text);
        // Parse what stands before the first line that does not decode, so the
        // tree keeps what was readable, and report that line.
        const int bad = std::max(0, FirstInvalidTextLine(bytes));
        QStringList lines = SplitTextLines(text);
        if (bad < lines.size())
            lines.erase(lines.begin() + bad, lines.end());
        ClearLines();
        FLines = std::move(lines);
        Load();
        const bool utf16 = bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
        TParseError& e = LastParseError();
        e.Message = utf16 ? QStringLiteral("TMiniXMLParser::LoadFromFile - Invalid UTF-16 text in line ")
                          : QStringLiteral("TMiniXMLParser::LoadFromFile - Invalid UTF-8 text in line ");
        e.Text.clear();
        e.Line = bad;
        return false;
    } catch (const std::bad_alloc&) {
        return FailOutOfMemory();
    }
}

bool TMiniXMLParser::LoadFromText(const QString& textIn)
{
    try {
        const QString text = OwnedText(textIn);
        LastParseError() = TParseError();
        ClearLines();
        FRoot = std::make_unique<TXMLNode>();
        if (TWholeTextLoader(text, *FRoot).Run()) {
            FUnsplitText = text;
            return true;
        }
        FRoot.reset();
        FLines = SplitTextLines(text);
    } catch (const std::bad_alloc&) {
        return FailOutOfMemory();
    }
    return Load();
}

QStringList& TMiniXMLParser::Lines()
{
    return const_cast<QStringList&>(std::as_const(*this).Lines());
}

const QStringList& TMiniXMLParser::Lines() const
{
    if (!FUnsplitText.isNull()) {
        FLines = SplitTextLines(FUnsplitText);
        FUnsplitText = QString();
    }
    return FLines;
}

void TMiniXMLParser::ClearLines()
{
    FLines.clear();
    FUnsplitText = QString();
}

bool TMiniXMLParser::Load()
{
    LastParseError() = TParseError();
    try {
        Lines();
        FRoot = std::make_unique<TXMLNode>();
        // Half a surrogate pair could only be saved as "?": the tree keeps
        // what stands before its line, and the load fails naming that line.
        for (qsizetype line = 0; line < FLines.size(); ++line) {
            const qsizetype at = FirstLoneSurrogate(FLines[line]);
            if (at < 0)
                continue;
            const QStringList before = FLines.first(line);
            TLoader(before, *FRoot).Run();
            TParseError& e = LastParseError();
            e.Message = LoneSurrogateMessage(FLines[line][at].unicode());
            e.Text = FLines[line];
            e.Line = int(line);
            return false;
        }
        TLoader loader(FLines, *FRoot);
        return loader.Run();
    } catch (const std::bad_alloc&) {
        return FailOutOfMemory();
    }
}

bool TMiniXMLParser::FailOutOfMemory()
{
    // The partial tree goes: the memory is needed more than what it holds.
    FRoot.reset();
    ClearLines();
    FRoot = std::make_unique<TXMLNode>();
    TParseError& e = LastParseError();
    e.Message = QStringLiteral("TMiniXMLParser::Load - Not enough memory to load the document.");
    e.Text.clear();
    return false;
}

void TMiniXMLParser::Build()
{
    const qsizetype expected = FUnsplitText.isNull() ? FLines.size() : 0;
    ClearLines();
    QStringList lines;
    lines.reserve(expected);
    lines.append(QString::fromLatin1(XmlHeaderLine));
    BuildXMLToList(FRoot.get(), lines, QString(), QStringLiteral(" "));
    FLines = std::move(lines);
}

void TMiniXMLParser::SaveToFile()
{
    if (Lines().isEmpty())
        return;
    qsizetype length = 0;
    for (const QString& l : FLines)
        length += l.size() + 2;
    QString text;
    text.reserve(length);
    for (const QString& l : FLines) {
        text.append(l);
        text.append(QLatin1String("\r\n"));
    }
    WriteFileAtomically(FFileName, QByteArray("\xEF\xBB\xBF") + text.toUtf8());
}

void TMiniXMLParser::BuildAndSave()
{
    struct TFrame {
        const TXMLNode* Node;
        QString Scratch;  // the encoded name, when it needed encoding
        QStringView EncodedName;
        size_t Next;
    };
    ClearLines();
    TUtf8Writer w(EstimatedBytes(*FRoot));
    w.Put("\xEF\xBB\xBF", 3);
    w.Put(XmlHeaderLine, qsizetype(sizeof XmlHeaderLine - 1));
    w.Put("\r\n", 2);
    // As BuildXMLToList: iterative, and refused beyond MaxNestingDepth before
    // anything is written. A frame's name view points into its own Scratch or
    // into the node's name, so frames are reserved to stay in place.
    std::vector<TFrame> stack;
    stack.reserve(size_t(MaxNestingDepth) + 1);
    const auto open = [&](const TXMLNode& node, size_t depth) {
        QString scratch;
        const QStringView name = NameForWriting(node, scratch);
        WriteElementLine(w, node, qsizetype(depth), name);
        if (TXMLNodeAccess::Children(node).empty())
            return;
        stack.push_back({&node, std::move(scratch), QStringView(), 0});
        TFrame& f = stack.back();
        f.EncodedName = f.Scratch.isEmpty() ? QStringView(node.Name()) : QStringView(f.Scratch);
    };
    open(*FRoot, 0);
    while (!stack.empty()) {
        TFrame& top = stack.back();
        const auto& children = TXMLNodeAccess::Children(*top.Node);
        if (top.Next < children.size()) {
            const TXMLNode* child = children[top.Next++].get();
            const size_t depth = stack.size();
            if (depth + 1 > size_t(MaxNestingDepth))
                throw Exception("BuildXMLToList: Nesting too deep");
            open(*child, depth);
        } else {
            w.Blanks(qsizetype(stack.size() - 1));
            w.Put("</", 2);
            w.Put(top.EncodedName);
            w.Put(">\r\n", 3);
            stack.pop_back();
        }
    }
    WriteFileAtomically(FFileName, w.Take());
}

QString TMiniXMLParser::Encode(const QString& text) { return NeedsEncoding(text) ? EncodeView(text) : text; }

bool TMiniXMLParser::Decode(const QString& text, QString& out)
{
    if (!text.contains(u'&')) {
        out = text;
        return true;
    }
    QString result;
    result.reserve(text.size());
    const bool ok = AppendDecoded(result, text);
    out = std::move(result);
    return ok;
}

}  // namespace MiniXMLParser
