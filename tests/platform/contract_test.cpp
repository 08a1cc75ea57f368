#include "com_api.h"
#include "platform_services.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

// One table of calls into the platform layer with the answers Windows documents for them. The
// same source runs against the Linux stand-ins and, cross-compiled, against Wine; where Wine
// itself differs from Windows, the row says why and Wine's answer is shown, not asserted.

namespace {

namespace fs = std::filesystem;

const wchar_t kKey[] = L"VoxalisContract\\Alpha";
const wchar_t kRoot[] = L"VoxalisContract";
constexpr long long kUnit = sizeof(WCHAR);        // sizes below are in WCHARs where text is stored
const DWORD kNumber = 0x01020304;                 // the first two bytes stored as a REG_DWORD
const wchar_t kText[] = L"a\"\\";                 // what a registry file must escape
const HRESULT kNotAClassId = HRESULT(0x800401F3); // CO_E_CLASSSTRING

struct Session {
    fs::path folder;
    std::string self;
    std::wstring modulePath;
    HKEY key = nullptr;
    HKEY other = nullptr;
    DWORD disposition = 0, type = REG_NONE, bytes = 0;
    BYTE data[64] = {};
    HMODULE module = nullptr;
    CLSID clsid{};
    IClassFactory* factory = nullptr;
    IThumbnailProvider* provider = nullptr;
    IInitializeWithFile* initializer = nullptr;
    void* out = nullptr;
    std::intptr_t lock = -1;

    LSTATUS create(LPCWSTR path, REGSAM access, HKEY& handle) {
        return RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                               nullptr, &handle, &disposition);
    }
    LSTATUS set(HKEY to, LPCWSTR name, DWORD valueType, const void* value, DWORD size) {
        return RegSetValueExW(to, name, 0, valueType, static_cast<const BYTE*>(value), size);
    }
    LSTATUS query(HKEY from, LPCWSTR name) {
        bytes = sizeof(data);
        return RegQueryValueExW(from, name, nullptr, &type, data, &bytes);
    }
    long long loadError(const char* name) {
        return LoadLibraryW((folder / name).wstring().c_str()) ? -1 : GetLastError();
    }
    // An out pointer holding what a careless server would leave in place.
    void** poisoned() {
        out = &out;
        return &out;
    }
    HRESULT classObject(REFCLSID wanted, REFIID riid, void** ppv) {
        using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
        return procAddress<GetClassObject>(module, "DllGetClassObject")(wanted, riid, ppv);
    }
    HRESULT classId(LPCOLESTR text) { return CLSIDFromString(text, &clsid); }
    HRESULT canUnloadNow() { return procAddress<HRESULT (*)()>(module, "DllCanUnloadNow")(); }
    std::string lockPath() const { return (folder / "lock").string(); }
};

struct Call {
    const char* what;
    long long expected;
    std::function<long long(Session&)> call;
    const char* wineDiffers = nullptr; // why Wine cannot show what Windows documents
};

template <typename T> void** out(T*& pointer) {
    return reinterpret_cast<void**>(&pointer);
}

