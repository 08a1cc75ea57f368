#include "com_api.h"
#include "files.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

// Keys and values as the shell registration makes, finds and deletes them are its own test's,
// failures too, and reading escaped text back is the contract table's; here what they leave
// out: the file, handles and the text of class ids.
TEST(Registry, ValuesAndClassIdsSurviveInTheirTextForms) {
    qputenv("VOXALIS_REGISTRY", QFile::encodeName(testDataHome() + "/HKEY_CLASSES_ROOT.reg"));
    const wchar_t text[] = L"say \"hi\" C:\\x";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Alpha\\Beta", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExW(key, L"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text)),
        ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(readFile(qEnvironmentVariable("VOXALIS_REGISTRY")),
              "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\Alpha]\n\n"
              "[HKEY_CLASSES_ROOT\\Alpha\\Beta]\n\"Name\"=\"say \\\"hi\\\" C:\\\\x\"\n\n");
    // Class ids as keys name them need 38 characters and the terminator (the text itself is
    // the registration's), and are read in either letter case.
    wchar_t guid[39];
    EXPECT_EQ(StringFromGUID2(IID_IThumbnailProvider, guid, 38), 0);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromString(L"{e357fccd-a995-4576-b01f-234630154e96}", &clsid), S_OK);
    EXPECT_EQ(clsid, IID_IThumbnailProvider);
    // The right length with the wrong closing brace.
    EXPECT_TRUE(FAILED(CLSIDFromString(L"{e357fccd-a995-4576-b01f-234630154e96)", &clsid)));
}

QStringList qtMessages;

// A writer stopped while it holds the registry file's lock (a host suspended in a debugger, or
// by the OOM killer's freezer): readers never wait for it, and other writers give up after a
// bound, answer with an error and say so, instead of waiting for ever.
TEST(Registry, AStoppedLockHolderBlocksNoReaderAndWritersGiveUp) {
    const QString file = testDataHome() + "/HKEY_CLASSES_ROOT.reg";
    qputenv("VOXALIS_REGISTRY", QFile::encodeName(file));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Held", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD number = 7;
    const auto* data = reinterpret_cast<const BYTE*>(&number);
    ASSERT_EQ(RegSetValueExW(key, L"Number", 0, REG_DWORD, data, 4), ERROR_SUCCESS);
    const pid_t holder = fork();
    if (holder == 0) {
        QLockFile lock(file + ".lock");
        if (lock.tryLock(0)) {
            raise(SIGSTOP);
        }
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, WUNTRACED), holder);
    ASSERT_TRUE(WIFSTOPPED(status));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        qtMessages.append(message);
    });

    HKEY reader = nullptr;
    DWORD back = 0, bytes = sizeof(back);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Held", 0, KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(reader, L"Number", nullptr, nullptr, reinterpret_cast<BYTE*>(&back),
                               &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(back, number);
    EXPECT_EQ(RegSetValueExW(key, L"Number", 0, REG_DWORD, data, 4), LSTATUS(ERROR_TIMEOUT));
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Held"), LSTATUS(ERROR_TIMEOUT));
    qInstallMessageHandler(nullptr);
    ASSERT_EQ(qtMessages.size(), 2);
    EXPECT_TRUE(qtMessages[0].startsWith("registry: gave up writing " + file))
        << qPrintable(qtMessages[0]);
    // A holder that is gone leaves a lock file that the next writer takes over.
    kill(holder, SIGKILL);
    waitpid(holder, &status, 0);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Held"), ERROR_SUCCESS);
    RegCloseKey(reader);
    RegCloseKey(key);
}

