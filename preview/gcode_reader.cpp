#include "embedded_picture.h"
#include "readers.h"
#include "source_file.h"

#include <QList>

#include <optional>

namespace {

constexpr char kOperation[] = "myFileThumbnail::loadGcode";
// Slicers write their previews together among the header comments, before the first move: the
// start is read in pieces from this size, doubling, until a move follows a whole block...
constexpr qint64 kFirstHeadPiece = qint64{256} << 10;
// ...up to this much, whatever the file's size (prints run to hundreds of megabytes)...
constexpr qint64 kHeadScan = qint64{4} << 20;
// ...and, only when the start holds none, this much of the end, where post-processing tools
// append theirs. A block that runs past what is read is not seen.
constexpr qint64 kTailScan = qint64{1} << 20;
// Sides and lengths are decimal numbers; more digits than these can only overflow.
constexpr int kMostSideDigits = 9;
constexpr int kMostLengthDigits = 18;

// The block keywords: PNG has none of its own, JPEG and QOI came later.
struct Keyword {
    const char* text;
    EmbeddedFormat format;
};
constexpr Keyword kKeywords[] = {{"thumbnail", EmbeddedFormat::Png},
                                 {"thumbnail_JPG", EmbeddedFormat::Jpeg},
                                 {"thumbnail_QOI", EmbeddedFormat::Qoi}};

// A part of the file read whole. Only its whole lines are looked at: those up to its last
// line feed, and the last one too where the part reaches the file's end; a part from within
// the file starts after its first line feed.
struct Window {
    QByteArray bytes;
    bool reachesEnd = false;
    int from = 0;
    int limit = 0;
};

// One preview block: "; thumbnail begin WxH LEN", base64 in comment lines, "; thumbnail end".
struct Block {
    EmbeddedFormat format = EmbeddedFormat::Png;
    QSize size;
    qint64 length = 0; // base64 characters, line prefixes not counted
    int bodyStart = 0;
    int endLine = -1; // where its end line starts; -1 when the block is cut off
};

struct Scan {
    Window window;
    std::vector<Block> blocks;
    std::optional<ReaderReport> problem;
};

// Reads the window on to `length` bytes from `start`, after the bytes it holds already.
bool readWindow(QFile& file, qint64 start, qint64 length, qint64 fileSize, Window& window) {
    const qint64 held = window.bytes.size();
    window.bytes.resize(static_cast<int>(length));
    if (!file.seek(start + held) ||
        file.read(window.bytes.data() + held, length - held) != length - held) {
        return false;
    }
    window.reachesEnd = start + length == fileSize;
    if (start > 0) {
        const int feed = window.bytes.indexOf('\n');
        if (feed < 0) {
            return true;
        }
        window.from = feed + 1;
    }
    window.limit = window.reachesEnd ? window.bytes.size() : window.bytes.lastIndexOf('\n') + 1;
    return true;
}

// The line from `start`: up to its line feed, or the window's end.
int lineEnd(const QByteArray& bytes, int start) {
    const int feed = bytes.indexOf('\n', start);
    return feed < 0 ? bytes.size() : feed;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Where the text of a comment line starts, after its semicolon and blanks; -1 for a line that
// is no comment.
int commentText(const QByteArray& bytes, int start, int end) {
    while (start < end && isBlank(bytes[start])) {
        ++start;
    }
    if (start == end || bytes[start] != ';') {
        return -1;
    }
    ++start;
    while (start < end && isBlank(bytes[start])) {
        ++start;
    }
    return start;
}

// The words of a comment line's text from `text`.
QList<QByteArray> wordsOf(const QByteArray& bytes, int text, int end) {
    return QByteArray(bytes.constData() + text, end - text).simplified().split(' ');
}

// The base64 of a body line: its comment text without trailing blanks.
QByteArray payloadOf(const QByteArray& bytes, int text, int end) {
    while (end > text && isBlank(bytes[end - 1])) {
        --end;
    }
    return QByteArray::fromRawData(bytes.constData() + text, end - text);
}

bool startsWithThumbnail(const QByteArray& bytes, int text, int end) {
    static const QByteArray word = QByteArrayLiteral("thumbnail");
    return end - text >= word.size() &&
           QByteArray::fromRawData(bytes.constData() + text, word.size()) == word;
}

std::optional<qint64> decimal(const QByteArray& word, int mostDigits) {
    if (word.isEmpty() || word.size() > mostDigits) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const char digit : word) {
        if (digit < '0' || digit > '9') {
            return std::nullopt;
        }
        value = 10 * value + (digit - '0');
    }
    return value;
}

const Keyword* keywordOf(const QByteArray& word) {
    for (const Keyword& keyword : kKeywords) {
        if (word == keyword.text) {
            return &keyword;
        }
    }
    return nullptr;
}

ReaderReport damagedReport(int number, const QString& message, const QString& path) {
    return located(kOperation, number, onFile(message, path));
}

// The block's declared format, size and length from its begin line's words, checked against
// the file before anything is read for it.
std::optional<ReaderReport> readBeginLine(const QList<QByteArray>& words, qint64 fileSize,
                                          const QString& path, Block& block) {
    const QList<QByteArray> sides = words.size() == 4 ? words[2].split('x') : QList<QByteArray>();
    const auto width = sides.size() == 2 ? decimal(sides[0], kMostSideDigits) : std::nullopt;
    const auto height = sides.size() == 2 ? decimal(sides[1], kMostSideDigits) : std::nullopt;
    const auto length = words.size() == 4 ? decimal(words[3], kMostLengthDigits) : std::nullopt;
    if (!width || !height || !length) {
        return damagedReport(2, QStringLiteral("a preview's begin line is not WIDTHxHEIGHT LENGTH"),
                             path);
    }
    block.size = QSize(static_cast<int>(*width), static_cast<int>(*height));
    if (!embeddedSizeInRange(block.size)) {
        return damagedReport(
            3, QStringLiteral("a preview declares %1 x %2 pixels").arg(*width).arg(*height), path);
    }
    block.length = *length;
    if (block.length > fileSize) {
        return damagedReport(
            4,
            QStringLiteral("a preview declares %1 characters in a file of %2 bytes")
                .arg(block.length)
                .arg(fileSize),
            path);
    }
    return std::nullopt;
}

// Follows a block's body from `start` to its end line; a line that is no comment or another
// block's line cuts it off (endLine stays -1), as does the file's end. False when what was
// read ends first, inside the file: the block runs past the scan.
bool findEnd(const Window& window, const Keyword& keyword, int start, Block& block) {
    block.bodyStart = start;
    for (int line = start; line < window.limit;) {
        const int end = lineEnd(window.bytes, line);
        const int text = commentText(window.bytes, line, end);
        if (text < 0) {
            return true;
        }
        if (startsWithThumbnail(window.bytes, text, end)) {
            const QList<QByteArray> words = wordsOf(window.bytes, text, end);
            const bool ends = words.size() == 2 && words[0] == keyword.text && words[1] == "end";
            block.endLine = ends ? line : -1;
            return true;
        }
        line = end + 1;
    }
    return window.reachesEnd;
}

// Every preview block that begins on a whole line of the window, in file order.
Scan scanWindow(Window window, qint64 fileSize, const QString& path) {
    Scan scan;
    scan.window = std::move(window);
    const Window& w = scan.window;
    int from = w.from;
    while (from < w.limit) {
        const int hit = w.bytes.indexOf("thumbnail", from);
        if (hit < 0 || hit >= w.limit) {
            break;
        }
        const int start = w.bytes.lastIndexOf('\n', hit) + 1;
        const int end = lineEnd(w.bytes, hit);
        from = end + 1;
        const int text = commentText(w.bytes, start, end);
        if (start < w.from || text != hit) {
            continue;
        }
        const QList<QByteArray> words = wordsOf(w.bytes, text, end);
        const Keyword* keyword = words.size() >= 2 ? keywordOf(words[0]) : nullptr;
        if (keyword == nullptr || words[1] != "begin") {
            continue;
        }
        Block block;
        block.format = keyword->format;
        scan.problem = readBeginLine(words, fileSize, path, block);
        if (scan.problem) {
            return scan;
        }
        if (!findEnd(w, *keyword, from, block)) {
            break;
        }
        scan.blocks.push_back(block);
        if (block.endLine >= 0) {
            from = lineEnd(w.bytes, block.endLine) + 1;
        }
    }
    return scan;
}

// Whether a move follows the last block, which is whole: the previews are over.
bool previewsAreOver(const Scan& scan) {
    if (scan.blocks.empty() || scan.blocks.back().endLine < 0) {
        return false;
    }
    const QByteArray& bytes = scan.window.bytes;
    for (int line = lineEnd(bytes, scan.blocks.back().endLine) + 1; line < scan.window.limit;) {
        const int end = lineEnd(bytes, line);
        int first = line;
        while (first < end && isBlank(bytes[first])) {
            ++first;
        }
        if (first < end && bytes[first] != ';') {
            return true;
        }
        line = end + 1;
    }
    return false;
}

// The start's blocks, read in growing pieces until the previews are over or the head is read.
std::optional<Scan> scanHead(QFile& file, qint64 fileSize, const QString& path) {
    const qint64 most = qMin(fileSize, kHeadScan);
    Window head;
    for (qint64 length = qMin(most, kFirstHeadPiece);; length = qMin(most, 2 * length)) {
        if (!readWindow(file, 0, length, fileSize, head)) {
            return std::nullopt;
        }
        Scan scan = scanWindow(head, fileSize, path);
        if (length == most || scan.problem || previewsAreOver(scan)) {
            return scan;
        }
    }
}

ReaderResult decodeBlock(const Scan& scan, const Block& block, const QString& path) {
    if (block.endLine < 0) {
        return ReaderResult::damaged(
            damagedReport(5, QStringLiteral("the preview is cut off"), path));
    }
    const QByteArray& bytes = scan.window.bytes;
    QByteArray base64;
    for (int line = block.bodyStart; line < block.endLine;) {
        const int end = lineEnd(bytes, line);
        base64 += payloadOf(bytes, commentText(bytes, line, end), end);
        line = end + 1;
    }
    if (base64.size() != block.length) {
        return ReaderResult::damaged(
            damagedReport(6,
                          QStringLiteral("the preview holds %1 characters, not the %2 declared")
                              .arg(base64.size())
                              .arg(block.length),
                          path));
    }
    const QByteArray::FromBase64Result encoded =
        QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!encoded) {
        return ReaderResult::damaged(
            damagedReport(7, QStringLiteral("the preview is no base64"), path));
    }
    const EmbeddedDecoding decoded =
        decodeEmbeddedPicture(block.format, encoded.decoded, block.size);
    if (decoded.picture.isNull()) {
        return decoded.problem.isEmpty()
                   ? ReaderResult::nothing()
                   : ReaderResult::damaged(damagedReport(8, decoded.problem, path));
    }
    return ReaderResult::decodedInOwnShape(decoded.picture);
}

} // namespace

