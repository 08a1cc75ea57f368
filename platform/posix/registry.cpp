#include "com_api.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

// An open key: its full path below HKEY_CLASSES_ROOT and the rights it was opened with.
struct HKEY__ {
    QString path;
    REGSAM access;
};

namespace {

HKEY__ classesRoot{QString(), KEY_READ | KEY_WRITE};

// The access rights that reading and writing a value need.
constexpr REGSAM kQueryValue = 0x0001;
constexpr REGSAM kSetValue = 0x0002;

// How long a writer waits for another writer's lock: a holder keeps it for one small
// read-modify-write, so a longer wait means the holder is stopped or hung.
constexpr int kWriterWaitMilliseconds = 2000;

struct Value {
    QString name; // empty: the default value
    DWORD type = REG_NONE;
    QByteArray data; // as the caller stored it: the registry keeps bytes, whatever the type
};

struct Key {
    QString path;
    std::vector<Value> values;
};

// Keys by their path in lower case: the registry ignores letter case in names.
using Hive = std::map<QString, Key>;

const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");
const QString kRootName = QStringLiteral("HKEY_CLASSES_ROOT");

std::mutex handleMutex;
std::set<HKEY> openHandles;

QString fromWide(LPCWSTR text) {
    return text == nullptr ? QString() : QString::fromWCharArray(text);
}

QString join(const QString& parent, const QString& child) {
    if (child.isEmpty()) {
        return parent;
    }
    return parent.isEmpty() ? child : parent + QLatin1Char('\\') + child;
}

QString quoted(const QString& text) {
    QString escaped = text;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

// Reads a quoted string at `at`, advancing past it.
bool readQuoted(const QString& line, int& at, QString& text) {
    if (at >= line.size() || line[at] != QLatin1Char('"')) {
        return false;
    }
    text.clear();
    for (++at; at < line.size(); ++at) {
        if (line[at] == QLatin1Char('\\') && at + 1 < line.size()) {
            text += line[++at];
        } else if (line[at] == QLatin1Char('"')) {
            ++at;
            return true;
        } else {
            text += line[at];
        }
    }
    return false;
}

QByteArray wideBytes(const QString& text) {
    std::vector<WCHAR> units(static_cast<std::size_t>(text.size()) + 1, 0);
    const int length = text.toWCharArray(units.data());
    return QByteArray(reinterpret_cast<const char*>(units.data()),
                      static_cast<int>((length + 1) * sizeof(WCHAR)));
}

// The text of REG_SZ data that holds exactly one terminator, at its end; others have no
// text form in the file and are written as bytes.
bool textOf(const QByteArray& data, QString& text) {
    const int units = data.size() / int(sizeof(WCHAR));
    if (units == 0 || data.size() % int(sizeof(WCHAR)) != 0) {
        return false;
    }
    std::vector<WCHAR> wide(static_cast<std::size_t>(units));
    std::memcpy(wide.data(), data.constData(), static_cast<std::size_t>(data.size()));
    if (std::find(wide.begin(), wide.end(), WCHAR(0)) != wide.end() - 1) {
        return false;
    }
    text = QString::fromWCharArray(wide.data(), units - 1);
    return true;
}

// "dword:0000002a", "hex:01,02" (REG_BINARY) or "hex(N):…" for any other type or size.
bool parseData(const QString& field, Value& value) {
    if (field.startsWith(QLatin1String("dword:"))) {
        bool ok = false;
        const DWORD number = field.mid(6).toUInt(&ok, 16);
        value.type = REG_DWORD;
        value.data = QByteArray(reinterpret_cast<const char*>(&number), sizeof(number));
        return ok;
    }
    const int colon = field.indexOf(QLatin1Char(':'));
    const QString kind = field.left(colon);
    bool ok = kind == QLatin1String("hex");
    value.type = REG_BINARY;
    if (kind.startsWith(QLatin1String("hex(")) && kind.endsWith(QLatin1Char(')'))) {
        value.type = kind.mid(4, kind.size() - 5).toUInt(&ok, 16);
    }
    const QString bytes = field.mid(colon + 1);
    value.data = QByteArray::fromHex(bytes.toLatin1());
    return ok && colon > 0 && value.data.toHex(',') == bytes.toLatin1();
}

QString dataText(const Value& value) {
    QString text;
    if (value.type == REG_SZ && textOf(value.data, text)) {
        return quoted(text);
    }
    if (value.type == REG_DWORD && value.data.size() == int(sizeof(DWORD))) {
        DWORD number = 0;
        std::memcpy(&number, value.data.constData(), sizeof(number));
        return QStringLiteral("dword:%1").arg(number, 8, 16, QLatin1Char('0'));
    }
    const QString kind = value.type == REG_BINARY
                             ? QStringLiteral("hex")
                             : QStringLiteral("hex(%1)").arg(value.type, 0, 16);
    return kind + QLatin1Char(':') + QString::fromLatin1(value.data.toHex(','));
}

Hive parse(const QString& content) {
    Hive hive;
    Key* current = nullptr;
    for (const QString& raw : content.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            QString path = line.mid(1, line.size() - 2);
            if (path == kRootName) {
                path.clear();
            } else if (path.startsWith(kRootName + QLatin1Char('\\'))) {
                path = path.mid(kRootName.size() + 1);
            } else {
                current = nullptr;
                continue;
            }
            current = &hive[path.toLower()];
            current->path = path;
            continue;
        }
        if (current == nullptr || line.isEmpty()) {
            continue;
        }
        Value value;
        int at = 0;
        if (line.startsWith(QLatin1String("@="))) {
            at = 2;
        } else if (!readQuoted(line, at, value.name) || line.mid(at, 1) != QLatin1String("=")) {
            continue;
        } else {
            ++at;
        }
        QString text;
        if (readQuoted(line, at, text)) {
            value.type = REG_SZ;
            value.data = wideBytes(text);
        } else if (!parseData(line.mid(at), value)) {
            continue;
        }
        current->values.push_back(value);
    }
    return hive;
}

QString serialise(const Hive& hive) {
    QString out = kHeader + QStringLiteral("\n\n");
    for (const auto& entry : hive) {
        const Key& key = entry.second;
        out += QLatin1Char('[') + join(kRootName, key.path) + QStringLiteral("]\n");
        for (const Value& value : key.values) {
            out += value.name.isEmpty() ? QStringLiteral("@") : quoted(value.name);
            out += QLatin1Char('=') + dataText(value) + QLatin1Char('\n');
        }
        out += QLatin1Char('\n');
    }
    return out;
}

QString hiveFile() {
    return QString::fromStdString(registryFilePath());
}

// Writers replace the file whole (through a temporary and a rename), so a reader sees one
// complete state or the next without taking their lock: a writer that is stopped while it
// holds the lock never blocks a reader.
Hive readHive() {
    QFile in(hiveFile());
    return in.open(QIODevice::ReadOnly) ? parse(QString::fromUtf8(in.readAll())) : Hive();
}

// One read-modify-write of the hive file, locked against other writers in this process and
// in others. The wait for another process has a bound; `locked` tells whether it was taken.
class Transaction {
public:
    Transaction() : file_(hiveFile()), lockFile_(file_ + QStringLiteral(".lock")) {
        QDir().mkpath(QFileInfo(file_).path());
        if (!lockFile_.tryLock(kWriterWaitMilliseconds)) {
            refusal = lockFile_.error() == QLockFile::LockFailedError
                          ? LSTATUS(ERROR_TIMEOUT)
                          : LSTATUS(ERROR_ACCESS_DENIED);
            qWarning("registry: gave up writing %s: its lock %s stayed taken for %d ms (%s)",
                     qPrintable(file_), qPrintable(file_ + QStringLiteral(".lock")),
                     kWriterWaitMilliseconds,
                     lockFile_.error() == QLockFile::LockFailedError ? "held by another process"
                                                                     : "cannot be created");
            return;
        }
        hive = readHive();
    }

