// A small line-oriented XML module for the program's own files and network
// messages: the element tree TXMLNode and the document TMiniXMLParser.
//
// Not a general XML processor: no namespaces, CDATA or DTD; comments and
// declarations are skipped only when they fit in one tag; element text is
// trimmed; attribute values must be in double quotes. Documents are written
// one element per line, indented by one blank per depth.
//
// Texts, attribute names and attribute values are kept entity-encoded inside
// the tree (exactly as Build writes them); element names are kept plain. The
// getters decode, the setters encode, so what is set is what is read back
// (element texts lose blanks at either end, as every text read is trimmed).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <type_traits>
#include <vector>

namespace MiniXMLParser {

// First line of every document that Build writes.
inline constexpr char XmlHeaderLine[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// Deepest element nesting that Load accepts and Build writes (the root counts
// as depth 1). Keeps a hostile file from exhausting the stack or memory.
inline constexpr int MaxNestingDepth = 256;

// Set by Load, ParseFromTag and Decode when they fail. Line is the 0-based
// index of the last input line the parser had taken.
struct TParseError {
    QString Message;
    QString Text;
    int Line = 0;
};

// Per thread, so a parser running elsewhere can never garble the GUI thread's
// report.
TParseError& LastParseError();

// Message, offending text and line index joined without separators: the text
// that the file readers put into their exceptions.
QString LastParseErrorText();

class TXMLNode;
struct TXMLNodeAccess;

// Appends node and everything below it to lines, one element per line, each
// depth indented by one more unit. Throws Exception "BuildXMLToList: No element
// name" for a nameless element and "BuildXMLToList: Nesting too deep" beyond
// MaxNestingDepth; lines is untouched then.
void BuildXMLToList(const TXMLNode* node, QStringList& lines, const QString& indent, const QString& unit);

class TXMLNode {
public:
    TXMLNode();
    ~TXMLNode();
    TXMLNode(const TXMLNode&) = delete;
    TXMLNode& operator=(const TXMLNode&) = delete;

    // Elements come from blocks shared by the elements made one after
    // another, freed when the last of them goes: a tree of a hundred thousand
    // elements costs no allocation and no free each.
    static void* operator new(std::size_t size);
    static void operator delete(void* p) noexcept;

    const QString& Name() const { return FName; }
    // Throws the reader's message for half a surrogate pair, as every setter.
    void SetName(const QString& name);
    TXMLNode* Parent() const { return FParent; }

    // Drops attributes, text, name and every child.
    void Clear();

    // ---- Children (names compared exactly, case-sensitive) ----
    int GetNodeCount() const;
    // Throws "TXMLNode::GetNode - Invalid Index (out of limits)".
    TXMLNode* GetNode(int index) const;
    TXMLNode* FindNode(const QString& name) const;
    TXMLNode* FindNthNode(const QString& name, int n) const;
    // Decoded text of the first child called name, "" when there is none.
    QString GetNodeText(const QString& name) const;
    // def when the child is missing or its text is empty; EConvertError when
    // the text is not a number. Accepts ',' and '.' as decimal separator.
    double GetNodeFloat(const QString& name, double def) const;
    // EConvertError when the child is missing or its text is no integer.
    int GetNodeInt(const QString& name) const;
    TXMLNode* AddNode(const QString& name, const QString& text = QString());
    void SetNodeText(const QString& name, const QString& text);
    // Adds the child when missing; sets its text only while it is empty.
    void SetNodeTextDefault(const QString& name, const QString& text);
    // Adds the child when missing; sets attr only while it is missing.
    TXMLNode* SetNodeAttributeDefault(const QString& name, const QString& attr, const QString& value);
    // Throws the GetNode message for an index outside the list.
    void DeleteNode(int index);

    // ---- Attributes (keys compared without regard to letter case) ----
    int GetAttributeCount() const;
    // Decoded name and value of the attribute at index, in insertion order;
    // throw "TXMLNode::GetAttribute - Invalid Index (out of limits)".
    QString AttributeNameAt(int index) const;
    QString AttributeValueAt(int index) const;
    // Throw "TXMLNode::GetAttributeValue - Invalid Key (not found)" when the
    // key is missing; the Int/Float forms throw EConvertError for bad numbers.
    QString GetAttributeValue(const QString& key) const;
    int GetAttributeInt(const QString& key) const;
    double GetAttributeFloat(const QString& key) const;
    QString GetAttributeValueDef(const QString& key, const QString& def) const;
    double GetAttributeFloatDef(const QString& key, double def) const;
    // An empty value removes the attribute (an empty value is never written).
    // A key that could not be written back as itself (empty, or holding a
    // blank, '=' or '"') throws "TXMLNode::SetAttributeValue - Invalid
    // attribute name"; the reader refuses such names too.
    void SetAttributeValue(const QString& key, const QString& value);
    // General format, always '.' whatever the locale: 0.5 -> "0.5", 3 -> "3".
    void SetAttributeFloat(const QString& key, double value);

    // ---- Bulk attribute access, for the readers and writers of large files ----
    struct TAttribute {
        QStringView Key;
        QStringView Value;
    };
    // Calls f(key, value) for every attribute in stored order, both decoded;
    // the views hold during the call only. One pass over the start tag instead
    // of one search per key; the caller compares keys (without regard to
    // letter case, as the look-ups do).
    template <class F>
    void ForEachAttribute(F&& f) const
    {
        // Stored form: ' key="value"' each; neither part holds a '"', so the
        // first '"' after a key opens its value. Inline, as it runs for every
        // trace point of a session file.
        const QStringView attrs = AttributeText();
        const char16_t* p = attrs.utf16();
        const char16_t* const end = p + attrs.size();
        while (p < end) {
            bool entity = false;
            const char16_t* const key = p + 1;
            const char16_t* open = key;
            const char16_t* close;
            if (FNoEntities) {
                while (open < end && *open != u'"')
                    ++open;
                close = open + 1;
                while (close < end && *close != u'"')
                    ++close;
            } else {
                for (; open < end && *open != u'"'; ++open)
                    entity |= *open == u'&';
                close = open + 1;
                for (; close < end && *close != u'"'; ++close)
                    entity |= *close == u'&';
            }
            const QStringView k(key, open - 1 - key);
            const QStringView v(open + 1, close - open - 1);
            if (!entity) {
                f(k, v);
            } else {
                QString decodedKey;
                QString decodedValue;
                DecodeAttribute(k, v, decodedKey, decodedValue);
                f(QStringView(decodedKey), QStringView(decodedValue));
            }
            p = close + 1;
        }
    }
    // The outcome of one SetAttributeValue per pair, in order; in a single
    // allocation when the element has no attributes yet and the keys are
    // plain, distinct names.
    void SetAttributeValues(std::initializer_list<TAttribute> attributes);

    // ---- Text ----
    QString GetText() const;
    void SetText(const QString& text);

    // Fills name and attributes from one start tag, '<' and '>' included.
    // On failure LastParseError is set and the node is left unchanged.
    bool ParseFromTag(const QString& tag);

private:
    friend struct TXMLNodeAccess;

    QStringView AttributeText() const { return QStringView(FAttrData, FAttrLength); }
    // Both parts of a stored attribute decoded (throws as the getters do).
    static void DecodeAttribute(QStringView key, QStringView value, QString& decodedKey, QString& decodedValue);
    QString& OwnAttributeText();

    QString FText;  // encoded
    std::vector<std::unique_ptr<TXMLNode>> FChildren;
    // The attributes exactly as written into the start tag: ' name="value"'
    // each, both parts encoded (so neither holds a '"'), values never empty,
    // in insertion order. FAttrData points into FAttrSource, which a loaded
    // element shares with the text it was read from, so loading copies
    // nothing; or, with FAttrSource empty, into a text that the element's
    // block of memory keeps. A change gives the element a string of its own.
    QString FAttrSource;
    const char16_t* FAttrData = nullptr;
    qsizetype FAttrLength = 0;
    // Known to hold no '&' (false: not known), so ForEachAttribute need not
    // look for entities.
    bool FNoEntities = true;
    TXMLNode* FParent = nullptr;
    QString FName;  // plain
};

class TMiniXMLParser {
public:
    TMiniXMLParser();
    ~TMiniXMLParser();
    TMiniXMLParser(const TMiniXMLParser&) = delete;
    TMiniXMLParser& operator=(const TMiniXMLParser&) = delete;

    // Replaces the tree by an empty root and sets the file name.
    void NewDocument(const QString& fileName);

    // Reads the file into Lines() and parses it. The bytes are decoded as
    // every text file is (DecodeTextBytes: a byte-order mark, else UTF-8 when
    // valid, else the 8-bit code page); an invalid sequence or an unpaired
    // surrogate fails the load, naming its line. Lines end at CR LF, LF or a
    // lone CR. Throws Exception "Cannot open file <name>: <reason>" when the
    // file cannot be read; returns false with LastParseError set when its text
    // or XML is bad or it does not fit in memory.
    bool LoadFromFile(const QString& fileName);
    // The same for bytes held in memory; the file name is left alone.
    bool LoadFromBytes(const QByteArray& bytes);
    // Splits text into lines and parses them. The tree shares an owned text;
    // raw data (QString::fromRawData) is copied first, so its buffer may be
    // reused once this returns.
    bool LoadFromText(const QString& text);

    // Parses Lines() into a new tree, in time linear in their size. On failure
    // returns false with LastParseError set; the tree then holds what was read
    // before the fault (nothing when memory ran out). Besides malformed tags,
    // attribute names and entities (an entity of half a surrogate pair among
    // them), these are failures: no root element, a second top-level element,
    // text before the root, a tag (or quoted value) cut off by the end of the
    // input, nesting deeper than MaxNestingDepth, and running out of memory.
    // Text after the closed root is ignored with a DebugLog line.
    bool Load();

    // Replaces Lines() by the XML declaration and the tree. Throws as
    // BuildXMLToList does, leaving Lines() empty.
    void Build();

    // Writes Lines() to the file name as UTF-8 with a byte-order mark, CR LF
    // after every line, through a temporary file that replaces the old one only
    // when everything was written. An empty line list writes nothing. Throws
    // Exception "Cannot write file <name>: <reason>" on failure.
    void SaveToFile();

    // Build and SaveToFile in one, straight from the tree to the file's bytes
    // (the same bytes, without a string per line); Lines() is left empty.
    // Throws as both do; nothing is written then.
    void BuildAndSave();

    static QString Encode(const QString& text);
    static bool Decode(const QString& text, QString& out);

    TXMLNode* Root() const { return FRoot.get(); }
    // Hands the tree to the caller and leaves an empty root in its place.
    std::unique_ptr<TXMLNode> ReleaseRoot();

    // After a load, the lines are split from the text only when asked for.
    QStringList& Lines();
    const QStringList& Lines() const;
    const QString& FileName() const { return FFileName; }
    void SetFileName(const QString& fileName) { FFileName = fileName; }

private:
    // Drops the tree and lines, sets LastParseError, returns false.
    bool FailOutOfMemory();

    // Drops the lines and the text they would be split from.
    void ClearLines();

    QString FFileName;
    std::unique_ptr<TXMLNode> FRoot;
    mutable QStringList FLines;
    // The text last loaded in one piece, not split into FLines yet.
    mutable QString FUnsplitText;
};

}  // namespace MiniXMLParser