const Call kCalls[] = {
    // The registry, under HKEY_CLASSES_ROOT.
    {"RegCreateKeyExW of a new key and its parent", ERROR_SUCCESS,
     [](Session& s) { return s.create(kKey, KEY_READ | KEY_WRITE, s.key); }},
    {"  its disposition, REG_CREATED_NEW_KEY", 1, [](Session& s) { return s.disposition; }},
    {"RegCreateKeyExW of it in other letter case: REG_OPENED_EXISTING_KEY", 2,
     [](Session& s) {
         s.create(L"VOXALISCONTRACT\\alpha", KEY_READ, s.other);
         RegCloseKey(s.other);
         return s.disposition;
     }},
    {"RegSetValueExW REG_SZ with its terminator", ERROR_SUCCESS,
     [](Session& s) { return s.set(s.key, L"Name", REG_SZ, kText, sizeof(kText)); }},
    {"RegQueryValueExW into a buffer one short", ERROR_MORE_DATA,
     [](Session& s) {
         s.bytes = sizeof(kText) - kUnit;
         return RegQueryValueExW(s.key, L"Name", nullptr, nullptr, s.data, &s.bytes);
     }},
    {"  the size it asks for", 4, [](Session& s) { return s.bytes / kUnit; }},
    {"RegQueryValueExW by the name in other letter case: the text", 1,
     [](Session& s) {
         return !s.query(s.key, L"NAME") && !std::memcmp(s.data, kText, sizeof(kText));
     }},
    // Counted short of "abc": no terminator follows the data in memory either.
    {"RegSetValueExW REG_SZ \"ab\" without a terminator", ERROR_SUCCESS,
     [](Session& s) { return s.set(s.key, L"Bare", REG_SZ, L"abc", DWORD(2 * kUnit)); }},
    {"  read back: its size, as stored", 2,
     [](Session& s) { return s.query(s.key, L"Bare") ? -1 : s.bytes / kUnit; }},
    {"RegSetValueExW REG_DWORD of 2 bytes", ERROR_SUCCESS,
     [](Session& s) { return s.set(s.key, L"Short", REG_DWORD, &kNumber, 2); }},
    {"  read back: size and type", 24,
     [](Session& s) { return s.query(s.key, L"Short") ? -1 : s.bytes * 10 + s.type; }},
    {"RegSetValueExW through a KEY_READ handle", ERROR_ACCESS_DENIED,
     [](Session& s) {
         RegOpenKeyExW(HKEY_CLASSES_ROOT, kKey, 0, KEY_READ, &s.other);
         const LSTATUS status = s.set(s.other, L"Short", REG_DWORD, &kNumber, 4);
         RegCloseKey(s.other);
         return status;
     }},
    {"RegCloseKey", ERROR_SUCCESS, [](Session& s) { return RegCloseKey(s.key); }},
    {"RegDeleteTreeW of the parent", ERROR_SUCCESS,
     [](Session&) { return RegDeleteTreeW(HKEY_CLASSES_ROOT, kRoot); }},

    // Modules, loaded as the shell loads an in-process server.
    {"LoadLibraryW of a missing file: the last error", ERROR_MOD_NOT_FOUND,
     [](Session& s) { return s.loadError("missing.dll"); }},
    {"LoadLibraryW of a file that is no module: the last error", ERROR_BAD_EXE_FORMAT,
     [](Session& s) {
         std::ofstream(s.folder / "text.dll") << "text";
         return s.loadError("text.dll");
     }},
    {"LoadLibraryW of the module beside this program", 1,
     [](Session& s) { return (s.module = LoadLibraryW(s.modulePath.c_str())) != nullptr; }},
    {"  GetProcAddress of a name it does not export: the last error", ERROR_PROC_NOT_FOUND,
     [](Session& s) { return GetProcAddress(s.module, "DllNothing") ? -1 : GetLastError(); }},
    {"GetModuleFileNameA of this program into 8 bytes: the length", 8,
     [](Session& s) {
         std::memset(s.data, 'x', 9);
         return GetModuleFileNameA(nullptr, reinterpret_cast<char*>(s.data), 8);
     }},
    {"  its first 7 bytes and a terminator", 1,
     [](Session& s) { return !std::memcmp(s.data, s.self.substr(0, 7).c_str(), 8); },
     "Wine leaves a cut name unterminated, as Windows XP did; Vista and later terminate it"},
    // What a caller that grows its buffer goes by: a cut name returns the size. The whole name
    // (bytes that are no UTF-8 included) is the job test's long install folder.
    {"GetModuleFileNameW of this program into as many WCHARs as it has: the size", 1,
     [](Session& s) {
         std::wstring cut(fs::path(s.self).wstring().size(), L'x');
         return GetModuleFileNameW(nullptr, cut.data(), DWORD(cut.size())) == cut.size();
     }},

    // Class ids as the registry holds them, and the COM server through its entry points.
    {"CLSIDFromString with the wrong closing brace", kNotAClassId,
     [](Session& s) { return s.classId(L"{6F1E3C2A-7B54-4D8E-9A21-3C5B8E0D4F17)"); }},
    {"CLSIDFromString of the module's class in lower case", S_OK,
     [](Session& s) { return s.classId(L"{6f1e3c2a-7b54-4d8e-9a21-3c5b8e0d4f17}"); }},
    {"DllGetClassObject of another class", CLASS_E_CLASSNOTAVAILABLE,
     [](Session& s) { return s.classObject(IID_IUnknown, IID_IClassFactory, s.poisoned()); }},
    {"  its out pointer nulled", 1, [](Session& s) { return s.out == nullptr; }},
    {"DllGetClassObject for an interface it has not", E_NOINTERFACE,
     [](Session& s) { return s.classObject(s.clsid, IID_IThumbnailProvider, s.poisoned()); }},
    {"DllGetClassObject for IClassFactory", S_OK,
     [](Session& s) { return s.classObject(s.clsid, IID_IClassFactory, out(s.factory)); }},
    {"CreateInstance inside an outer object", CLASS_E_NOAGGREGATION,
     [](Session& s) {
         return s.factory->CreateInstance(s.factory, IID_IThumbnailProvider, s.poisoned());
     }},
    {"  its out pointer nulled", 1, [](Session& s) { return s.out == nullptr; }},
    {"CreateInstance for IThumbnailProvider", S_OK,
     [](Session& s) {
         return s.factory->CreateInstance(nullptr, IID_IThumbnailProvider, out(s.provider));
     }},
    {"QueryInterface for IInitializeWithFile", S_OK,
     [](Session& s) {
         return s.provider->QueryInterface(IID_IInitializeWithFile, out(s.initializer));
     }},
    {"QueryInterface for IUnknown from both: one identity", 1,
     [](Session& s) {
         IUnknown* first = nullptr;
         IUnknown* second = nullptr;
         s.provider->QueryInterface(IID_IUnknown, out(first));
         s.initializer->QueryInterface(IID_IUnknown, out(second));
         return first->Release() + second->Release() == 5 && first == second;
     }},
    {"QueryInterface for an interface it has not", E_NOINTERFACE,
     [](Session& s) { return s.provider->QueryInterface(IID_IClassFactory, s.poisoned()); }},
    {"  its out pointer nulled", 1, [](Session& s) { return s.out == nullptr; }},
    {"Initialize with no path", E_INVALIDARG,
     [](Session& s) { return s.initializer->Initialize(nullptr, STGM_READ); }},
    {"LockServer(TRUE), the provider released: DllCanUnloadNow", S_FALSE,
     [](Session& s) {
         s.factory->LockServer(TRUE);
         s.initializer->Release();
         s.provider->Release();
         return s.canUnloadNow();
     }},
    {"LockServer(FALSE), the class object released: DllCanUnloadNow", S_OK,
     [](Session& s) {
         s.factory->LockServer(FALSE);
         s.factory->Release();
         return s.canUnloadNow();
     }},

    // The lock that processes sharing a folder take in turns.
    {"lockFileExclusively of a free file", 1,
     [](Session& s) { return (s.lock = lockFileExclusively(s.lockPath().c_str(), 0)) >= 0; }},
    {"  again while it is held, waiting 20 ms", kLockTimedOut,
     [](Session& s) { return lockFileExclusively(s.lockPath().c_str(), 20); }},
    {"  a second holder waiting while the first lets go", 1,
     [](Session& s) {
         const std::string path = s.lockPath();
         auto second = std::async(std::launch::async, lockFileExclusively, path.c_str(), 60000);
         std::this_thread::sleep_for(std::chrono::milliseconds(100));
         unlockFile(s.lock);
         unlockFile(s.lock = second.get());
         return s.lock >= 0;
     }},
    {"  a holder process that ends without letting go: its exit code", 0,
     [](Session& s) { return std::system((s.self + " --hold-lock " + s.lockPath()).c_str()); }},
    {"  the lock once it has ended, with no wait", 1,
     [](Session& s) {
         unlockFile(s.lock = lockFileExclusively(s.lockPath().c_str(), 0));
         return s.lock >= 0;
     }},
    {"lockFileExclusively in a missing folder", -1,
     [](Session& s) { return lockFileExclusively((s.folder / "no/lock").string().c_str(), 0); }},
};

TEST(Contract, EachCallAnswersAsWindowsDocuments) {
    Session s;
    char self[4096] = {};
    ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof(self)), 0u);
    s.self = self;
    s.modulePath = fs::path(self).replace_filename(VOXALIS_MODULE_FILE_NAME).wstring();
    s.folder = fs::temp_directory_path() /
               ("voxalis-contract-" +
                std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(s.folder);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kRoot); // what an earlier, broken run left
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");

    for (const Call& row : kCalls) {
        const long long answer = row.call(s);
        if (wine && row.wineDiffers != nullptr) {
            std::printf("%s: %lld, not asserted on Wine: %s\n", row.what, answer, row.wineDiffers);
        } else {
            EXPECT_EQ(answer, row.expected) << row.what;
        }
    }
    fs::remove_all(s.folder);
}

} // namespace

int main(int argc, char** argv) {
    // The holder process of the lock rows: takes the lock and ends without letting go.
    if (argc == 3 && std::strcmp(argv[1], "--hold-lock") == 0) {
        return lockFileExclusively(argv[2], 0) >= 0 ? 0 : 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
