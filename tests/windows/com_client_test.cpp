#include "com_api.h"

#include <string>

#include <gtest/gtest.h>

// A client of the registered DLL, as the shell is one: COM finds the module through the keys
// regsvr32 wrote, and unloads it once DllCanUnloadNow allows. The provider's own answers are
// the contract table's.
TEST(ComClient, CreatesTheProviderFromTheRegisteredKeysAndUnloadsTheModule) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromString(L"{6F1E3C2A-7B54-4D8E-9A21-3C5B8E0D4F17}", &clsid), S_OK);
    IThumbnailProvider* provider = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IThumbnailProvider,
                               reinterpret_cast<void**>(&provider)),
              S_OK);
    EXPECT_NE(GetModuleHandleW(L"VOXALIS_Thumbnail.dll"), nullptr);
    provider->Release();
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(GetModuleHandleW(L"VOXALIS_Thumbnail.dll"), nullptr);
    CoUninitialize();
}

// The entry points regsvr32 calls, by their exact answers: regsvr32 only tells a failure, and
// a status that is not S_OK but no failure either passes it.
TEST(ComClient, UnregistersAndRegistersAgainWithSOk) {
    WCHAR self[MAX_PATH] = {};
    std::wstring module(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    module.replace(module.find_last_of(L'\\') + 1, std::wstring::npos, L"VOXALIS_Thumbnail.dll");
    const HMODULE dll = LoadLibraryW(module.c_str());
    ASSERT_NE(dll, nullptr);
    EXPECT_EQ(procAddress<HRESULT (*)()>(dll, "DllUnregisterServer")(), S_OK);
    EXPECT_EQ(procAddress<HRESULT (*)()>(dll, "DllRegisterServer")(), S_OK);
    FreeLibrary(dll);
}