    // Written through a temporary file: a crash never leaves half a registry.
    bool save() const {
        QSaveFile out(file_);
        return out.open(QIODevice::WriteOnly) && out.write(serialise(hive).toUtf8()) >= 0 &&
               out.commit();
    }

    // ERROR_SUCCESS once the lock is held; what the caller answers when it was not.
    LSTATUS refusal = ERROR_SUCCESS;
    Hive hive;

private:
    std::lock_guard<std::mutex> threads_{mutex()};
    QString file_;
    QLockFile lockFile_;

    static std::mutex& mutex() {
        static std::mutex shared;
        return shared;
    }
};

bool isOpen(HKEY key) {
    if (key == HKEY_CLASSES_ROOT) {
        return true;
    }
    const std::lock_guard<std::mutex> lock(handleMutex);
    return openHandles.count(key) != 0;
}

HKEY openHandle(const QString& path, REGSAM access) {
    HKEY key = new HKEY__{path, access};
    const std::lock_guard<std::mutex> lock(handleMutex);
    openHandles.insert(key);
    return key;
}

bool failureRequestedFor(const QString& path) {
    const char* failing = std::getenv("VOXALIS_REGISTRY_FAIL_KEY");
    return failing != nullptr && QString::fromUtf8(failing).compare(path, Qt::CaseInsensitive) == 0;
}

Value* findValue(Key& key, const QString& name) {
    for (Value& value : key.values) {
        if (value.name.compare(name, Qt::CaseInsensitive) == 0) {
            return &value;
        }
    }
    return nullptr;
}

} // namespace

