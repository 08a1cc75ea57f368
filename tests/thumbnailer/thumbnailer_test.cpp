// The thumbnailer as a file manager runs it: one process per file, judged by its exit code,
// its output file and its stderr.

#include "files.h"
#include "gf_writer.h"
#include "jpeg_writer.h"
#include "mesh_writers.h"
#include "preview_picture.h"
#include "ring_picture.h"
#include "threemf_writer.h"

#include <QDir>
#include <QDirIterator>
#include <QMimeDatabase>
#include <QProcess>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

// The output folder: private, as file managers make it, and /tmp in the sandbox.
static QString out() {
    const QString folder = testDataHome() + "/out";
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

// What a folder holds, hidden files too: caches hide in dot folders.
static QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// A home of the run's own, which a run must leave as it found it: empty.
static QString home() {
    const QString folder = testDataHome() + "/home";
    QDir().mkpath(folder);
    return folder;
}

// The exit code and stderr of a run without a display and with the output folder for /tmp, as
// in the sandbox; `settings` (NAME=VALUE, or -u NAME before them) change that environment and
// `wrapper` runs before the thumbnailer. The data home must stay untouched, the home empty.
static std::pair<int, QByteArray> thumbnailer(const QStringList& arguments,
                                              const QStringList& settings = {},
                                              const QStringList& wrapper = {}) {
    QProcess process;
    process.start("env", QStringList{"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u",
                                     "XDG_RUNTIME_DIR", "-u", "QT_QPA_PLATFORM", "HOME=" + home(),
                                     "XDG_CACHE_HOME=" + home() + "/.cache",
                                     "XDG_DATA_HOME=" + testDataHome() + "/never-made",
                                     "TMPDIR=" + out()} +
                             settings + wrapper + QStringList{VOXALIS_THUMBNAILER} + arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_FALSE(QDir(testDataHome() + "/never-made").exists());
    EXPECT_EQ(entries(home()), QStringList()) << "a cache or a folder was left in the home";
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardError()};
}

TEST(Thumbnailer, WritesTheJobsPictureOrNothingWithOneLineOrExitsWithTwoOnBadUsage) {
    const QString sources = testDataHome() + "/sources/", picture = out() + "/picture.png";
    const QString ring = writeSource("ring.LQX", ringLqx(300)), large = sources + "large.lqx";
    const auto written = [&](const QStringList& arguments) {
        EXPECT_EQ(thumbnailer(arguments + QStringList{picture}), std::make_pair(0, QByteArray()));
        // No temporary or runtime file beside the picture.
        EXPECT_EQ(entries(out()), QStringList{"picture.png"});
        const QImage image(picture);
        QFile::remove(picture);
        return image.convertToFormat(QImage::Format_ARGB32);
    };
    // The job's picture unchanged, from a path or a file URI, at both ends of the sizes and at
    // the default, which is less than the preview's own.
    const std::pair<QStringList, int> previews[] = {
        {{"-s", "4096", ring}, 4096},
        {{"-s", "1", QUrl::fromLocalFile(ring).toString()}, 1},
        {{ring}, 256}};
    for (const auto& [arguments, size] : previews) {
        EXPECT_EQ(written(arguments),
                  previewPicture(ring, size).convertToFormat(QImage::Format_ARGB32))
            << size;
    }

    // Sparse: one byte over the sliced-file limit without writing 500 MiB.
    ASSERT_TRUE(QFile::copy(ring, large) && QFile::resize(large, 524288001));
    ASSERT_EQ(mkfifo(QFile::encodeName(sources + "pipe.lqx"), 0600), 0);
    // The input, the output and the line on stderr, %1 standing for the input, %2 the output.
    const QString notAFile = "%1: information : makePicture : 1 not a regular file %1\n";
    const QString refused[][3] = {
        {sources + "pipe.lqx", picture, notAFile},
        {large, picture,
         "%1: information : myFileThumbnail::loadKvrdlpAndLqx : 41 the file is too large %1\n"},
        {ring, testDataHome() + "/no-such-folder/ring.png",
         "cannot write %2: No such file or directory\n"},
        // A file no local path reaches is one without a thumbnail, not a usage error.
        {"file://elsewhere" + ring, picture, "%1: a file of another host\n"}};
    for (const auto& [input, output, error] : refused) {
        const auto [exitCode, standardError] = thumbnailer({input, output});
        EXPECT_EQ(exitCode, 1);
        EXPECT_EQ(QString(standardError),
                  "voxalis-thumbnailer: " +
                      QString(error).replace("%1", input).replace("%2", output));
        EXPECT_EQ(entries(out()), QStringList()) << "an output or a temporary file was left behind";
    }
    const QStringList usage[] = {{},
                                 {ring},
                                 {ring, ""},
                                 {"-s", "0", ring, picture},
                                 {"-s", "4097", ring, picture},
                                 {"-s", "big", ring, picture},
                                 {"--bogus", ring, picture}};
    for (const QStringList& arguments : usage) {
        EXPECT_EQ(thumbnailer(arguments).first, 2) << qPrintable(arguments.join(' '));
    }
    EXPECT_EQ(thumbnailer({"--help"}).first, 0);
    EXPECT_EQ(thumbnailer({"--version"}).first, 0);
}

// A client such as tumbler makes OUTPUT, keeps it open and reads the picture back through its
// own descriptor; others pass a path where nothing is yet. Neither may lose a file it holds.
TEST(Thumbnailer, WritesOutputInPlaceAndNeverDestroysAFile) {
    const QString ring = writeSource("ring.lqx", ringLqx(300)), picture = out() + "/picture.png";
    const QByteArray expected = readFile(ring);
    const QString sources = testDataHome() + "/sources/";
    ASSERT_EQ(link(QFile::encodeName(ring), QFile::encodeName(sources + "hard.png")), 0);
    ASSERT_EQ(mkfifo(QFile::encodeName(sources + "fifo.png"), 0600), 0);
    // A file size limit fails the write as a full disk does: 64 bytes take the PNG's signature
    // and header, the write stops short and the next fails.
    const QStringList fullDisk{"prlimit", "--fsize=64"};
    const QString input = "it is the input file", special = "not a regular file";
    // OUTPUT, whether the client made it first, the wrapper, the reason; afterwards the input
    // is unchanged and OUTPUT the kind of file it was (the client's picture empty) or missing.
    const std::tuple<QString, bool, QStringList, QString> rows[] = {
        // Found by the file's identity, as a hard link shows: no path comparison catches it.
        {sources + "hard.png", true, {}, input},
        {sources + "fifo.png", true, {}, special},
        {picture, true, fullDisk, "File too large"},
        {picture, false, fullDisk, "File too large"},
    };
    for (const auto& [output, existed, wrapper, reason] : rows) {
        if (output == picture && existed) {
            writeFile(picture, {});
        }
        struct stat before {
        }, after{};
        lstat(QFile::encodeName(output), &before);
        const auto [exitCode, error] = thumbnailer({ring, output}, {}, wrapper);
        EXPECT_EQ(std::make_pair(exitCode, QString(error)),
                  std::make_pair(1, "voxalis-thumbnailer: cannot write " + output + ": " + reason +
                                        "\n"));
        EXPECT_EQ(readFile(ring), expected) << qPrintable(output);
        EXPECT_EQ(lstat(QFile::encodeName(output), &after) == 0, existed) << qPrintable(output);
        EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT) << qPrintable(output);
        EXPECT_TRUE(output != picture || after.st_size == 0);
        QFile::remove(picture);
    }
}

