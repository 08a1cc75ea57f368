#pragma once

#include <QImage>
#include <QString>

// Produces the cached thumbnail of one sliced printer file. The constructor does the whole
// job: it picks the reader by suffix, which decodes the embedded preview (or picks a
// placeholder) into outputImage and saves and records it through dbDeal.
class myFileThumbnail {
public:
    myFileThumbnail(const QString& sourcePath, QString dataRoot);

    // Saves outputImage into the current bucket and records it for sourcePath.
    void dbDeal();
    // Records sourcePath as a file that gets no thumbnail.
    void dbDealError();

    void loadKvrdlpAndLqx();

    QString sourcePath;
    QString dataRoot;
    QImage previewImage;
    // Which header the DLP family reader reads: 0 DlpHead_t, 1 FdgHead_t.
    quint32 headerKind = 0;
    QImage outputImage{400, 400, QImage::Format_ARGB32};
    QImage scaledImage;

private:
    // "information    :    " + "operation : number " + body.
    static void logReport(const char* operation, int number, const QString& body);
    // "%1\n%2": a message and the file's path on the next line.
    QString onFile(const QString& message) const;
    // The inconsistency exit: error row, log line, damaged-file placeholder, recorded.
    void recordDamaged(const char* operation, int number, const QString& body);
};
