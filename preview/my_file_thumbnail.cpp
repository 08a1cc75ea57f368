#include "my_file_thumbnail.h"

#include "canvas.h"
#include "file_formats.h"
#include "log.h"
#include "placeholder_images.h"
#include "readers.h"

myFileThumbnail::myFileThumbnail(const QString& path, PictureRecorder& recorder)
    : myFileThumbnail(path, &recorder, PreviewTarget::cache()) {}

myFileThumbnail::myFileThumbnail(const QString& path, PictureRecorder* recorder,
                                 PreviewTarget target)
    : sourcePath(path), recorder_(recorder), target_(target) {
    dispatch();
}

myFileThumbnail::Delivered myFileThumbnail::pictureOf(const QString& path, PreviewTarget target) {
    const myFileThumbnail extractor(path, nullptr, target);
    return {extractor.outputImage, extractor.placeholder_, extractor.leftToRenderer_};
}

void myFileThumbnail::dispatch() {
    const FileFormat* format = formatOfPath(sourcePath);
    if (format == nullptr) {
        return;
    }
    switch (format->reader) {
    case FormatReader::DlpHead:
        headerKind = 0;
        loadKvrdlpAndLqx();
        break;
    case FormatReader::FdgHead:
        headerKind = 1;
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
    record(readDlpFamily(sourcePath, headerKind, target_));
}

void myFileThumbnail::loadPhotons() {
    record(readPhotons(sourcePath, target_));
}

void myFileThumbnail::loadGF() {
    record(readGf(sourcePath, target_));
}

void myFileThumbnail::loadSvgx() {
    record(readSvgx(sourcePath, target_));
}

void myFileThumbnail::loadVoxalis() {
    record(readVoxalis(sourcePath, target_));
}

void myFileThumbnail::loadGcode() {
    record(readGcode(sourcePath, target_));
}

void myFileThumbnail::loadBgcode() {
    record(readBgcode(sourcePath, target_));
}

void myFileThumbnail::loadThreeMf() {
    record(readThreeMfThumbnail(sourcePath, target_));
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
        leftToRenderer_ = true;
        return;
    case ReaderResult::Picture::Decoded:
        outputImage = result.keepsOwnShape() ? fittedInOwnShape(result.decodedPicture(), target_)
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
    const int side = target_.requested();
    if (!target_.isCache() && side != outputImage.width()) {
        outputImage =
            outputImage.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    placeholder_ = true;
}

void myFileThumbnail::dbDeal() {
    if (recorder_ == nullptr) {
        return;
    }
    QString picture;
    const PictureSave saved = recorder_->save(outputImage, picture);
    if (saved == PictureSave::NotWritten) {
        writeLog(kInfoLabel + QStringLiteral("image cannot save---") +
                 logLocation(QStringLiteral("myFileThumbnail::dbDeal"), 1032) + picture);
    }
}

void myFileThumbnail::dbDealError() {
    if (recorder_ != nullptr) {
        recorder_->recordError();
    }
}