// Whatever the session exports, a mesh gets the same picture, and the run leaves nothing in
// the home, in TMPDIR or beside OUTPUT.
TEST(Thumbnailer, AnySessionEnvironmentGetsTheSameMeshPicture) {
    const QString model = writeSource("ball.obj", objFile(sphere(3.0f, 12, 24, {1, 2, 3})));
    const QString folder = testDataHome() + "/public", picture = folder + "/picture.png";
    const QString temporary = testDataHome() + "/tmp", runtime = testDataHome() + "/runtime";
    // An output folder others may read: no runtime folder can go there, so one of TMPDIR's
    // serves and goes again.
    ASSERT_TRUE(QDir().mkpath(folder) && QDir().mkpath(temporary) && QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Runtime folders that Qt refuses, and would replace by one of its own in TMPDIR: one that
    // others may read, and one of another owner (root can make that).
    const QString open = testDataHome() + "/open-runtime", foreign = testDataHome() + "/foreign";
    ASSERT_TRUE(QDir().mkpath(open) && QDir().mkpath(foreign));
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    }
    const QStringList plain{"TMPDIR=" + temporary};
    ASSERT_EQ(thumbnailer({"-s", "96", model, picture}, plain), std::make_pair(0, QByteArray()));
    const QImage expected = QImage(picture).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(expected.size(), QSize(96, 96));
    EXPECT_NE(expected.pixel(48, 48), expected.pixel(0, 0));
    // Which platform a session's displays and choices lead to is the display choice's own test;
    // here the sandbox's folders.
    const QStringList sessions[] = {
        {"QT_PLUGIN_PATH=" + testDataHome() + "/no-plugins"},
        {"XDG_RUNTIME_DIR=" + runtime},
        // A desktop session's runtime folder, which the sandbox does not show.
        {"XDG_RUNTIME_DIR=" + testDataHome() + "/run/user/1000"},
        {"XDG_RUNTIME_DIR=" + open},
        {"XDG_RUNTIME_DIR=" + (root ? foreign : open)},
    };
    for (const QStringList& session : sessions) {
        QFile::remove(picture);
        EXPECT_EQ(thumbnailer({"-s", "96", model, picture}, plain + session),
                  std::make_pair(0, QByteArray()))
            << qPrintable(session.join(' '));
        EXPECT_EQ(QImage(picture).convertToFormat(QImage::Format_ARGB32), expected)
            << qPrintable(session.join(' '));
        EXPECT_EQ(entries(folder), QStringList{"picture.png"});
        EXPECT_EQ(entries(temporary), QStringList()) << qPrintable(session.join(' '));
        EXPECT_FALSE(QFileInfo::exists(testDataHome() + "/run"));
    }
}

