#include "com_api.h"
#include "files.h"
#include "platform_services.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <gtest/gtest.h>

QStringList qtMessages;

// Keys and values as the shell registration makes, finds and deletes them are its own test's,
// failures too, and reading escaped text back is the contract table's; here the file and
// handles. A writer stopped while it holds the file's lock (a host suspended in a debugger, or
// by the OOM killer's freezer): readers never wait for it, and other writers give up after a
// bound, answer with an error and say so, instead of waiting for ever.
TEST(Registry, TheFileIsRegeditTextAndAStoppedLockHolderBlocksNoReader) {
    const QString file = testDataHome() + "/HKEY_CLASSES_ROOT.reg";
    qputenv("VOXALIS_REGISTRY", QFile::encodeName(file));
    const wchar_t text[] = L"say \"hi\" C:\\x";
    const auto* data = reinterpret_cast<const BYTE*>(text);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"Alpha\\Beta", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, L"Name", 0, REG_SZ, data, sizeof(text)), ERROR_SUCCESS);
    EXPECT_EQ(readFile(file),
              "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\Alpha]\n\n"
              "[HKEY_CLASSES_ROOT\\Alpha\\Beta]\n\"Name\"=\"say \\\"hi\\\" C:\\\\x\"\n\n");
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
    DWORD bytes = 0;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Alpha\\Beta", 0, KEY_READ, &reader),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(reader, L"Name", nullptr, nullptr, nullptr, &bytes), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, L"Name", 0, REG_SZ, data, sizeof(text)), LSTATUS(ERROR_TIMEOUT));
    qInstallMessageHandler(nullptr);
    ASSERT_EQ(qtMessages.size(), 1);
    EXPECT_TRUE(qtMessages[0].startsWith("registry: gave up writing " + file));
    // A holder that is gone leaves a lock file that the next writer takes over.
    kill(holder, SIGKILL);
    waitpid(holder, &status, 0);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"Alpha"), ERROR_SUCCESS);
    RegCloseKey(reader);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

// Straight alpha, the provider's, is checked pixel by pixel where the provider hands it out.
TEST(Bitmaps, TopDownPremultipliedOnRequestAndOnlyLiveHandles) {
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(255, 0, 0, 128));
    image.setPixel(0, 1, qRgba(0, 0, 255, 255));
    const HBITMAP bitmap = qt_imageToWinHBITMAP(image, 1);
    DIBSECTION section{};
    ASSERT_EQ(GetObject(bitmap, sizeof(section), &section), int(sizeof(section)));
    EXPECT_EQ(section.dsBmih.biHeight, 2); // as Windows reports a top-down section too
    EXPECT_EQ(std::memcmp(section.dsBm.bmBits, "\x00\x00\x80\x80", 4), 0); // B G R A
    // The rows in the order asked for; scan lines count from the bottom row.
    const quint32 top = 0x80800000, bottom = 0xFF0000FF;
    const std::tuple<LONG, UINT, UINT, int, quint32, quint32> copies[] = {
        {2, 0, 9, 2, bottom, top}, {-2, 1, 1, 1, top, 0}, {-3, 0, 2, 0, 0, 0}};
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

// A library's handle and file are the job's test, which looks for Qt's plug-ins beside Qt Core
// by them; here that the file is no link, and names and addresses that are no module.
TEST(ModuleServices, HandlesNameTheLibrarysOwnFileAndNothingElse) {
    char path[4096] = {};
    const HMODULE qtCore = GetModuleHandleW(L"libQt5Core.so.5");
    ASSERT_GT(GetModuleFileNameA(qtCore, path, sizeof(path)), 0u);
    EXPECT_EQ(QFileInfo(path).canonicalFilePath(), path) << "the library's file, not a link";
    EXPECT_EQ(GetModuleHandleW(L"no-such-module.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    const auto inside = reinterpret_cast<HMODULE>(reinterpret_cast<char*>(qtCore) + 16);
    EXPECT_EQ(GetModuleFileNameA(inside, path, sizeof(path)), 0u);
}

// The pictures of a folder that processes share; its lock is the contract table's.
TEST(PictureFolder, OnlyPicturesCount) {
    const QString at = testDataHome() + "/sources/";
    // Files and links to files, as QDir(at).entryList(QDir::Files) has them; the lock file
    // that stays for the next holder is hidden.
    writeSource("a.png", "");
    unlockFile(lockFileExclusively(QFile::encodeName(at + ".lock"), 0));
    QDir().mkdir(at + "bucket");
    QFile::link(at + "a.png", at + "link-to-file.png");
    QFile::link(at + "bucket", at + "link-to-folder");
    EXPECT_EQ(countFolderFiles(QFile::encodeName(at)), 2);
    EXPECT_EQ(countFolderFiles(QFile::encodeName(at + "missing")), 0);
}
