#include "entry_points.h"
#include "file_formats.h"
#include "files.h"
#include "module_handle.h"
#include "registration.h"
#include "registry_names.h"

#include <QFile>

#include <gtest/gtest.h>

const QString kClsid = "{6F1E3C2A-7B54-4D8E-9A21-3C5B8E0D4F17}";
const QString kClass = "CLSID\\" + kClsid;
const QString kServer = kClass + "\\InprocServer32";
const QString kHandler = "\\shellex\\{e357fccd-a995-4576-b01f-234630154e96}";

// A value as text (REG_SZ; empty when there is none) or as "dword:N".
static QString value(const QString& path, const wchar_t* name = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.toStdWString().c_str(), 0, KEY_READ, &key) != 0) {
        return "<no key>";
    }
    wchar_t data[512] = {};
    DWORD bytes = sizeof(data), type = REG_NONE;
    RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    RegCloseKey(key);
    return type == REG_DWORD ? "dword:" + QString::number(DWORD(data[0]))
                             : QString::fromWCharArray(data);
}

TEST(Registration, EachStepOnItsOwnAndUnregisteringRemovesOnlyTheHandlerKeys) {
    moduleHandle = GetModuleHandleW(nullptr);
    // On a registry each: the key that fails, the answer, and how often the shell is told. A
    // failed extension is skipped, and only the last one decides.
    const int served = static_cast<int>(fileFormats().size());
    const std::tuple<QString, quint32, int> cases[] = {
        {kClass, 0x80070005u, 0},
        {kServer, 0x80070005u, 0},
        {".lqx" + kHandler, S_OK, served - 1},
        {QString(".") + fileFormats().back().suffix + kHandler, 0x80070005u, served - 1},
        {QString(), S_OK, served},
    };
    int told = 0, registry = 0;
    for (const auto& [failing, result, newlyTold] : cases) {
        SCOPED_TRACE(qPrintable(failing));
        qputenv("VOXALIS_REGISTRY", (testDataHome() + "/" + QString::number(++registry)).toUtf8());
        qputenv("VOXALIS_REGISTRY_FAIL_KEY", failing.toUtf8());
        EXPECT_EQ(static_cast<quint32>(DllRegisterServer()), result);
        EXPECT_EQ(recordedShellNotifications(SHCNE_ASSOCCHANGED), told += newlyTold);
    }
    EXPECT_EQ(value(kClass), "CppShellExtThumbnailHandler.RecipeThumbnailProvider Class");
    EXPECT_EQ(value(kClass, L"DisableProcessIsolation"), "dword:1");
    EXPECT_EQ(value(kServer), QFile::symLinkTarget("/proc/self/exe"));
    EXPECT_EQ(value(kServer, L"ThreadingModel"), "Apartment");
    // Every served suffix, as the format table lists them.
    for (const FileFormat& format : fileFormats()) {
        EXPECT_EQ(value(QString(".") + format.suffix + kHandler), kClsid);
    }
    EXPECT_EQ(DllUnregisterServer(), S_OK); // telling nobody
    for (const FileFormat& format : fileFormats()) {
        const QString extension = QString(".") + format.suffix;
        EXPECT_EQ(std::pair(value(extension + kHandler), value(extension + "\\shellex")),
                  std::pair(QString("<no key>"), QString()));
    }
    EXPECT_EQ(recordedShellNotifications(SHCNE_ASSOCCHANGED), told);
    // Without the class key, unregistering fails before it reaches the extension keys.
    EXPECT_EQ(registerExtension(L"stl", CLSID_RecipeThumbnailProvider), S_OK);
    EXPECT_EQ(static_cast<quint32>(DllUnregisterServer()), 0x80070002u);
    EXPECT_EQ(value(".stl" + kHandler), kClsid);

    // A handler key is 48 characters longer than its extension; 259 fit the shell's 260.
    EXPECT_EQ(registerExtension(std::wstring(211, L'x').c_str(), IID_IUnknown), S_OK);
    const std::wstring tooLong(212, L'x');
    EXPECT_EQ(registerExtension(tooLong.c_str(), IID_IUnknown), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(unregisterExtension(tooLong.c_str()), STRSAFE_E_INSUFFICIENT_BUFFER);
}
