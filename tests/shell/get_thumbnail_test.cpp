#include "com_ptr.h"
#include "dlp_writer.h"
#include "entry_points.h"
#include "files.h"
#include "gf_writer.h"
#include "module_handle.h"
#include "placeholder_images.h"
#include "provider_clsid.h"
#include "rle16_writer.h"

#include <QFile>

#include <cstring>

#include <gtest/gtest.h>

namespace {

struct Answer {
    HRESULT initialized = E_FAIL;
    HRESULT answered = E_FAIL;
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
};

QImage pixelsOf(HBITMAP bitmap) {
    DIBSECTION section{};
    if (GetObject(bitmap, sizeof(section), &section) != sizeof(section)) {
        return {};
    }
    QImage image(section.dsBm.bmWidth, section.dsBm.bmHeight, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(image.scanLine(y),
                    static_cast<const uchar*>(section.dsBm.bmBits) + y * section.dsBm.bmWidthBytes,
                    4 * static_cast<std::size_t>(image.width()));
    }
    return image;
}

class GetThumbnail : public ::testing::Test {
protected:
    void SetUp() override { moduleHandle = GetModuleHandleW(nullptr); }

    ComPtr<IInitializeWithFile> newProvider() {
        ComPtr<IClassFactory> factory;
        DllGetClassObject(CLSID_RecipeThumbnailProvider, IID_IClassFactory,
                          factory.ReleaseAndGetAddressOf());
        ComPtr<IInitializeWithFile> initializer;
        factory->CreateInstance(nullptr, IID_IInitializeWithFile,
                                initializer.ReleaseAndGetAddressOf());
        return initializer;
    }

    // One provider's life as the shell lives it: Initialize, then GetThumbnail.
    Answer ask(const QString& path, UINT size = 256, bool initialize = true) {
        Answer answer;
        ComPtr<IInitializeWithFile> initializer = newProvider();
        if (initialize) {
            answer.initialized = initializer->Initialize(path.toStdWString().c_str(), STGM_READ);
        }
        ComPtr<IThumbnailProvider> provider;
        initializer->QueryInterface(IID_IThumbnailProvider, provider.ReleaseAndGetAddressOf());
        answer.answered = provider->GetThumbnail(size, &answer.bitmap, &answer.alpha);
        return answer;
    }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = testDataHome() + "/sources/" + name;
        writeFile(path, bytes);
        return path;
    }
};

DlpFile ring() {
    DlpFile file;
    file.width = 4;
    file.height = 4;
    file.picture =
        Rle16Writer().run(0, 5).run(0x8410, 2).run(0, 2).run(0x8410, 2).run(0, 5).bytes();
    return file;
}

TEST_F(GetThumbnail, CachedPictureComesBackAsABitmapWithStraightAlpha) {
    DlpFile damaged = ring();
    damaged.guardOffset = 1 << 20;
    const QString path = write("damaged.lqx", damaged.bytes());
    const Answer answer = ask(path);
    EXPECT_EQ(answer.initialized, S_OK);
    EXPECT_EQ(answer.answered, S_OK);
    EXPECT_EQ(answer.alpha, WTSAT_ARGB);
    ASSERT_NE(answer.bitmap, nullptr);
    QImage placeholder;
    makeDamagedFileImage(placeholder);
    // Alpha 252 on the icon's body, and its colours not darkened by it.
    EXPECT_EQ(pixelsOf(answer.bitmap), placeholder);
    DeleteObject(answer.bitmap);
}

TEST_F(GetThumbnail, SamePictureForAnyRequestedSizeAndWithoutAnotherJob) {
    const QString path = write("ring.lqx", ring().bytes());
    const Answer first = ask(path, 16);
    ASSERT_NE(first.bitmap, nullptr);
    const Answer second = ask(path, 2000);
    ASSERT_NE(second.bitmap, nullptr);
    EXPECT_EQ(pixelsOf(first.bitmap).size(), QSize(400, 400));
    EXPECT_EQ(pixelsOf(first.bitmap), pixelsOf(second.bitmap));
    DeleteObject(first.bitmap);
    DeleteObject(second.bitmap);
}

TEST_F(GetThumbnail, NoPictureIsStillAnAnswer) {
    // An error row (an oversized gf), a picture deleted from the cache, a mesh the renderer
    // could not draw: S_OK, no bitmap, alpha type 2.
    const QString error = write("big.gf", GfFile().bytes());
    QFile(error).resize(524288001);
    const QString deleted = write("deleted.lqx", ring().bytes());
    const QString empty = write("empty.obj", "");

    const Answer errorRow = ask(error);
    const Answer emptyMesh = ask(empty);
    EXPECT_EQ(emptyMesh.initialized, S_FALSE);
    const Answer picture = ask(deleted);
    ASSERT_NE(picture.bitmap, nullptr);
    DeleteObject(picture.bitmap);
    QFile::remove(testDataHome() + "/VOXALIS_Thumbnail/db/thumbnailImage/0/deleted_lqx.png");
    const Answer afterDelete = ask(deleted, 256, false);

    for (const Answer& answer : {errorRow, emptyMesh, afterDelete}) {
        EXPECT_EQ(answer.answered, S_OK);
        EXPECT_EQ(answer.bitmap, nullptr);
        EXPECT_EQ(answer.alpha, WTSAT_ARGB);
    }
}

TEST_F(GetThumbnail, WithoutAnyJobInTheProcessThereIsNothingToShow) {
    const Answer answer = ask(QString(), 96, false);
    EXPECT_EQ(answer.answered, S_OK);
    EXPECT_EQ(answer.bitmap, nullptr);
    EXPECT_EQ(answer.alpha, WTSAT_ARGB);
}

} // namespace