// Straight alpha, the provider's, is checked pixel by pixel where the provider hands it out.
TEST(Bitmaps, TopDownPremultipliedOnRequestAndOnlyLiveHandles) {
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(255, 0, 0, 128));
    image.setPixel(0, 1, qRgba(0, 0, 255, 255));
    const HBITMAP bitmap = qt_imageToWinHBITMAP(image, 1);
    DIBSECTION section{};
    ASSERT_EQ(GetObject(bitmap, sizeof(section), &section), int(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmBitsPixel, 32);
    EXPECT_EQ(section.dsBmih.biHeight, 2); // as Windows reports a top-down section too
    EXPECT_EQ(std::memcmp(section.dsBm.bmBits, "\x00\x00\x80\x80", 4), 0); // B G R A
    // The rows in the order asked for; scan lines count from the bottom row.
    const quint32 top = 0x80800000, bottom = 0xFF0000FF;
    const std::tuple<LONG, UINT, UINT, int, quint32, quint32> copies[] = {
        {-2, 0, 2, 2, top, bottom}, {2, 0, 2, 2, bottom, top}, {-2, 1, 1, 1, top, 0},
        {2, 0, 9, 2, bottom, top},  {-3, 0, 2, 0, 0, 0},
    };
    const HDC screen = GetDC(nullptr);
    for (const auto& [height, start, lines, copied, first, second] : copies) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 3, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        quint32 rows[6] = {};
        EXPECT_EQ(GetDIBits(screen, bitmap, start, lines, rows, &info, DIB_RGB_COLORS), copied);
        EXPECT_EQ(std::pair(rows[0], rows[3]), std::pair(first, second)) << height << " " << start;
    }
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
    EXPECT_EQ(DeleteObject(bitmap), TRUE);
    EXPECT_EQ(DeleteObject(bitmap), FALSE);
    EXPECT_EQ(GetObject(bitmap, sizeof(section), &section), 0);
    EXPECT_EQ(qt_imageToWinHBITMAP(QImage(), 2), nullptr);
}

// The program's own path is the shell registration's, and one cut short the contract table's;
// here a library, and names and addresses that are no module.
TEST(ModuleServices, HandlesAreModuleBasesAndNameTheirFiles) {
    char path[4096] = {};
    // A library's handle is its base, where a mapped ELF object starts with its magic number.
    const HMODULE qtCore = GetModuleHandleW(L"libQt5Core.so.5");
    ASSERT_NE(qtCore, nullptr);
    EXPECT_EQ(std::memcmp(qtCore, "\177ELF", 4), 0);
    const DWORD length = GetModuleFileNameA(qtCore, path, sizeof(path));
    EXPECT_EQ(length, std::strlen(path));
    EXPECT_EQ(QFileInfo(path).canonicalFilePath(), path) << "the library's file, not a link";
    EXPECT_NE(std::strstr(path, "/libQt5Core.so."), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"no-such-module.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    const auto inside = reinterpret_cast<HMODULE>(reinterpret_cast<char*>(qtCore) + 16);
    EXPECT_EQ(GetModuleFileNameA(inside, path, sizeof(path)), 0u);
    EXPECT_EQ(DisableThreadLibraryCalls(nullptr), FALSE);
    EXPECT_EQ(DisableThreadLibraryCalls(qtCore), TRUE);
}

// The pictures of a folder that processes share; its lock is the contract table's.
TEST(PictureFolder, OnlyPicturesCount) {
    QTemporaryDir folder;
    const QString at = folder.path() + "/";
    unlockFile(lockFileExclusively(QFile::encodeName(at + ".lock"), 0));

    // Files and links to files, as QDir(at).entryList(QDir::Files) has them; the lock file
    // that stays for the next holder is hidden.
    QFile(at + "a.png").open(QIODevice::WriteOnly);
    QFile(at + "b.png").open(QIODevice::WriteOnly);
    QDir().mkdir(at + "bucket");
    QFile::link(at + "a.png", at + "link-to-file.png");
    QFile::link(at + "bucket", at + "link-to-folder");
    ASSERT_EQ(mkfifo(QFile::encodeName(at + "pipe"), 0600), 0);
    EXPECT_TRUE(QFile::exists(at + ".lock"));
    EXPECT_EQ(countFolderFiles(QFile::encodeName(at)), 3);
    EXPECT_EQ(countFolderFiles(QFile::encodeName(at + "missing")), 0);
}
