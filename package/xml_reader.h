#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A pull reader of the XML that packages hold, over bytes that arrive in blocks. It reports
// elements only, with their namespaces resolved, and reads in one pass whatever the lengths of
// texts and comments: those are skipped as they stream by, never kept. What it keeps is one tag
// at a time, up to kLongestTag; a longer one is an error, not gigabytes of attribute value.
//
// Only what packages may hold is read: UTF-8 text without a document type (a DTD is the one
// way a few bytes of XML stand for gigabytes, and packages must not declare one), the five
// predefined entities and character references. Text content is not checked.
class XmlReader {
public:
    // Fills `out` with up to `max` bytes: the count, 0 at the end, -1 when the bytes cannot be
    // had (the source knows why).
    using Source = std::function<qint64(char* out, qint64 max)>;

    enum class Token { StartElement, EndElement, EndDocument, Error };

    // The longest tag read, the bytes between '<' and '>', attributes included; a package's longest
    // are a few hundred bytes, a metadata value a few kilobytes.
    static constexpr std::size_t kLongestTag = std::size_t(1) << 20;
    // Elements open at once; a model nests six deep.
    static constexpr std::size_t kDeepestNesting = 256;

    explicit XmlReader(Source source);

    // The next element boundary; a self-closing element gives its start, then its end.
    Token next();

    // The element just started or ended is `local` in `namespaceUri`.
    bool isElement(std::string_view namespaceUri, std::string_view local) const;
    // The element's local name, whatever its namespace.
    std::string_view localName() const { return local_; }
    std::string_view namespaceUri() const { return namespace_; }

    // The value of the start element's attribute `local` in `namespaceUri` (empty for an
    // attribute without a prefix), entities replaced; false when the element has none. The
    // view lives until the next call of next() or attribute().
    bool attribute(std::string_view namespaceUri, std::string_view local, std::string_view& value);

    // Why next() gave Error, or "" when the source failed (it says why).
    QString problem() const { return problem_; }
    // The error came from the source, not from the text.
    bool sourceFailed() const { return sourceFailed_; }
    // The text ended inside the document.
    bool endedEarly() const { return endedEarly_; }

private:
    struct Attribute {
        std::string_view prefix;
        std::string_view local;
        std::string_view raw;
    };
    struct Binding {
        std::string prefix;
        std::string uri;
        std::size_t depth;
    };

    // More bytes at the end of the window; false at the end of the input or on failure.
    bool fill();
    // Drops what lies before `at` from the window, now and then, so it stays small.
    void consume(std::size_t at);
    // Skips to just past `delimiter`, keeping nothing behind; false if the input ends first.
    bool skipPast(std::string_view delimiter);
    std::optional<Token> readMarkup();
    Token readStartTag();
    Token readEndTag();
    bool parseAttributes(std::string_view text);
    bool bindNamespaces();
    // The namespace a prefix stands for in the open elements, or null when it is unbound.
    const std::string* resolve(std::string_view prefix) const;
    void popBindings();
    Token fail(const QString& why);
    Token sourceError();

    Source source_;
    std::string window_;
    std::vector<char> block_;
    std::size_t at_ = 0;
    bool ended_ = false;
    bool sourceFailed_ = false;
    bool endedEarly_ = false;
    bool started_ = false;
    bool pendingEnd_ = false;
    bool rootSeen_ = false;

    // The tag last read, kept whole, and what was found in it.
    std::string tag_;
    std::string_view prefix_;
    std::string_view local_;
    std::string_view namespace_;
    std::vector<Attribute> attributes_;
    std::string unescaped_;

    std::vector<std::string> open_;
    std::vector<Binding> bindings_;
    QString problem_;
};

// Splits `text` at runs of XML white space.
std::vector<std::string_view> xmlWords(std::string_view text);
// A whole decimal number, as 3MF writes them ([+-]digits[.digits][e[+-]digits], also "inf" and
// "nan"), white space around it allowed; false for anything else or a value beyond float.
bool xmlFloat(std::string_view text, float& value);
// A whole unsigned decimal number below 2^32, white space around it allowed.
bool xmlUnsigned(std::string_view text, quint32& value);
