#include "threemf_writer.h"

#include "byte_writer.h"

#include <QHash>

#include <zlib.h>

namespace {

constexpr quint16 kVersion = 20;

QByteArray number(float value) {
    return QByteArray::number(double(value), 'g', 9);
}

void writeReference(QByteArray& xml, const char* element, const ThreeMfReference& reference) {
    xml +=
        "<" + QByteArray(element) + " objectid=\"" + QByteArray::number(reference.objectId) + "\"";
    if (!reference.transform.isEmpty()) {
        xml += " transform=\"" + reference.transform + "\"";
    }
    if (!reference.path.isEmpty()) {
        xml += " p:path=\"" + reference.path + "\"";
    }
    xml += "/>\n";
}

void writeMesh(QByteArray& xml, const QVector<Triangle>& triangles) {
    QHash<QByteArray, int> indexOf;
    QByteArray vertices;
    QByteArray faces;
    for (const Triangle& triangle : triangles) {
        faces += "<triangle";
        const char* corners[] = {" v1=\"", " v2=\"", " v3=\""};
        int corner = 0;
        for (const QVector3D& p : {triangle.a, triangle.b, triangle.c}) {
            const QByteArray text = "x=\"" + number(p.x()) + "\" y=\"" + number(p.y()) + "\" z=\"" +
                                    number(p.z()) + "\"";
            auto found = indexOf.find(text);
            if (found == indexOf.end()) {
                found = indexOf.insert(text, indexOf.size());
                vertices += "<vertex " + text + "/>\n";
            }
            faces += corners[corner++] + QByteArray::number(*found) + "\"";
        }
        faces += "/>\n";
    }
    xml += "<vertices>\n" + vertices + "</vertices>\n<triangles>\n" + faces + "</triangles>\n";
}

// A raw deflate stream (no zlib header), as zip entries hold it.
QByteArray rawDeflate(const QByteArray& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.truncate(int(stream.total_out));
    deflateEnd(&stream);
    return out;
}

} // namespace

DeflatedData deflateRepeated(const QByteArray& head, const QByteArray& unit, qint64 count,
                             const QByteArray& tail) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    DeflatedData out;
    uLong crc = crc32(0, nullptr, 0);
    qint64 size = 0;
    QByteArray buffer(1 << 16, '\0');
    const auto feed = [&](const QByteArray& bytes, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
        stream.avail_in = uInt(bytes.size());
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size()));
        size += bytes.size();
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = uInt(buffer.size());
            deflate(&stream, flush);
            out.stream.append(buffer.constData(), buffer.size() - int(stream.avail_out));
        } while (stream.avail_out == 0);
    };
    feed(head, Z_NO_FLUSH);
    // Units in blocks of about a mebibyte: fewer calls, the same stream.
    const qint64 perBlock = qMax<qint64>(1, (1 << 20) / qMax(1, unit.size()));
    const QByteArray block = unit.repeated(int(perBlock));
    for (qint64 left = count; left > 0; left -= perBlock) {
        feed(left >= perBlock ? block : unit.repeated(int(left)), Z_NO_FLUSH);
    }
    feed(tail, Z_FINISH);
    deflateEnd(&stream);
    out.crc = quint32(crc);
    out.size = quint32(size);
    return out;
}

QByteArray zipArchive(const QVector<ZipEntry>& entries) {
    struct Written {
        quint32 offset;
        quint32 crc;
        quint32 compressed;
        quint32 size;
        quint16 method;
    };
    ByteWriter archive;
    ByteWriter directory;
    QVector<Written> written;
    for (const ZipEntry& entry : entries) {
        Written record{};
        if (entry.sharesDataOf) {
            // The directory entry of data written before: its offset, check and sizes.
            record = written.at(*entry.sharesDataOf);
        } else {
            const QByteArray stored = (entry.deflated  ? entry.deflated->stream
                                       : entry.deflate ? rawDeflate(entry.data)
                                                       : entry.data) +
                                      entry.padding;
            record.offset = quint32(archive.size());
            record.crc =
                entry.deflated
                    ? entry.deflated->crc
                    : quint32(crc32(0, reinterpret_cast<const Bytef*>(entry.data.constData()),
                                    uInt(entry.data.size())));
            record.size = entry.declaredSize.value_or(entry.deflated ? entry.deflated->size
                                                                     : quint32(entry.data.size()));
            record.compressed = entry.declaredCompressedSize.value_or(quint32(stored.size()));
            record.method = entry.deflate || entry.deflated ? 8 : 0;
            archive.u32le(0x04034b50).u16le(kVersion).u16le(0).u16le(record.method).u32le(0);
            archive.u32le(record.crc).u32le(record.compressed).u32le(record.size);
            archive.u16le(quint16(entry.name.size())).u16le(0).raw(entry.name).raw(stored);
        }
        written.append(record);
        directory.u32le(0x02014b50).u16le(kVersion).u16le(kVersion).u16le(0).u16le(record.method);
        directory.u32le(0).u32le(record.crc).u32le(record.compressed).u32le(record.size);
        directory.u16le(quint16(entry.name.size())).u16le(0).u16le(0).u16le(0).u16le(0);
        directory.u32le(0).u32le(record.offset).raw(entry.name);
    }
    const auto directoryAt = quint32(archive.size());
    archive.raw(directory.bytes());
    archive.u32le(0x06054b50).u16le(0).u16le(0);
    archive.u16le(quint16(entries.size())).u16le(quint16(entries.size()));
    archive.u32le(quint32(directory.size())).u32le(directoryAt).u16le(0);
    return archive.bytes();
}

