#include "com_ptr.h"
#include "entry_points.h"
#include "module_ref_count.h"
#include "provider_clsid.h"

#include <algorithm>

#include <gtest/gtest.h>

TEST(ComServer, ObjectsHoldTheModuleAndAnswerOnlyForTheirOwnInterfaces) {
    const CLSID& clsid = CLSID_RecipeThumbnailProvider;
    // Callers release whatever a refused request leaves behind: it must be null.
    void* refused[] = {&refused, &refused, &refused, &refused};
    EXPECT_EQ(DllGetClassObject(IID_IUnknown, IID_IClassFactory, &refused[0]),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(DllGetClassObject(clsid, IID_IThumbnailProvider, &refused[1]), E_NOINTERFACE);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(clsid, IID_IClassFactory,
                                reinterpret_cast<void**>(factory.ReleaseAndGetAddressOf())),
              S_OK);
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IThumbnailProvider, &refused[2]),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ((std::pair{factory->LockServer(TRUE), moduleRefCount.load()}), std::pair(S_OK, 2));
    EXPECT_EQ((std::pair{factory->LockServer(FALSE), moduleRefCount.load()}), std::pair(S_OK, 1));

    ComPtr<IThumbnailProvider> provider;
    ComPtr<IInitializeWithFile> initializer;
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IThumbnailProvider,
                                      reinterpret_cast<void**>(provider.ReleaseAndGetAddressOf())),
              S_OK);
    ASSERT_EQ(
        provider->QueryInterface(IID_IInitializeWithFile,
                                 reinterpret_cast<void**>(initializer.ReleaseAndGetAddressOf())),
        S_OK);
    ASSERT_EQ(initializer->QueryInterface(
                  IID_IUnknown, reinterpret_cast<void**>(unknown.ReleaseAndGetAddressOf())),
              S_OK);
    // IUnknown is the first interface; the second is another part of one object, counted once.
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(provider.Get()));
    EXPECT_NE(static_cast<void*>(initializer.Get()), static_cast<void*>(provider.Get()));
    EXPECT_EQ((std::pair{provider->AddRef(), initializer->Release()}),
              (std::pair<ULONG, ULONG>(4, 3)));
    EXPECT_EQ(initializer->Initialize(nullptr, STGM_READ), E_INVALIDARG);
    EXPECT_EQ(provider->QueryInterface(IID_IClassFactory, &refused[3]), E_NOINTERFACE);
    EXPECT_EQ(std::count(std::begin(refused), std::end(refused), nullptr), 4);
    factory.Reset();
    unknown.Reset();
    initializer.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE); // the provider alone holds the module
    provider.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}
