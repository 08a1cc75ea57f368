#include "provider_client.h"

#include "com_ptr.h"
#include "entry_points.h"
#include "registry_names.h"

#include <cstring>

ProviderAnswer askProvider(const QString& path, UINT size, bool initialize) {
    ProviderAnswer answer;
    ComPtr<IClassFactory> factory;
    DllGetClassObject(CLSID_RecipeThumbnailProvider, IID_IClassFactory,
                      reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf()));
    ComPtr<IInitializeWithFile> initializer;
    factory->CreateInstance(nullptr, IID_IInitializeWithFile,
                            reinterpret_cast<void**>(initializer.ReleaseAndGetAddressOf()));
    if (initialize) {
        answer.initialized = initializer->Initialize(path.toStdWString().c_str(), STGM_READ);
    }
    ComPtr<IThumbnailProvider> provider;
    initializer->QueryInterface(IID_IThumbnailProvider,
                                reinterpret_cast<void**>(provider.ReleaseAndGetAddressOf()));
    answer.answered = provider->GetThumbnail(size, &answer.bitmap, &answer.alpha);
    return answer;
}

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
