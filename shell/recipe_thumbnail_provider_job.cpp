#include "recipe_thumbnail_provider.h"

#include "current_file_path.h"
#include "db_mutex.h"
#include "log.h"
#include "saved_picture_memo.h"
#include "statements.h"
#include "thumbnail_job.h"
#include "thumbnail_table.h"

#include <QFileInfo>
#include <QImage>
#include <QMutexLocker>

namespace {
// Qt's HBitmapAlpha: a 32-bit DIB section with straight alpha.
constexpr int kStraightAlphaBitmap = 2;

// The shell is told the bitmap is ARGB, so it must be one: Qt makes a 24-bit section of an
// RGB888 picture whatever format it was asked for, and a 32-bit read of that holds alpha 0,
// a transparent thumbnail.
HBITMAP straightAlphaBitmap(const QImage& picture) {
    return qt_imageToWinHBITMAP(picture.convertToFormat(QImage::Format_ARGB32),
                                kStraightAlphaBitmap);
}
} // namespace

HRESULT RecipeThumbnailProvider::Initialize(LPCWSTR pszFilePath, DWORD) {
    if (pszFilePath == nullptr) {
        return E_INVALIDARG;
    }
    // Nothing may unwind into the shell.
    try {
        return runThumbnailJob(pszFilePath);
    } catch (...) {
        currentFilePath.clear();
        return E_UNEXPECTED;
    }
}

HRESULT RecipeThumbnailProvider::GetThumbnail(UINT, HBITMAP* phbmp, WTS_ALPHATYPE* pdwAlpha) {
    if (pdwAlpha != nullptr) {
        *pdwAlpha = WTSAT_ARGB;
    }
    if (phbmp == nullptr) {
        return S_OK;
    }
    *phbmp = nullptr;
    try {
        QImage picture;
        {
            QMutexLocker lock(&dbMutex);
            const Lookup found = lookupThumbnail(currentFilePath, statements::kLookup);
            // Only an absolute path names a picture: the stale marker "1" must never load a
            // file of that name from the host's working folder. A picture that a full disk
            // kept from its bucket has no row, and is shown all the same.
            if (found.status != LookupStatus::Found ||
                !QFileInfo(found.row.thumPath).isAbsolute()) {
                picture = takeUnsavedPicture(currentFilePath);
                lock.unlock();
                if (!picture.isNull()) {
                    *phbmp = straightAlphaBitmap(picture);
                }
                return S_OK;
            }
            // The picture this thread has just made needs no decoding.
            picture = takeSavedPicture(found.row.thumPath);
            if (picture.isNull()) {
                picture = QImage(found.row.thumPath);
            }
        }
        if (!picture.isNull()) {
            *phbmp = straightAlphaBitmap(picture);
        }
    } catch (...) {
        trace(QStringLiteral("GetThumbnail: no bitmap"));
    }
    return S_OK;
}
