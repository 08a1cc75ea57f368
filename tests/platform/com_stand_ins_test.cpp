#include "com_api.h"
#include "files.h"

#include <QFile>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

std::wstring readString(const wchar_t* keyPath, const wchar_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return L"<no key>";
    }
    wchar_t text[64] = {};
    DWORD bytes = sizeof(text);
    DWORD type = REG_NONE;
    const LSTATUS status =
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? std::wstring(text) : L"<no value>";
}

LSTATUS setString(const wchar_t* keyPath, const wchar_t* name, const std::wstring& text) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath, 0, nullptr,
                                     REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                DWORD((text.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    return status;
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        path = testDataHome() + "/registry/HKEY_CLASSES_ROOT.reg";
        qputenv("VOXALIS_REGISTRY", path.toLocal8Bit());
        qunsetenv("VOXALIS_REGISTRY_FAIL_KEY");
    }
    QString path;
};

TEST_F(Registry, KeysAndValuesSurviveInAReadableFileWhateverTheirCase) {
    ASSERT_EQ(setString(L"Alpha\\Beta\\Gamma", nullptr, L"say \"hi\" C:\\x"), ERROR_SUCCESS);
    ASSERT_EQ(setString(L"ALPHA\\beta", L"Name", L"two"), ERROR_SUCCESS);
    EXPECT_EQ(readString(L"alpha\\BETA\\gamma", nullptr), L"say \"hi\" C:\\x");
    EXPECT_EQ(readString(L"Alpha\\Beta", L"NAME"), L"two");
    // Intermediate keys exist; missing ones do not.
    EXPECT_EQ(readString(L"Alpha", nullptr), L"<no value>");
    EXPECT_EQ(readString(L"Alpha\\Delta", nullptr), L"<no key>");
    const QByteArray text = readFile(path);
    EXPECT_TRUE(text.startsWith("Windows Registry Editor Version 5.00\n")) << text.constData();
    EXPECT_TRUE(
        text.contains("[HKEY_CLASSES_ROOT\\Alpha\\Beta\\Gamma]\n@=\"say \\\"hi\\\" C:\\\\x\"\n"))
        << text.constData();
}

TEST_F(Registry, DeletingATreeTakesTheKeyAndEverythingBelowOnly) {
    setString(L"Top\\Middle\\Leaf", nullptr, L"leaf");
    setString(L"Top\\Middle2", nullptr, L"sibling");
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Top\\Middle"), ERROR_SUCCESS);
    EXPECT_EQ(readString(L"Top\\Middle\\Leaf", nullptr), L"<no key>");
    EXPECT_EQ(readString(L"Top\\Middle", nullptr), L"<no key>");
    EXPECT_EQ(readString(L"Top\\Middle2", nullptr), L"sibling");
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Top\\Middle"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ReadsTellTheSizeAndRefuseSmallBuffers) {
    setString(L"Sized", nullptr, L"12345");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Sized", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD bytes = 0;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, 6 * sizeof(wchar_t));
    wchar_t small[3];
    bytes = sizeof(small);
    EXPECT_EQ(
        RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(small), &bytes),
        ERROR_MORE_DATA);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, ChosenKeyFailsToBeCreated) {
    qputenv("VOXALIS_REGISTRY_FAIL_KEY", ".lqx\\shellex");
    EXPECT_EQ(setString(L".LQX\\shellex", nullptr, L"x"), LSTATUS(ERROR_ACCESS_DENIED));
    EXPECT_EQ(setString(L".stl\\shellex", nullptr, L"x"), ERROR_SUCCESS);
    EXPECT_EQ(readString(L".lqx\\shellex", nullptr), L"<no key>");
}

TEST(Guids, TextRoundTripsInTheRegistryForm) {
    const GUID guid = {
        0xe357fccd, 0xa995, 0x4576, {0xb0, 0x1f, 0x23, 0x46, 0x30, 0x15, 0x4e, 0x96}};
    wchar_t text[39];
    EXPECT_EQ(StringFromGUID2(guid, text, 39), 39);
    EXPECT_EQ(std::wstring(text), L"{E357FCCD-A995-4576-B01F-234630154E96}");
    EXPECT_EQ(guid, IID_IThumbnailProvider);
    EXPECT_EQ(StringFromGUID2(guid, text, 38), 0);
    CLSID back{};
    ASSERT_EQ(CLSIDFromString(L"{e357fccd-a995-4576-b01f-234630154e96}", &back), S_OK);
    EXPECT_EQ(back, guid);
    EXPECT_TRUE(FAILED(CLSIDFromString(L"{e357fccd-a995-4576-b01f-234630154e9}", &back)));
    EXPECT_TRUE(FAILED(CLSIDFromString(L"e357fccd-a995-4576-b01f-234630154e96", &back)));
}

TEST(Bitmaps, StraightAlphaKeepsTheColourOfTranslucentPixels) {
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(255, 0, 0, 128));
    image.setPixel(0, 1, qRgba(0, 0, 255, 255));
    HBITMAP bitmap = qt_imageToWinHBITMAP(image, 2);
    ASSERT_NE(bitmap, nullptr);
    DIBSECTION section{};
    ASSERT_EQ(GetObject(bitmap, sizeof(section), &section), int(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmWidth, 3);
    EXPECT_EQ(section.dsBm.bmHeight, 2);
    EXPECT_EQ(section.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(section.dsBmih.biHeight, -2); // top-down
    const auto* bits = static_cast<const BYTE*>(section.dsBm.bmBits);
    EXPECT_EQ(std::memcmp(bits, "\x00\x00\xff\x80", 4), 0); // B G R A, not premultiplied
    EXPECT_EQ(std::memcmp(bits + section.dsBm.bmWidthBytes, "\xff\x00\x00\xff", 4), 0);
    HBITMAP premultiplied = qt_imageToWinHBITMAP(image, 1);
    GetObject(premultiplied, sizeof(section), &section);
    EXPECT_EQ(static_cast<const BYTE*>(section.dsBm.bmBits)[2], 0x80);
    EXPECT_EQ(DeleteObject(premultiplied), TRUE);
    EXPECT_EQ(DeleteObject(bitmap), TRUE);
    EXPECT_EQ(DeleteObject(bitmap), FALSE);
    EXPECT_EQ(GetObject(bitmap, sizeof(section), &section), 0);
    EXPECT_EQ(qt_imageToWinHBITMAP(QImage(), 2), nullptr);
}

} // namespace