const HKEY HKEY_CLASSES_ROOT = &classesRoot;

std::string registryFilePath() {
    if (const char* chosen = std::getenv("VOXALIS_REGISTRY"); chosen != nullptr && *chosen) {
        return chosen;
    }
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg) {
        config = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr) {
        config = std::string(home) + "/.config";
    }
    return config + "/VOXALIS_Thumbnail/HKEY_CLASSES_ROOT.reg";
}

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                        const void*, PHKEY phkResult, DWORD* lpdwDisposition) {
    if (!isOpen(hKey) || phkResult == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const QString path = join(hKey->path, fromWide(lpSubKey));
    if (failureRequestedFor(path)) {
        return ERROR_ACCESS_DENIED;
    }
    Transaction registry;
    if (registry.refusal != ERROR_SUCCESS) {
        return registry.refusal;
    }
    const bool existed = registry.hive.count(path.toLower()) != 0;
    // Like Windows, every missing key on the way is created too.
    QString prefix;
    for (const QString& part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        prefix = join(prefix, part);
        Key& key = registry.hive[prefix.toLower()];
        if (key.path.isEmpty()) {
            key.path = prefix;
        }
    }
    if (!existed && !registry.save()) {
        return ERROR_ACCESS_DENIED;
    }
    *phkResult = openHandle(path, samDesired);
    if (lpdwDisposition != nullptr) {
        *lpdwDisposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    if (!isOpen(hKey) || phkResult == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const QString path = join(hKey->path, fromWide(lpSubKey));
    if (!path.isEmpty() && readHive().count(path.toLower()) == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    *phkResult = openHandle(path, samDesired);
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                       DWORD cbData) {
    if (!isOpen(hKey)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((hKey->access & kSetValue) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (lpData == nullptr && cbData != 0) {
        return ERROR_NOACCESS;
    }
    // Stored as given, whatever the type says: the registry checks neither sizes nor
    // terminators, and hands back exactly these bytes.
    Value value;
    value.name = fromWide(lpValueName);
    value.type = dwType;
    value.data = QByteArray(reinterpret_cast<const char*>(lpData), static_cast<int>(cbData));
    Transaction registry;
    if (registry.refusal != ERROR_SUCCESS) {
        return registry.refusal;
    }
    const auto key = registry.hive.find(hKey->path.toLower());
    if (key == registry.hive.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (Value* existing = findValue(key->second, value.name)) {
        *existing = value;
    } else {
        key->second.values.push_back(value);
    }
    return registry.save() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD*, DWORD* lpType, BYTE* lpData,
                         DWORD* lpcbData) {
    if (!isOpen(hKey)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((hKey->access & kQueryValue) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (lpData != nullptr && lpcbData == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    Hive hive = readHive();
    const auto key = hive.find(hKey->path.toLower());
    if (key == hive.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const Value* value = findValue(key->second, fromWide(lpValueName));
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (lpType != nullptr) {
        *lpType = value->type;
    }
    if (lpcbData == nullptr) {
        return ERROR_SUCCESS;
    }
    const DWORD room = *lpcbData;
    *lpcbData = static_cast<DWORD>(value->data.size());
    if (lpData == nullptr) {
        return ERROR_SUCCESS;
    }
    if (room < *lpcbData) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpData, value->data.constData(), *lpcbData);
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!isOpen(hKey)) {
        return ERROR_INVALID_HANDLE;
    }
    const QString path = join(hKey->path, fromWide(lpSubKey)).toLower();
    Transaction registry;
    if (registry.refusal != ERROR_SUCCESS) {
        return registry.refusal;
    }
    const auto key = registry.hive.find(path);
    if (key == registry.hive.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const QString below = path + QLatin1Char('\\');
    for (auto it = registry.hive.begin(); it != registry.hive.end();) {
        it = it->first.startsWith(below) ? registry.hive.erase(it) : std::next(it);
    }
    // With a subkey the key itself goes; without one only what it holds.
    if (lpSubKey != nullptr && *lpSubKey != 0) {
        registry.hive.erase(path);
    } else {
        registry.hive[path].values.clear();
    }
    return registry.save() ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT) {
        return ERROR_SUCCESS;
    }
    {
        const std::lock_guard<std::mutex> lock(handleMutex);
        if (openHandles.erase(hKey) == 0) {
            return ERROR_INVALID_HANDLE;
        }
    }
    delete hKey;
    return ERROR_SUCCESS;
}