// The files under `folder` and their bytes in all.
static std::pair<QStringList, qint64> filesUnder(const QString& folder) {
    QStringList names;
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        names.append(QDir(folder).relativeFilePath(it.next()));
        bytes += it.fileInfo().size();
    }
    names.sort();
    return {names, bytes};
}

// Compiled shaders are kept only in the folder of the client's thumbnails, and only where that
// folder is its user's alone; a cache that is damaged, cut or grown past its bound gives the
// same picture and is rebuilt within the bound.
TEST(Thumbnailer, KeepsShadersOnlyInThePrivateThumbnailFolderAndSurvivesADamagedCache) {
    const QString model = writeSource("cached.stl", binaryStl(torus(30, 10, 48, 24)));
    const QString picture = out() + "/cached.png";
    const auto drawn = [&](const QString& home) {
        const QStringList session{"HOME=" + home, "XDG_CACHE_HOME=" + home + "/.cache"};
        EXPECT_EQ(thumbnailer({"-s", "64", model, picture}, session),
                  std::make_pair(0, QByteArray()));
        const QByteArray bytes = readFile(picture);
        QFile::remove(picture);
        return bytes;
    };
    const QByteArray expected = drawn(home());
    ASSERT_FALSE(expected.isEmpty());
    const QString home = testDataHome() + "/client-home", thumbnails = home + "/.cache/thumbnails";
    ASSERT_TRUE(QDir().mkpath(thumbnails));
    // A folder others may read is none the client keeps for itself.
    ASSERT_TRUE(QFile::setPermissions(thumbnails, QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadOther |
                                                      QFile::ExeOther));
    EXPECT_EQ(drawn(home), expected);
    EXPECT_EQ(entries(thumbnails), QStringList());
    ASSERT_TRUE(
        QFile::setPermissions(thumbnails, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_EQ(drawn(home), expected);
    EXPECT_EQ(drawn(home), expected);
    EXPECT_EQ(entries(thumbnails), QStringList{"voxalis-thumbnailer"});
    EXPECT_EQ(entries(home), QStringList{".cache"});
    EXPECT_EQ(entries(home + "/.cache"), QStringList{"thumbnails"});
    const QString cache = thumbnails + "/voxalis-thumbnailer";
    const QStringList written = filesUnder(cache).first;
    ASSERT_FALSE(written.isEmpty());
    // Mesa's index of 1.3 MB, at most 1 MiB of shaders and the database's own index.
    constexpr qint64 kBound = qint64{3} << 20;
    QByteArray noise(3 << 20, '\0');
    for (int i = 0; i < noise.size(); ++i) {
        noise[i] = char((i * 2654435761u) >> 13);
    }
    // Each file of the cache in turn: noise of its own size, cut to half, emptied, grown.
    for (const QString& name : written) {
        const QString path = cache + "/" + name;
        const QByteArray original = readFile(path);
        const QByteArray damaged[] = {noise.left(original.size()),
                                      original.left(original.size() / 2), QByteArray(),
                                      original + noise};
        for (const QByteArray& bytes : damaged) {
            writeFile(path, bytes);
            EXPECT_EQ(drawn(home), expected) << qPrintable(name) << " " << bytes.size();
            const auto [after, size] = filesUnder(cache);
            EXPECT_EQ(after, written) << qPrintable(name) << " " << bytes.size();
            EXPECT_LE(size, kBound) << qPrintable(name) << " " << bytes.size();
        }
    }
    // Under each name a link to a file elsewhere, which must stay as it is, then a FIFO, which
    // would block a read.
    const QString elsewhere = testDataHome() + "/elsewhere";
    writeFile(elsewhere, "not ours");
    for (const QString& name : written) {
        const QString path = cache + "/" + name;
        for (const bool fifo : {false, true}) {
            QFile::remove(path);
            ASSERT_TRUE(fifo ? mkfifo(QFile::encodeName(path), 0600) == 0
                             : QFile::link(elsewhere, path));
            EXPECT_EQ(drawn(home), expected) << qPrintable(name) << (fifo ? " FIFO" : " link");
            EXPECT_EQ(filesUnder(cache).first, written) << qPrintable(name);
        }
    }
    EXPECT_EQ(readFile(elsewhere), "not ours");
}

// A package whose own picture cannot be used (hostile, cut, or no picture at all) shows its
// model, exactly as a package without one does.
TEST(Thumbnailer, APackageWhosePictureCannotBeUsedShowsItsModel) {
    ThreeMfPackage plain;
    plain.model = threeMfModel({{1, torus(10, 3, 24, 12), {}, {}}}, {{1, {}, {}}});
    const QString drawn = out() + "/drawn.png", shown = out() + "/shown.png";
    ASSERT_EQ(thumbnailer({"-s", "64", writeSource("plain.3mf", plain.bytes()), drawn}).first, 0);
    const QImage model(drawn);
    ASSERT_FALSE(model.isNull());
    for (const QByteArray& thumbnail :
         {pngDeclaring(50000, 50000), QByteArray("not a picture"), progressiveJpeg(32, 32, 200)}) {
        ThreeMfPackage hostile = plain;
        hostile.thumbnail = thumbnail;
        const QString path = writeSource("hostile.3mf", hostile.bytes());
        ASSERT_EQ(thumbnailer({"-s", "64", path, shown}).first, 0)
            << thumbnail.left(8).toHex().toStdString();
        EXPECT_EQ(QImage(shown), model) << thumbnail.left(8).toHex().toStdString();
        QFile::remove(shown);
    }
    QFile::remove(drawn);
}

// TeX's fonts claim *.gf too. Both databases a file manager may use, GIO's and Qt's, must name
// our type for our files and TeX's for a font, which opens with its preamble bytes; Qt takes
// the alphabetically first of equally weighted globs, so ours must weigh more.
TEST(Thumbnailer, BothMimeDatabasesTellOurGfFilesFromTeXFonts) {
    // The user's data folder comes first in both databases' search.
    const QString mime = testDataHome() + "/mime";
    ASSERT_TRUE(QDir().mkpath(mime + "/packages"));
    ASSERT_TRUE(QFile::copy(VOXALIS_MIME_PACKAGE, mime + "/packages/voxalis-thumbnail.xml"));
    ASSERT_EQ(QProcess::execute("update-mime-database", {mime}), 0);
    const std::pair<QString, QByteArray> files[] = {
        {"application/x-voxalis-gf", GfFile{}.bytes()},
        {"application/x-tex-gf", QByteArray("\xF7\x83\x5A") + QByteArray(64, '\0')},
    };
    for (const auto& [type, bytes] : files) {
        for (const char* name : {"print.gf", "PRINT.GF"}) {
            const QString path = writeSource(type + "/" + QString(name), bytes);
            EXPECT_EQ(QMimeDatabase().mimeTypeForFile(path).name(), type) << qPrintable(path);
            QProcess gio;
            gio.start("gio", {"info", "-a", "standard::content-type", path});
            ASSERT_TRUE(gio.waitForFinished(30000));
            EXPECT_TRUE(gio.readAllStandardOutput().contains(
                "standard::content-type: " + type.toUtf8() + "\n"))
                << qPrintable(path);
        }
    }
}
