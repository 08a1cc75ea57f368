#include "platform_services.h"

#include <QDir>

int countFolderFiles(const char* path) {
    return QDir(QString::fromLocal8Bit(path)).entryList(QDir::Files, QDir::Unsorted).size();
}
