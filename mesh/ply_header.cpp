#include "ply_header.h"

#include <QIODevice>

#include <charconv>
#include <cstring>
#include <string_view>

namespace {

// Scanners and mesh tools write headers of a few hundred bytes; comments make them longer, but
// a header of more than this is no header, and reading it must not cost more.
constexpr qint64 kHeaderLimit = 64 << 10;
// Elements and properties a header may declare: real files have a handful of each.
constexpr std::size_t kElementLimit = 64;
constexpr std::size_t kPropertyLimit = 256;

std::vector<std::string_view> wordsOf(const QByteArray& line) {
    std::vector<std::string_view> words;
    const char* s = line.constData();
    const char* end = s + line.size();
    while (s < end) {
        while (s < end && (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n')) {
            ++s;
        }
        const char* start = s;
        while (s < end && !(*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n')) {
            ++s;
        }
        if (s > start) {
            words.emplace_back(start, std::size_t(s - start));
        }
    }
    return words;
}

bool typeNamed(std::string_view name, PlyType& type) {
    static const std::pair<std::string_view, PlyType> kNames[] = {
        {"char", PlyType::Int8},      {"int8", PlyType::Int8},       {"uchar", PlyType::UInt8},
        {"uint8", PlyType::UInt8},    {"short", PlyType::Int16},     {"int16", PlyType::Int16},
        {"ushort", PlyType::UInt16},  {"uint16", PlyType::UInt16},   {"int", PlyType::Int32},
        {"int32", PlyType::Int32},    {"uint", PlyType::UInt32},     {"uint32", PlyType::UInt32},
        {"float", PlyType::Float32},  {"float32", PlyType::Float32}, {"double", PlyType::Float64},
        {"float64", PlyType::Float64}};
    for (const auto& [text, value] : kNames) {
        if (name == text) {
            type = value;
            return true;
        }
    }
    return false;
}

bool isIntegral(PlyType type) {
    return type != PlyType::Float32 && type != PlyType::Float64;
}

// One line of the header after the first, added to `header`; false when it is damaged.
bool readLine(const std::vector<std::string_view>& words, PlyHeader& header, bool& formatSeen,
              QString& problem) {
    const std::string_view keyword = words.front();
    if (keyword == "comment" || keyword == "obj_info") {
        return true;
    }
    if (keyword == "format") {
        static const std::pair<std::string_view, PlyEncoding> kEncodings[] = {
            {"ascii", PlyEncoding::Ascii},
            {"binary_little_endian", PlyEncoding::BinaryLittleEndian},
            {"binary_big_endian", PlyEncoding::BinaryBigEndian}};
        for (const auto& [name, encoding] : kEncodings) {
            if (words.size() == 3 && words[1] == name && words[2] == "1.0" && !formatSeen) {
                header.encoding = encoding;
                formatSeen = true;
                return true;
            }
        }
        problem = QStringLiteral("the PLY format line is not read");
        return false;
    }
    if (keyword == "element") {
        PlyElement element;
        const std::string_view count = words.size() == 3 ? words[2] : std::string_view();
        const auto parsed =
            std::from_chars(count.data(), count.data() + count.size(), element.count);
        if (count.empty() || parsed.ec != std::errc() ||
            parsed.ptr != count.data() + count.size() || header.elements.size() >= kElementLimit) {
            problem = QStringLiteral("a PLY element line is damaged");
            return false;
        }
        element.name = QByteArray(words[1].data(), int(words[1].size()));
        header.elements.push_back(std::move(element));
        return true;
    }
    if (keyword == "property" && !header.elements.empty() &&
        header.elements.back().properties.size() < kPropertyLimit) {
        PlyProperty property;
        bool typed = false;
        if (words.size() == 3) {
            typed = typeNamed(words[1], property.type);
        } else if (words.size() == 5 && words[1] == "list") {
            property.isList = true;
            typed = typeNamed(words[2], property.countType) && isIntegral(property.countType) &&
                    typeNamed(words[3], property.type);
        }
        if (typed) {
            property.name = QByteArray(words.back().data(), int(words.back().size()));
            header.elements.back().properties.push_back(std::move(property));
            return true;
        }
    }
    problem = QStringLiteral("a PLY header line is not read");
    return false;
}

} // namespace

int plyTypeSize(PlyType type) {
    switch (type) {
    case PlyType::Int8:
    case PlyType::UInt8:
        return 1;
    case PlyType::Int16:
    case PlyType::UInt16:
        return 2;
    case PlyType::Int32:
    case PlyType::UInt32:
    case PlyType::Float32:
        return 4;
    case PlyType::Float64:
        return 8;
    }
    return 1;
}

int PlyElement::scalar(const char* wanted) const {
    for (std::size_t i = 0; i < properties.size(); ++i) {
        if (!properties[i].isList && properties[i].name == wanted) {
            return int(i);
        }
    }
    return -1;
}

bool readPlyHeader(QIODevice& device, PlyHeader& header, QString& problem) {
    qint64 consumed = 0;
    bool formatSeen = false;
    for (int lineNumber = 0;; ++lineNumber) {
        const QByteArray line = device.readLine(kHeaderLimit - consumed + 1);
        consumed += line.size();
        if (line.isEmpty() || !line.endsWith('\n') || consumed > kHeaderLimit) {
            problem = QStringLiteral("the PLY header does not end");
            return false;
        }
        // The magic is the whole first line; writers on Windows end it with a carriage return.
        if (lineNumber == 0) {
            if (line != "ply\n" && line != "ply\r\n") {
                problem = QStringLiteral("the file is no PLY");
                return false;
            }
            continue;
        }
        const std::vector<std::string_view> words = wordsOf(line);
        if (words.empty()) {
            continue;
        }
        if (words.front() == "end_header") {
            if (!formatSeen) {
                problem = QStringLiteral("the PLY header names no format");
            }
            return formatSeen;
        }
        if (!readLine(words, header, formatSeen, problem)) {
            return false;
        }
    }
}
