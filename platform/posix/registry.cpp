#include "com_api.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

// An open key: its full path below HKEY_CLASSES_ROOT.
struct HKEY__ {
    QString path;
};

namespace {

HKEY__ classesRoot{QString()};

struct Value {
    QString name; // empty: the default value
    DWORD type = REG_NONE;
    QString text;     // REG_SZ
    DWORD number = 0; // REG_DWORD
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
        if (line.mid(at).startsWith(QLatin1String("dword:"))) {
            bool ok = false;
            value.number = line.mid(at + 6).toUInt(&ok, 16);
            value.type = REG_DWORD;
            if (!ok) {
                continue;
            }
        } else if (readQuoted(line, at, value.text)) {
            value.type = REG_SZ;
        } else {
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
            out += QLatin1Char('=');
            out += value.type == REG_DWORD
                       ? QStringLiteral("dword:%1").arg(value.number, 8, 16, QLatin1Char('0'))
                       : quoted(value.text);
            out += QLatin1Char('\n');
        }
        out += QLatin1Char('\n');
    }
    return out;
}

// One read-modify-write of the hive file, locked against other threads and processes.
class Transaction {
public:
    Transaction() : file_(QString::fromStdString(registryFilePath())), lockFile_(file_ + ".lock") {
        QDir().mkpath(QFileInfo(file_).path());
        lockFile_.lock();
        QFile in(file_);
        if (in.open(QIODevice::ReadOnly)) {
            hive = parse(QString::fromUtf8(in.readAll()));
        }
    }

    // Written through a temporary file: a crash never leaves half a registry.
    bool save() const {
        QSaveFile out(file_);
        return out.open(QIODevice::WriteOnly) && out.write(serialise(hive).toUtf8()) >= 0 &&
               out.commit();
    }

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

HKEY openHandle(const QString& path) {
    HKEY key = new HKEY__{path};
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

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM, const void*,
                        PHKEY phkResult, DWORD* lpdwDisposition) {
    if (!isOpen(hKey) || phkResult == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const QString path = join(hKey->path, fromWide(lpSubKey));
    if (failureRequestedFor(path)) {
        return ERROR_ACCESS_DENIED;
    }
    Transaction registry;
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
    *phkResult = openHandle(path);
    if (lpdwDisposition != nullptr) {
        *lpdwDisposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    }
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    if (!isOpen(hKey) || phkResult == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const QString path = join(hKey->path, fromWide(lpSubKey));
    Transaction registry;
    if (!path.isEmpty() && registry.hive.count(path.toLower()) == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    *phkResult = openHandle(path);
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                       DWORD cbData) {
    if (!isOpen(hKey)) {
        return ERROR_INVALID_HANDLE;
    }
    Value value;
    value.name = fromWide(lpValueName);
    value.type = dwType;
    if (dwType == REG_SZ) {
        // The data is the text with its terminator; a missing terminator is tolerated.
        std::vector<WCHAR> text(cbData / sizeof(WCHAR) + 1, 0);
        if (lpData != nullptr) {
            std::memcpy(text.data(), lpData, cbData / sizeof(WCHAR) * sizeof(WCHAR));
        }
        value.text = QString::fromWCharArray(text.data());
    } else if (dwType == REG_DWORD && cbData == sizeof(DWORD) && lpData != nullptr) {
        std::memcpy(&value.number, lpData, sizeof(DWORD));
    } else {
        return ERROR_INVALID_PARAMETER;
    }
    Transaction registry;
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
    Transaction registry;
    const auto key = registry.hive.find(hKey->path.toLower());
    if (key == registry.hive.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const Value* value = findValue(key->second, fromWide(lpValueName));
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::vector<BYTE> data;
    if (value->type == REG_SZ) {
        std::vector<WCHAR> text(static_cast<std::size_t>(value->text.size()) + 1, 0);
        value->text.toWCharArray(text.data());
        data.resize(text.size() * sizeof(WCHAR));
        std::memcpy(data.data(), text.data(), data.size());
    } else {
        data.resize(sizeof(DWORD));
        std::memcpy(data.data(), &value->number, sizeof(DWORD));
    }
    if (lpType != nullptr) {
        *lpType = value->type;
    }
    if (lpcbData == nullptr) {
        return lpData == nullptr ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    }
    const DWORD room = *lpcbData;
    *lpcbData = static_cast<DWORD>(data.size());
    if (lpData == nullptr) {
        return ERROR_SUCCESS;
    }
    if (room < data.size()) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpData, data.data(), data.size());
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!isOpen(hKey)) {
        return ERROR_INVALID_HANDLE;
    }
    const QString path = join(hKey->path, fromWide(lpSubKey)).toLower();
    Transaction registry;
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
