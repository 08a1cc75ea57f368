#pragma once

#include <QFile>
#include <QFileInfo>
#include <QString>

// The job record: settles the cache folders and the database connection for one request and
// decides whether the source file needs a new picture. The caller holds dbMutex throughout
// construction. The file part is never opened; the class is a QFile for its meta-object.
class myFile : public QFile {
    Q_OBJECT

public:
    myFile(const QString& filePath, const QString& dataRoot);
    // Leaves the connection open: GetThumbnail and the producers of the job still use it.
    ~myFile() override = default;

    QString filePath;
    QString dataRoot;
    QString dbDir;
    QFileInfo fileInfo;
    QString imageName;
    QString imageDir;
    bool needsThumbnail = false;
    bool dbReady = true;
    // False when the cache can only be read: its pictures are served, no new one is made.
    bool dbWritable = true;

private:
    void createFolders();
    void openCacheDatabase();
    void checkFreshness();
};
