#include "my_file_thumbnail.h"

#include "log.h"
#include "picture_store.h"
#include "placeholder_images.h"
#include "preview_constants.h"
#include "saved_picture_memo.h"
#include "thumbnail_table.h"

#include <QFileInfo>

namespace {

QString imageDirOf(const QString& dataRoot) {
    return dataRoot + QStringLiteral("/db/thumbnailImage");
}

} // namespace

myFileThumbnail::myFileThumbnail(const QString& sourcePath_, QString dataRoot_)
    : sourcePath(sourcePath_), dataRoot(std::move(dataRoot_)) {
    dispatch();
}

myFileThumbnail::myFileThumbnail(const QString& sourcePath_, int side)
    : sourcePath(sourcePath_), recording_(false), requestedSide_(side) {
    dispatch();
}

void myFileThumbnail::dispatch() {
    if (recording_) {
        forgetSavedPicture();
    }
    const QString suffix = QFileInfo(sourcePath).suffix();
    const auto is = [&suffix](const char* name) {
        return suffix.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
    };
    if (is("kvrdlp") || is("lqx") || is("photon")) {
        headerKind = 0;
        loadKvrdlpAndLqx();
    } else if (is("fdg")) {
        headerKind = 1;
        loadKvrdlpAndLqx();
    } else if (is("gf")) {
        loadGF();
    } else if (is("photons")) {
        loadPhotons();
    } else if (is("svgx")) {
        loadSvgx();
    } else if (is("voxalis")) {
        loadVoxalis();
    } else if (is("3mf")) {
        loadThreeMf();
    }
}

int myFileThumbnail::shownSide(int own) const {
    if (recording_) {
        return kThumbnailSide;
    }
    return own > 0 ? qMin(requestedSide_, own) : requestedSide_;
}

void myFileThumbnail::usePlaceholder(void (*makePlaceholder)(QImage&)) {
    makePlaceholder(outputImage);
    if (!recording_ && requestedSide_ != outputImage.width()) {
        outputImage = outputImage.scaled(requestedSide_, requestedSide_, Qt::IgnoreAspectRatio,
                                         Qt::SmoothTransformation);
    }
    placeholder_ = true;
}

void myFileThumbnail::dbDeal() {
    if (!recording_) {
        delivered_ = true;
        return;
    }
    QString picture;
    const PictureSave saved = savePictureFor(outputImage, imageDirOf(dataRoot), sourcePath,
                                             OnLookupFailure::Insert, picture);
    if (saved == PictureSave::NotWritten) {
        writeLog(kInfoLabel + QStringLiteral("image cannot save---") +
                 logLocation(QStringLiteral("myFileThumbnail::dbDeal"), 1032) + picture);
    }
}

void myFileThumbnail::dbDealError() {
    if (recording_) {
        recordErrorFor(imageDirOf(dataRoot), sourcePath);
    }
}

bool myFileThumbnail::openSource(QFile& file, const char* operation, int tooLargeNumber,
                                 bool recordTooLarge) {
    const QFileInfo source(sourcePath);
    if (source.size() > kFileSizeLimit) {
        if (recordTooLarge) {
            dbDealError();
        }
        logReport(operation, tooLargeNumber, onFile(QStringLiteral("the file is too large")));
        return false;
    }
    if (!source.isFile()) {
        return false;
    }
    file.setFileName(sourcePath);
    return file.open(QIODevice::ReadOnly);
}

void myFileThumbnail::abandon(QFile& file, const char* operation, int number, const char* message) {
    file.close();
    logReport(operation, number, onFile(QLatin1String(message)));
}

void myFileThumbnail::logReport(const char* operation, int number, const QString& body) {
    writeLog(kInfoLabel + logLocation(QLatin1String(operation), number) + body);
}

QString myFileThumbnail::onFile(const QString& message) const {
    return QStringLiteral("%1\n%2").arg(message, sourcePath);
}

void myFileThumbnail::recordPlaceholder(const QString& logLine, void (*makePlaceholder)(QImage&)) {
    dbDealError();
    writeLog(logLine);
    usePlaceholder(makePlaceholder);
    dbDeal();
}

void myFileThumbnail::recordDamaged(const char* operation, int number, const QString& body) {
    recordPlaceholder(kInfoLabel + logLocation(QLatin1String(operation), number) + body,
                      &makeDamagedFileImage);
}

void myFileThumbnail::recordOldVersion(const char* operation, int number, const QString& body) {
    recordPlaceholder(kInfoLabel + logLocation(QLatin1String(operation), number) + body,
                      &makeOldVersionImage);
}

QString myFileThumbnail::sizeAndOffset(const char* text, qint64 fileSize, qint64 offset) const {
    return QString::fromLatin1(text).arg(kDocumentIsWrong, sourcePath, QString::number(fileSize),
                                         QString::number(offset));
}
