#include "xml_reader.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// Every element boundary of `document` as the reader gives it, read in pieces of `piece`
// bytes: "<{namespace}local a=value>" for a start with the attributes asked for, "</local>" for
// an end, then "end", or "error: why".
std::string trace(const std::string& document, std::size_t piece,
                  const std::vector<std::pair<std::string, std::string>>& asked = {}) {
    std::size_t at = 0;
    XmlReader xml([&](char* out, qint64 max) {
        const std::size_t count = std::min({document.size() - at, piece, std::size_t(max)});
        std::memcpy(out, document.data() + at, count);
        at += count;
        return qint64(count);
    });
    std::string text;
    for (;;) {
        switch (xml.next()) {
        case XmlReader::Token::StartElement:
            text += "<{" + std::string(xml.namespaceUri()) + "}" + std::string(xml.localName());
            for (const auto& [space, local] : asked) {
                std::string_view value;
                if (xml.attribute(space, local, value)) {
                    text += " " + local + "=" + std::string(value);
                }
            }
            text += ">";
            break;
        case XmlReader::Token::EndElement:
            text += "</" + std::string(xml.localName()) + ">";
            break;
        case XmlReader::Token::EndDocument:
            return text + "end";
        case XmlReader::Token::Error:
            return text + "error: " + xml.problem().toStdString();
        }
    }
}

// Each document gives the same trace whether it arrives whole or a byte at a time, or in
// pieces that split its tags, comments and entities anywhere.
TEST(XmlReader, ReadsElementsWithTheirNamespacesWhateverThePieces) {
    const std::string longComment = "<!--" + std::string(3 << 20, '-') + " > -->";
    const std::string longText(3 << 20, 'x');
    const std::string tooLong = "<a b=\"" + std::string(XmlReader::kLongestTag, 'v') + "\"/>";
    const std::string justFits = "<a b=\"" + std::string(XmlReader::kLongestTag - 7, 'v') + "\"/>";
    std::string deep = "<a>";
    std::string deepTrace;
    for (std::size_t i = 0; i < XmlReader::kDeepestNesting; ++i) {
        deep += "<a>";
        deepTrace += "<{}a>";
    }
    const std::vector<std::pair<std::string, std::string>> asked = {
        {"", "x"}, {"urn:p", "x"}, {"http://www.w3.org/XML/1998/namespace", "lang"}};
    const struct {
        std::string document;
        std::string trace;
    } cases[] = {
        {"<?xml version=\"1.0\"?>\n<m xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:e x=\"1\" p:x=\"2\"/>"
         "<e x='3' xml:lang=\"en\"></e></m>",
         "<{urn:d}m><{urn:p}e x=1 x=2></e><{urn:d}e x=3 lang=en></e></m>end"},
        // A binding holds inside its element only; the default one can be undone.
        {"<a xmlns=\"urn:d\"><b xmlns=\"urn:e\"/><c xmlns=\"\"/><d/></a>",
         "<{urn:d}a><{urn:e}b></b><{}c></c><{urn:d}d></d></a>end"},
        {"<p:a xmlns:p=\"urn:p\"/><b/>",
         "<{urn:p}a></a>error: the document has a second root element"},
        {"<q:a/>", "error: a prefix is not bound to a namespace"},
        {"<a q:x=\"1\"/>", "error: a prefix is not bound to a namespace"},
        // Entities: the five and character references; '>' and the other quote inside values.
        {"<a x=\"&lt;&amp;&gt;&quot;&apos;&#65;&#x42;&#xe9;\"/>", "<{}a x=<&>\"'ABé></a>end"},
        {"<a x=\"b>c'd\" />", "<{}a x=b>c'd></a>end"},
        {"<a x=\"&nope;\"/>", "<{}a></a>end"},
        {"<a x=\"&#0;\"/>", "<{}a></a>end"},
        // What is no element is passed by, however long.
        {"<a>" + longComment + "<![CDATA[<b>]]>" + longText + "<?pi <c> ?></a>", "<{}a></a>end"},
        {"\xEF\xBB\xBF<a/>", "<{}a></a>end"},
        // Refused: a document type, UTF-16, damage, too much of a thing.
        {"<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>",
         "error: the document declares a document type"},
        {"\xFF\xFE<\0a\0/\0>\0", "error: the document is not UTF-8"},
        {"<a><b></a>", "<{}a><{}b>error: an end tag does not match its start tag"},
        {"<a><b/>", "<{}a><{}b></b>error: the document ends early"},
        {"<a x=\"1></a>", "error: the document ends early"},
        {"<a><!-- open", "<{}a>error: the document ends early"},
        {"", "error: the document ends early"},
        {"<a x=1/>", "error: an attribute is damaged"},
        {"<a x=\"1\"y=\"2\"/>", "error: an attribute is damaged"},
        {"< a/>", "error: an element has no name"},
        {justFits, "<{}a></a>end"},
        {tooLong, "error: a tag is too long"},
        {deep, deepTrace + "error: elements are nested too deeply"},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {std::size_t(1) << 30, std::size_t(1), std::size_t(7)}) {
            if (piece == 1 && c.document.size() > (1 << 16)) {
                continue; // a byte at a time through megabytes says nothing more
            }
            EXPECT_EQ(trace(c.document, piece, asked), c.trace)
                << c.document.substr(0, 80) << " in pieces of " << piece;
        }
    }
}

// A source that fails ends the reading with an error of its own, which the reader does not
// explain.
TEST(XmlReader, ASourceThatFailsEndsTheReading) {
    int calls = 0;
    XmlReader xml([&](char* out, qint64) {
        if (calls++ > 0) {
            return qint64(-1);
        }
        std::memcpy(out, "<a><b", 5);
        return qint64(5);
    });
    EXPECT_EQ(xml.next(), XmlReader::Token::StartElement);
    EXPECT_EQ(xml.next(), XmlReader::Token::Error);
    EXPECT_TRUE(xml.sourceFailed());
    EXPECT_FALSE(xml.endedEarly());
    EXPECT_TRUE(xml.problem().isEmpty());
}

TEST(XmlReader, ReadsNumbersAsThreeMfWritesThem) {
    const struct {
        const char* text;
        bool ok;
        float value;
    } floats[] = {{"1.5", true, 1.5f}, {" +2e3\t", true, 2000}, {"-0.25", true, -0.25f},
                  {".5", true, 0.5f},  {"1e39", false, 0},      {"1e-50", false, 0},
                  {"1.5x", false, 0},  {"", false, 0},          {"+-1", false, 0},
                  {"0x10", false, 0},  {"inf", true, INFINITY}};
    for (const auto& f : floats) {
        float value = 0;
        EXPECT_EQ(xmlFloat(f.text, value), f.ok) << f.text;
        if (f.ok) {
            EXPECT_EQ(value, f.value) << f.text;
        }
    }
    const struct {
        const char* text;
        bool ok;
        quint32 value;
    } numbers[] = {{"7", true, 7},
                   {" +42 ", true, 42},
                   {"4294967295", true, 4294967295u},
                   {"4294967296", false, 0},
                   {"-1", false, 0},
                   {"1.0", false, 0},
                   {"", false, 0}};
    for (const auto& n : numbers) {
        quint32 value = 0;
        EXPECT_EQ(xmlUnsigned(n.text, value), n.ok) << n.text;
        if (n.ok) {
            EXPECT_EQ(value, n.value) << n.text;
        }
    }
    const std::vector<std::string_view> words = {"1", "0", "-2.5"};
    EXPECT_EQ(xmlWords(" 1 \t0\n-2.5  "), words);
}

} // namespace
