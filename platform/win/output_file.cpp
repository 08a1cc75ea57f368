#include "platform_services.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>

bool writeFileInPlace(const QString& path, const QByteArray& bytes, const QString& source,
                      QString& error) {
    const QFileInfo target(path);
    if (target.exists() && target.canonicalFilePath() == QFileInfo(source).canonicalFilePath()) {
        error = QStringLiteral("cannot write %1: it is the input file").arg(path);
        return false;
    }
    const bool existed = target.exists();
    QFile file(path);
    // Opened without truncating, so a refusal above never costs the file its content.
    if (file.open(QIODevice::ReadWrite) && file.resize(0) && file.write(bytes) == bytes.size() &&
        file.flush()) {
        return true;
    }
    error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    if (file.isOpen() && existed) {
        file.resize(0);
    }
    file.close();
    if (!existed) {
        QFile::remove(path);
    }
    return false;
}