QByteArray threeMfModel(const QVector<ThreeMfObject>& objects,
                        const QVector<ThreeMfReference>& build, const QByteArray& resources) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<model unit=\"millimeter\" xml:lang=\"en-US\" "
                     "xmlns=\"http://schemas.microsoft.com/3dmanufacturing/core/2015/02\" "
                     "xmlns:p=\"http://schemas.microsoft.com/3dmanufacturing/production/2015/06\" "
                     "xmlns:m=\"http://schemas.microsoft.com/3dmanufacturing/material/2015/02\">\n"
                     "<metadata name=\"Application\">VOXALIS writer</metadata>\n<resources>\n"
                     "<m:colorgroup id=\"900\"><m:color color=\"#FF0000\"/></m:colorgroup>\n" +
                     resources;
    for (const ThreeMfObject& object : objects) {
        xml += "<object id=\"" + QByteArray::number(object.id) + "\" type=\"model\"" +
               (object.attributes.isEmpty() ? QByteArray() : " " + object.attributes) + ">\n";
        if (!object.components.isEmpty()) {
            xml += "<components>\n";
            for (const ThreeMfReference& component : object.components) {
                writeReference(xml, "component", component);
            }
            xml += "</components>\n";
        } else {
            xml += "<mesh>\n";
            if (object.rawMesh.isEmpty()) {
                writeMesh(xml, object.triangles);
            } else {
                xml += object.rawMesh;
            }
            xml += "</mesh>\n";
        }
        xml += "</object>\n";
    }
    xml += "</resources>\n<build>\n";
    for (const ThreeMfReference& item : build) {
        writeReference(xml, "item", item);
    }
    return xml + "</build>\n</model>\n";
}

QVector<ZipEntry> ThreeMfPackage::entries() const {
    QByteArray relationships =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">\n"
        "<Relationship Target=\"/3D/3dmodel.model\" Id=\"rel0\" "
        "Type=\"http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel\"/>\n";
    if (!thumbnail.isEmpty()) {
        relationships += "<Relationship Target=\"/" + thumbnailName +
                         "\" Id=\"rel1\" Type=\"http://schemas.openxmlformats.org/package/2006/"
                         "relationships/metadata/thumbnail\"/>\n";
    }
    relationships += "</Relationships>\n";
    const QByteArray contentTypes =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">\n"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>\n"
        "<Default Extension=\"model\" "
        "ContentType=\"application/vnd.ms-package.3dmanufacturing-3dmodel+xml\"/>\n"
        "<Default Extension=\"png\" ContentType=\"image/png\"/>\n"
        "<Default Extension=\"jpeg\" ContentType=\"image/jpeg\"/>\n</Types>\n";
    QVector<ZipEntry> all = {{"[Content_Types].xml", contentTypes, deflate, {}, {}},
                             {"_rels/.rels", relationships, deflate, {}, {}},
                             {"3D/3dmodel.model", model, deflate, {}, {}}};
    if (!thumbnail.isEmpty()) {
        all.append({thumbnailName, thumbnail, false, {}, {}});
    }
    return all + extraParts;
}

QByteArray pngDeclaring(quint32 width, quint32 height) {
    const auto chunk = [](ByteWriter& png, const QByteArray& type, const QByteArray& data) {
        const QByteArray checked = type + data;
        png.u32be(quint32(data.size())).raw(checked);
        png.u32be(quint32(
            crc32(0, reinterpret_cast<const Bytef*>(checked.constData()), uInt(checked.size()))));
    };
    ByteWriter header;
    header.u32be(width).u32be(height).raw(QByteArray("\x08\x06\x00\x00\x00", 5));
    QByteArray compressed;
    compressed.resize(64);
    uLongf compressedSize = uLongf(compressed.size());
    const QByteArray row(5, '\0');
    compress(reinterpret_cast<Bytef*>(compressed.data()), &compressedSize,
             reinterpret_cast<const Bytef*>(row.constData()), uLong(row.size()));
    compressed.truncate(int(compressedSize));
    ByteWriter png;
    png.raw(QByteArray("\x89PNG\r\n\x1a\n", 8));
    chunk(png, "IHDR", header.bytes());
    chunk(png, "IDAT", compressed);
    chunk(png, "IEND", {});
    return png.bytes();
}
