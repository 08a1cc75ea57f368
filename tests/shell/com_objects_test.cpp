#include "com_ptr.h"
#include "entry_points.h"
#include "module_ref_count.h"
#include "provider_clsid.h"

#include <gtest/gtest.h>

namespace {

const CLSID kOtherClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(ComServer, UnknownClassCreatesNothing) {
    const LONG before = moduleRefCount;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject(kOtherClass, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(moduleRefCount, before);
}

TEST(ComServer, FactoryRefusedAnInterfaceIsDestroyedAgain) {
    const LONG before = moduleRefCount;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(DllGetClassObject(CLSID_RecipeThumbnailProvider, IID_IThumbnailProvider, &object),
              E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(moduleRefCount, before);
}

TEST(ComServer, ReferencesKeepTheModuleLoadedUntilTheLastRelease) {
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(CLSID_RecipeThumbnailProvider, IID_IClassFactory,
                                factory.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(moduleRefCount, 1);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->AddRef(), 2u);
    EXPECT_EQ(factory->Release(), 1u);

    ComPtr<IUnknown> unknown;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, unknown.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(factory.Get()));
    unknown.Reset();

    ComPtr<IThumbnailProvider> provider;
    ASSERT_EQ(
        factory->CreateInstance(nullptr, IID_IThumbnailProvider, provider.ReleaseAndGetAddressOf()),
        S_OK);
    EXPECT_EQ(moduleRefCount, 2);
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    provider.Reset();
    EXPECT_EQ(moduleRefCount, 0);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ComServer, LockServerHoldsTheModuleUntilUnlocked) {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(CLSID_RecipeThumbnailProvider, IID_IClassFactory,
                                factory.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    ComPtr<IClassFactory> again;
    DllGetClassObject(CLSID_RecipeThumbnailProvider, IID_IClassFactory,
                      again.ReleaseAndGetAddressOf());
    EXPECT_EQ(again->LockServer(FALSE), S_OK);
    again.Reset();
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(ComServer, AggregationIsRefused) {
    ComPtr<IClassFactory> factory;
    DllGetClassObject(CLSID_RecipeThumbnailProvider, IID_IClassFactory,
                      factory.ReleaseAndGetAddressOf());
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IThumbnailProvider, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(moduleRefCount, 1);
}

TEST(ComServer, ProviderAnswersItsTwoInterfacesAndIUnknownWithTheFirst) {
    ComPtr<IClassFactory> factory;
    DllGetClassObject(CLSID_RecipeThumbnailProvider, IID_IClassFactory,
                      factory.ReleaseAndGetAddressOf());
    ComPtr<IInitializeWithFile> initializer;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IInitializeWithFile,
                                      initializer.ReleaseAndGetAddressOf()),
              S_OK);
    ComPtr<IThumbnailProvider> provider;
    ASSERT_EQ(
        initializer->QueryInterface(IID_IThumbnailProvider, provider.ReleaseAndGetAddressOf()),
        S_OK);
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(initializer->QueryInterface(IID_IUnknown, unknown.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown.Get()), static_cast<void*>(provider.Get()));
    EXPECT_NE(static_cast<void*>(provider.Get()), static_cast<void*>(initializer.Get()));
    // One count for the object, whichever part is asked.
    EXPECT_EQ(provider->AddRef(), 4u);
    EXPECT_EQ(initializer->Release(), 3u);
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(provider->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
}

} // namespace