ReaderResult readGcode(const QString& path, const PreviewTarget& target) {
    QFile file;
    if (!openRegularFile(file, path)) {
        return ReaderResult::nothing();
    }
    const qint64 fileSize = file.size();
    const auto cannotRead = [&] {
        return ReaderResult::refused(givenUp(kOperation, 1, "the file cannot be read", path));
    };
    std::optional<Scan> head = scanHead(file, fileSize, path);
    if (!head) {
        return cannotRead();
    }
    Scan scan = std::move(*head);
    if (!scan.problem && scan.blocks.empty() && fileSize > kHeadScan) {
        const qint64 start = qMax(kHeadScan, fileSize - kTailScan);
        Window tail;
        if (!readWindow(file, start, fileSize - start, fileSize, tail)) {
            return cannotRead();
        }
        scan = scanWindow(std::move(tail), fileSize, path);
    }
    file.close();
    if (scan.problem) {
        return ReaderResult::damaged(*scan.problem);
    }
    // Written without previews (the slicer's setting, or a hand-made file): intact, and shown
    // as such, like our own formats' files without one.
    if (scan.blocks.empty()) {
        return ReaderResult::withoutPreview();
    }
    std::vector<QSize> sizes;
    for (const Block& block : scan.blocks) {
        sizes.push_back(block.size);
    }
    return decodeBlock(scan, scan.blocks[choosePicture(sizes, target.side())], path);
}
