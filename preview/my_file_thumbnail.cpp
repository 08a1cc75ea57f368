#include "my_file_thumbnail.h"

#include "canvas.h"
#include "file_formats.h"
#include "log.h"
#include "placeholder_images.h"
#include "readers.h"

myFileThumbnail::myFileThumbnail(const QString& path, PictureRecorder& into)
    : myFileThumbnail(path, &into, PreviewTarget::cache()) {}

myFileThumbnail::myFileThumbnail(const QString& path, PictureRecorder* recorderOrNull,
                                 PreviewTarget pictureTarget)
    : sourcePath(path), recorder(recorderOrNull), target(pictureTarget) {
    dispatch();
}

myFileThumbnail::Delivered myFileThumbnail::pictureOf(const QString& path, PreviewTarget sizedFor) {
    const myFileThumbnail extractor(path, nullptr, sizedFor);
    return {extractor.outputImage, extractor.madePlaceholder, extractor.leftForRenderer};
}

void myFileThumbnail::dispatch() {
    const FileFormat* format = formatOfPath(sourcePath);
    if (format == nullptr) {
        return;
    }
    switch (format->reader) {
    case FormatReader::DlpHead:
        headerKind = DlpHead::Dlp;
        loadKvrdlpAndLqx();
        break;
    case FormatReader::FdgHead:
        headerKind = DlpHead::Fdg;
        loadKvrdlpAndLqx();
        break;
    case FormatReader::Photons:
        loadPhotons();
        break;
    case FormatReader::Gf:
        loadGF();
        break;
    case FormatReader::Svgx:
        loadSvgx();
        break;
    case FormatReader::Voxalis:
        loadVoxalis();
        break;
    case FormatReader::Gcode:
        loadGcode();
        break;
    case FormatReader::Bgcode:
        loadBgcode();
        break;
    case FormatReader::ThreeMf:
        loadThreeMf();
        break;
    case FormatReader::Stl:
    case FormatReader::Slc:
    case FormatReader::Obj:
    case FormatReader::Ply:
        break;
    }
}

void myFileThumbnail::loadKvrdlpAndLqx() {
    record(readDlpFamily(sourcePath, headerKind, target));
}

void myFileThumbnail::loadPhotons() {
    record(readPhotons(sourcePath, target));
}

void myFileThumbnail::loadGF() {
    record(readGf(sourcePath, target));
}

void myFileThumbnail::loadSvgx() {
    record(readSvgx(sourcePath, target));
}

void myFileThumbnail::loadVoxalis() {
    record(readVoxalis(sourcePath, target));
}

void myFileThumbnail::loadGcode() {
    record(readGcode(sourcePath, target));
}

void myFileThumbnail::loadBgcode() {
    record(readBgcode(sourcePath, target));
}

void myFileThumbnail::loadThreeMf() {
    record(readThreeMfThumbnail(sourcePath, target));
}

void myFileThumbnail::record(const ReaderResult& result) {
    if (result.writesErrorRow()) {
        dbDealError();
    }
    if (result.report()) {
        writeLog(result.report()->line());
    }
    switch (result.picture()) {
    case ReaderResult::Picture::None:
        return;
    case ReaderResult::Picture::Model:
        leftForRenderer = true;
        return;
    case ReaderResult::Picture::Decoded:
        outputImage = result.keepsOwnShape() ? fittedInOwnShape(result.decodedPicture(), target)
                                             : result.decodedPicture();
        break;
    case ReaderResult::Picture::DamagedPlaceholder:
        usePlaceholder(&makeDamagedFileImage);
        break;
    case ReaderResult::Picture::OldVersionPlaceholder:
        usePlaceholder(&makeOldVersionImage);
        break;
    }
    dbDeal();
}

void myFileThumbnail::usePlaceholder(void (*makePlaceholder)(QImage&)) {
    makePlaceholder(outputImage);
    const int side = target.requested();
    if (!target.isCache() && side != outputImage.width()) {
        outputImage =
            outputImage.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    madePlaceholder = true;
}

void myFileThumbnail::dbDeal() {
    if (recorder == nullptr) {
        return;
    }
    QString picture;
    const PictureSave saved = recorder->save(outputImage, picture);
    if (saved == PictureSave::NotWritten) {
        writeLog(kInfoLabel + QStringLiteral("image cannot save---") +
                 logLocation(QStringLiteral("myFileThumbnail::dbDeal"), 1032) + picture);
    }
}

void myFileThumbnail::dbDealError() {
    if (recorder != nullptr) {
        recorder->recordError();
    }
}
