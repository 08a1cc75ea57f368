#include "recipe_thumbnail_provider.h"

#include "module_ref_count.h"

// The object's COM identity; its work (Initialize and GetThumbnail) is the job's, in
// recipe_thumbnail_provider_job.cpp.

RecipeThumbnailProvider::RecipeThumbnailProvider() {
    ++moduleRefCount;
}

RecipeThumbnailProvider::~RecipeThumbnailProvider() {
    --moduleRefCount;
}

HRESULT RecipeThumbnailProvider::QueryInterface(REFIID riid, void** ppv) {
    static const QITAB table[] = {
        {&IID_IThumbnailProvider, OFFSETOFCLASS(IThumbnailProvider, RecipeThumbnailProvider)},
        {&IID_IInitializeWithFile, OFFSETOFCLASS(IInitializeWithFile, RecipeThumbnailProvider)},
        {nullptr, 0}};
    return QISearch(this, table, riid, ppv);
}

ULONG RecipeThumbnailProvider::AddRef() {
    return ++refCount;
}

ULONG RecipeThumbnailProvider::Release() {
    const ULONG left = --refCount;
    if (left == 0) {
        delete this;
    }
    return left;
}
