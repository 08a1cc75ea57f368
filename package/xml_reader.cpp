#include "xml_reader.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace {

// Bytes asked of the source at a time.
constexpr std::size_t kBlock = 256 << 10;
// The window drops what was read once this much of it lies behind.
constexpr std::size_t kCompactAfter = 1 << 20;

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameEnd(char c) {
    return isSpace(c) || c == '/' || c == '>' || c == '=';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Splits a qualified name at its colon.
void splitName(std::string_view name, std::string_view& prefix, std::string_view& local) {
    const std::size_t colon = name.find(':');
    prefix = colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
    local = colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Appends the UTF-8 form of a character reference's code point.
bool appendCodePoint(std::string& out, unsigned long c) {
    if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return false;
    }
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
    return true;
}

// `raw` with its entities replaced, into `out`; false for an entity that is none of the five
// or no character.
bool unescape(std::string_view raw, std::string& out) {
    out.clear();
    while (!raw.empty()) {
        const std::size_t amp = raw.find('&');
        out.append(raw.substr(0, amp));
        if (amp == std::string_view::npos) {
            return true;
        }
        const std::size_t semicolon = raw.find(';', amp);
        if (semicolon == std::string_view::npos) {
            return false;
        }
        const std::string_view name = raw.substr(amp + 1, semicolon - amp - 1);
        static constexpr std::pair<std::string_view, char> kPredefined[] = {
            {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
        const auto predefined = std::find_if(std::begin(kPredefined), std::end(kPredefined),
                                             [&](const auto& p) { return p.first == name; });
        if (predefined != std::end(kPredefined)) {
            out += predefined->second;
        } else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            const std::string_view digits = name.substr(hex ? 2 : 1);
            unsigned long code = 0;
            const auto parsed =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (digits.empty() || parsed.ec != std::errc() ||
                parsed.ptr != digits.data() + digits.size() || !appendCodePoint(out, code)) {
                return false;
            }
        } else {
            return false;
        }
        raw.remove_prefix(semicolon + 1);
    }
    return true;
}

} // namespace

XmlReader::XmlReader(Source source) : source_(std::move(source)) {}

bool XmlReader::fill() {
    if (ended_ || sourceFailed_) {
        return false;
    }
    // Read into a block of its own: growing the window first would clear the whole block
    // for every piece, however small the piece the source gives.
    block_.resize(kBlock);
    const qint64 got = source_(block_.data(), qint64(kBlock));
    if (got > 0) {
        window_.append(block_.data(), std::size_t(got));
    }
    if (got < 0) {
        sourceFailed_ = true;
    } else if (got == 0) {
        ended_ = true;
    }
    return got > 0;
}

void XmlReader::consume(std::size_t at) {
    at_ = at;
    if (at_ >= kCompactAfter && at_ * 2 >= window_.size()) {
        window_.erase(0, at_);
        at_ = 0;
    }
}

bool XmlReader::skipPast(std::string_view delimiter) {
    for (;;) {
        const std::size_t found = window_.find(delimiter, at_);
        if (found != std::string::npos) {
            consume(found + delimiter.size());
            return true;
        }
        // Only a delimiter's first bytes may wait at the end for the rest of it.
        const std::size_t keep = std::min(window_.size() - at_, delimiter.size() - 1);
        consume(window_.size() - keep);
        if (!fill()) {
            return false;
        }
    }
}

XmlReader::Token XmlReader::fail(const QString& why) {
    problem_ = why;
    return Token::Error;
}

XmlReader::Token XmlReader::sourceError() {
    if (sourceFailed_) {
        problem_.clear();
        return Token::Error;
    }
    endedEarly_ = true;
    return fail(QStringLiteral("the document ends early"));
}

XmlReader::Token XmlReader::next() {
    if (pendingEnd_) {
        pendingEnd_ = false;
        return Token::EndElement;
    }
    // The bindings of an element that ended go only now: its namespace was still being read.
    popBindings();
    if (!started_) {
        started_ = true;
        while (window_.size() < 2 && fill()) {
        }
        // A byte-order mark of UTF-16: its text would pass for no markup at all.
        if (window_.rfind("\xFF\xFE", 0) == 0 || window_.rfind("\xFE\xFF", 0) == 0) {
            return fail(QStringLiteral("the document is not UTF-8"));
        }
    }
    for (;;) {
        // Text between tags is skipped as it comes, however long.
        const std::size_t open = window_.find('<', at_);
        if (open == std::string::npos) {
            consume(window_.size());
            if (!fill()) {
                if (sourceFailed_) {
                    return sourceError();
                }
                if (!rootSeen_ || !open_.empty()) {
                    return sourceError();
                }
                return Token::EndDocument;
            }
            continue;
        }
        consume(open);
        if (const std::optional<Token> token = readMarkup()) {
            return *token;
        }
    }
}

// Reads the markup at the window's position, a '<'; none for markup that is no element (a
// comment, a processing instruction, a CDATA section), which the caller passes by.
std::optional<XmlReader::Token> XmlReader::readMarkup() {
    constexpr std::string_view kComment = "<!--";
    constexpr std::string_view kCData = "<![CDATA[";
    while (window_.size() - at_ < kCData.size() && fill()) {
    }
    const std::string_view ahead = std::string_view(window_).substr(at_);
    // Input that ended inside what may open a comment or a CDATA section tells neither.
    if (ahead.size() < kCData.size() &&
        (kCData.substr(0, ahead.size()) == ahead || kComment.substr(0, ahead.size()) == ahead)) {
        return sourceError();
    }
    if (ahead.substr(0, kComment.size()) == kComment) {
        consume(at_ + kComment.size());
        return skipPast("-->") ? std::nullopt : std::optional<Token>(sourceError());
    }
    if (ahead.substr(0, kCData.size()) == kCData) {
        consume(at_ + kCData.size());
        return skipPast("]]>") ? std::nullopt : std::optional<Token>(sourceError());
    }
    if (ahead.substr(0, 2) == "<!") {
        return fail(QStringLiteral("the document declares a document type"));
    }
    if (ahead.substr(0, 2) == "<?") {
        consume(at_ + 2);
        return skipPast("?>") ? std::nullopt : std::optional<Token>(sourceError());
    }
    if (ahead.size() < 2) {
        return sourceError();
    }
    return ahead[1] == '/' ? readEndTag() : readStartTag();
}

XmlReader::Token XmlReader::readEndTag() {
    std::size_t close = std::string::npos;
    while ((close = window_.find('>', at_)) == std::string::npos) {
        if (window_.size() - at_ - 1 > kLongestTag) {
            return fail(QStringLiteral("a tag is too long"));
        }
        if (!fill()) {
            return sourceError();
        }
    }
    const std::string_view name =
        trimmed(std::string_view(window_).substr(at_ + 2, close - at_ - 2));
    if (open_.empty() || open_.back() != name) {
        return fail(QStringLiteral("an end tag does not match its start tag"));
    }
    tag_.assign(name);
    consume(close + 1);
    splitName(tag_, prefix_, local_);
    const std::string* uri = resolve(prefix_);
    namespace_ = uri != nullptr ? std::string_view(*uri) : std::string_view();
    attributes_.clear();
    open_.pop_back();
    return Token::EndElement;
}

XmlReader::Token XmlReader::readStartTag() {
    // The tag ends at the first '>' outside a quoted value.
    std::size_t scan = at_ + 1;
    char quote = 0;
    std::size_t close = std::string::npos;
    while (close == std::string::npos) {
        for (; scan < window_.size(); ++scan) {
            const char c = window_[scan];
            if (quote != 0) {
                quote = c == quote ? 0 : quote;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                close = scan;
                break;
            }
        }
        if (close == std::string::npos) {
            if (scan - at_ - 1 > kLongestTag) {
                return fail(QStringLiteral("a tag is too long"));
            }
            if (!fill()) {
                return sourceError();
            }
        }
    }
    if (close - at_ - 1 > kLongestTag) {
        return fail(QStringLiteral("a tag is too long"));
    }
    if (open_.empty() && rootSeen_) {
        return fail(QStringLiteral("the document has a second root element"));
    }
    tag_.assign(window_, at_ + 1, close - at_ - 1);
    consume(close + 1);
    const bool selfClosing = !tag_.empty() && tag_.back() == '/';
    const std::string_view text =
        std::string_view(tag_).substr(0, tag_.size() - (selfClosing ? 1 : 0));
    std::size_t nameEnd = 0;
    while (nameEnd < text.size() && !isNameEnd(text[nameEnd])) {
        ++nameEnd;
    }
    const std::string_view name = text.substr(0, nameEnd);
    if (name.empty()) {
        return fail(QStringLiteral("an element has no name"));
    }
    if (open_.size() >= kDeepestNesting) {
        return fail(QStringLiteral("elements are nested too deeply"));
    }
    if (!parseAttributes(text.substr(nameEnd))) {
        return fail(QStringLiteral("an attribute is damaged"));
    }
    open_.emplace_back(name);
    rootSeen_ = true;
    if (!bindNamespaces()) {
        return fail(QStringLiteral("a prefix is not bound to a namespace"));
    }
    splitName(name, prefix_, local_);
    const std::string* uri = resolve(prefix_);
    if (uri == nullptr) {
        return fail(QStringLiteral("a prefix is not bound to a namespace"));
    }
    namespace_ = *uri;
    if (selfClosing) {
        open_.pop_back();
        pendingEnd_ = true;
    }
    return Token::StartElement;
}

bool XmlReader::parseAttributes(std::string_view text) {
    attributes_.clear();
    for (;;) {
        const std::string_view rest = trimmed(text);
        if (rest.empty()) {
            return true;
        }
        // Attributes are separated by white space from the name and from each other.
        if (rest.size() == text.size()) {
            return false;
        }
        const std::size_t equals = rest.find('=');
        if (equals == std::string_view::npos) {
            return false;
        }
        const std::string_view name = trimmed(rest.substr(0, equals));
        const std::string_view after = trimmed(rest.substr(equals + 1));
        if (name.empty() || after.empty() || (after[0] != '"' && after[0] != '\'')) {
            return false;
        }
        const std::size_t end = after.find(after[0], 1);
        if (end == std::string_view::npos) {
            return false;
        }
        Attribute attribute;
        splitName(name, attribute.prefix, attribute.local);
        attribute.raw = after.substr(1, end - 1);
        attributes_.push_back(attribute);
        text = after.substr(end + 1);
    }
}

bool XmlReader::bindNamespaces() {
    for (const Attribute& attribute : attributes_) {
        const bool isDefault = attribute.prefix.empty() && attribute.local == "xmlns";
        if (!isDefault && attribute.prefix != "xmlns") {
            continue;
        }
        std::string uri;
        if (!unescape(attribute.raw, uri)) {
            return false;
        }
        bindings_.push_back({std::string(isDefault ? std::string_view() : attribute.local),
                             std::move(uri), open_.size()});
    }
    // Every prefix used by an attribute must be bound; "xml" always is.
    return std::all_of(attributes_.begin(), attributes_.end(), [this](const Attribute& a) {
        return a.prefix.empty() || a.prefix == "xmlns" || resolve(a.prefix) != nullptr;
    });
}

const std::string* XmlReader::resolve(std::string_view prefix) const {
    static const std::string none;
    static const std::string xml(kXmlNamespace);
    for (auto binding = bindings_.rbegin(); binding != bindings_.rend(); ++binding) {
        if (binding->prefix == prefix) {
            return &binding->uri;
        }
    }
    if (prefix == "xml") {
        return &xml;
    }
    return prefix.empty() ? &none : nullptr;
}

void XmlReader::popBindings() {
    while (!bindings_.empty() && bindings_.back().depth > open_.size()) {
        bindings_.pop_back();
    }
}

bool XmlReader::isElement(std::string_view namespaceUri, std::string_view local) const {
    return local_ == local && namespace_ == namespaceUri;
}

bool XmlReader::attribute(std::string_view namespaceUri, std::string_view local,
                          std::string_view& value) {
    for (const Attribute& attribute : attributes_) {
        if (attribute.local != local || attribute.prefix == "xmlns" ||
            (attribute.prefix.empty() && attribute.local == "xmlns")) {
            continue;
        }
        // An attribute without a prefix is in no namespace, whatever the element's default.
        const std::string* uri = attribute.prefix.empty() ? nullptr : resolve(attribute.prefix);
        const std::string_view in = uri != nullptr ? std::string_view(*uri) : std::string_view();
        if (in != namespaceUri) {
            continue;
        }
        if (attribute.raw.find('&') == std::string_view::npos) {
            value = attribute.raw;
            return true;
        }
        if (!unescape(attribute.raw, unescaped_)) {
            return false;
        }
        value = unescaped_;
        return true;
    }
    return false;
}

std::vector<std::string_view> xmlWords(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSpace(text[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && !isSpace(text[i])) {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

bool xmlFloat(std::string_view text, float& value) {
    text = trimmed(text);
    // from_chars takes no plus sign; 3MF's numbers may carry one.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return false;
        }
    }
    const char* end = text.data() + text.size();
    const std::from_chars_result parsed = std::from_chars(text.data(), end, value);
    return !text.empty() && parsed.ec == std::errc() && parsed.ptr == end;
}

bool xmlUnsigned(std::string_view text, quint32& value) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const char* end = text.data() + text.size();
    const std::from_chars_result parsed = std::from_chars(text.data(), end, value);
    return !text.empty() && parsed.ec == std::errc() && parsed.ptr == end;
}
