#include "entry_points.h"
#include "files.h"
#include "module_handle.h"
#include "registration.h"

#include <QFileInfo>

#include <string>

#include <gtest/gtest.h>

namespace {

const wchar_t* const kExtensions[] = {L"stl",    L"slc",     L"kvrdlp", L"lqx",     L"fdg", L"gf",
                                      L"photon", L"photons", L"svgx",   L"voxalis", L"obj"};
const std::wstring kClsid = L"{6F1E3C2A-7B54-4D8E-9A21-3C5B8E0D4F17}";
const std::wstring kHandler = L"\\shellex\\{e357fccd-a995-4576-b01f-234630154e96}";

bool keyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// A value as text (REG_SZ) or as "dword:N".
std::wstring value(const std::wstring& path, const wchar_t* name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return L"<no key>";
    }
    BYTE data[1024] = {};
    DWORD bytes = sizeof(data);
    DWORD type = REG_NONE;
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, data, &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return L"<no value>";
    }
    if (type == REG_DWORD) {
        return L"dword:" + std::to_wstring(*reinterpret_cast<DWORD*>(data));
    }
    return reinterpret_cast<const wchar_t*>(data);
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        moduleHandle = GetModuleHandleW(nullptr);
        qputenv("VOXALIS_REGISTRY", (testDataHome() + "/registry.reg").toLocal8Bit());
        qunsetenv("VOXALIS_REGISTRY_FAIL_KEY");
    }

    static void failKey(const std::wstring& key) {
        qputenv("VOXALIS_REGISTRY_FAIL_KEY", QString::fromStdWString(key).toLocal8Bit());
    }

    static int notifications() { return recordedShellNotifications(SHCNE_ASSOCCHANGED); }
};

TEST_F(Registration, RegistersTheClassAndEveryExtensionAndTellsTheShell) {
    EXPECT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(value(L"CLSID\\" + kClsid),
              L"CppShellExtThumbnailHandler.RecipeThumbnailProvider Class");
    EXPECT_EQ(value(L"CLSID\\" + kClsid, L"DisableProcessIsolation"), L"dword:1");
    const std::wstring server = L"CLSID\\" + kClsid + L"\\InprocServer32";
    EXPECT_EQ(value(server), QFileInfo("/proc/self/exe").symLinkTarget().toStdWString());
    EXPECT_EQ(value(server, L"ThreadingModel"), L"Apartment");
    for (const wchar_t* extension : kExtensions) {
        EXPECT_EQ(value(L"." + std::wstring(extension) + kHandler), kClsid) << extension;
    }
    EXPECT_EQ(notifications(), 11);
}

TEST_F(Registration, OneFailedExtensionIsSkippedAndTheLastOneDecides) {
    failKey(L".lqx" + kHandler);
    EXPECT_EQ(DllRegisterServer(), S_OK);
    EXPECT_FALSE(keyExists(L".lqx" + kHandler));
    EXPECT_EQ(value(L".fdg" + kHandler), kClsid);
    EXPECT_EQ(notifications(), 10);
}

TEST_F(Registration, FailedObjKeyIsTheAnswerThoughTheRestIsRegistered) {
    failKey(L".obj" + kHandler);
    EXPECT_EQ(static_cast<quint32>(DllRegisterServer()), 0x80070005u);
    EXPECT_EQ(value(L".stl" + kHandler), kClsid);
    EXPECT_EQ(value(L"CLSID\\" + kClsid + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(notifications(), 10);
}

TEST_F(Registration, FailedClassKeyStopsBeforeAnyExtension) {
    failKey(L"CLSID\\" + kClsid);
    EXPECT_EQ(static_cast<quint32>(DllRegisterServer()), 0x80070005u);
    EXPECT_FALSE(keyExists(L".stl" + kHandler));
    EXPECT_EQ(notifications(), 0);
    // The server key fails after the class key was written.
    qunsetenv("VOXALIS_REGISTRY_FAIL_KEY");
    failKey(L"CLSID\\" + kClsid + L"\\InprocServer32");
    EXPECT_EQ(static_cast<quint32>(DllRegisterServer()), 0x80070005u);
    EXPECT_TRUE(keyExists(L"CLSID\\" + kClsid));
    EXPECT_FALSE(keyExists(L".stl" + kHandler));
}

TEST_F(Registration, UnregisteringRemovesOnlyTheHandlerKeys) {
    ASSERT_EQ(DllRegisterServer(), S_OK);
    EXPECT_EQ(DllUnregisterServer(), S_OK);
    EXPECT_FALSE(keyExists(L"CLSID\\" + kClsid));
    for (const wchar_t* extension : kExtensions) {
        const std::wstring key = L"." + std::wstring(extension);
        EXPECT_TRUE(keyExists(key + L"\\shellex")) << extension;
        EXPECT_FALSE(keyExists(key + kHandler)) << extension;
    }
    EXPECT_EQ(notifications(), 11); // unregistering notifies nobody
}

TEST_F(Registration, UnregisteringWhatWasNeverRegisteredFailsCleanly) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CLASSES_ROOT, (L".stl" + kHandler).c_str(), 0, nullptr, 0, KEY_WRITE,
                    nullptr, &key, nullptr);
    RegCloseKey(key);
    EXPECT_EQ(static_cast<quint32>(DllUnregisterServer()), 0x80070002u);
    // The extension keys are left in place when the class key is missing.
    EXPECT_TRUE(keyExists(L".stl" + kHandler));
}

TEST_F(Registration, StepsRefuseMissingArguments) {
    EXPECT_EQ(registerClass(nullptr, IID_IUnknown, L"x", L"Apartment"), E_INVALIDARG);
    EXPECT_EQ(registerClass(L"/m.so", IID_IUnknown, L"x", nullptr), E_INVALIDARG);
    EXPECT_EQ(registerExtension(nullptr, IID_IUnknown), E_INVALIDARG);
    EXPECT_EQ(unregisterExtension(nullptr), E_INVALIDARG);
    // A key path beyond the shell's 260 characters is refused before the registry sees it.
    const std::wstring longExtension(300, L'x');
    EXPECT_EQ(registerExtension(longExtension.c_str(), IID_IUnknown),
              STRSAFE_E_INSUFFICIENT_BUFFER);
}

} // namespace
