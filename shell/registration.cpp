#include "registration.h"

#include "entry_points.h"
#include "file_formats.h"
#include "module_file_name.h"
#include "module_handle.h"
#include "registry_names.h"

#include <string>
#include <string_view>

namespace {

// Key paths and the module path live in buffers of the shell's MAX_PATH.
constexpr std::size_t kMaxPath = 260;

const wchar_t kFriendlyName[] = L"CppShellExtThumbnailHandler.RecipeThumbnailProvider Class";
const wchar_t kThreadingModel[] = L"Apartment";

HRESULT clsidText(REFCLSID clsid, std::wstring& text) {
    wchar_t buffer[kMaxPath] = {};
    if (StringFromGUID2(clsid, buffer, int(kMaxPath)) == 0) {
        return E_INVALIDARG;
    }
    text = buffer;
    return S_OK;
}

// A key path that does not fit the shell's buffer is refused as StringCchPrintf would.
HRESULT fits(const std::wstring& key) {
    return key.size() < kMaxPath ? S_OK : STRSAFE_E_INSUFFICIENT_BUFFER;
}

// A registry call's status as an HRESULT. The SDK's HRESULT_FROM_WIN32 may be a macro that
// evaluates its argument twice, so the call is made once, here as the argument, and its status
// converted.
HRESULT fromStatus(LSTATUS status) {
    return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

HRESULT setString(HKEY key, LPCWSTR name, const std::wstring& text) {
    const auto* data = reinterpret_cast<const BYTE*>(text.c_str());
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return fromStatus(RegSetValueExW(key, name, 0, REG_SZ, data, bytes));
}

// Creates (or opens) a key, lets `write` set its values, closes it.
template <typename Write> HRESULT withKey(const std::wstring& path, Write write) {
    HKEY key = nullptr;
    HRESULT result =
        fromStatus(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr,
                                   REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr));
    if (SUCCEEDED(result)) {
        result = write(key);
        RegCloseKey(key);
    }
    return result;
}

// A served suffix as the registry's wide string; suffixes are ASCII, so each char widens alone.
std::wstring wideSuffix(const FileFormat& format) {
    const std::string_view suffix = format.suffix;
    return std::wstring(suffix.begin(), suffix.end());
}

// The shell loads an in-process server from a path of at most MAX_PATH; a longer one is refused
// rather than recorded as a server that never loads.
HRESULT modulePath(std::wstring& path) {
    path = moduleFileName(moduleHandle.load());
    if (path.empty()) {
        return fromStatus(static_cast<LSTATUS>(GetLastError()));
    }
    return path.size() < kMaxPath ? S_OK : fromStatus(ERROR_INSUFFICIENT_BUFFER);
}

} // namespace

HRESULT registerClass(LPCWSTR modulePath, REFCLSID clsid, LPCWSTR friendlyName,
                      LPCWSTR threadingModel) {
    if (modulePath == nullptr || threadingModel == nullptr) {
        return E_INVALIDARG;
    }
    std::wstring clsidKey;
    HRESULT result = clsidText(clsid, clsidKey);
    clsidKey = L"CLSID\\" + clsidKey;
    if (FAILED(result) || FAILED(result = fits(clsidKey))) {
        return result;
    }
    result = withKey(clsidKey, [&](HKEY key) {
        return friendlyName != nullptr ? setString(key, nullptr, friendlyName) : S_OK;
    });
    if (FAILED(result)) {
        return result;
    }
    // The shell may then load the provider into its own process; a failure here is harmless.
    withKey(clsidKey, [](HKEY key) {
        const DWORD one = 1;
        return fromStatus(RegSetValueExW(key, L"DisableProcessIsolation", 0, REG_DWORD,
                                         reinterpret_cast<const BYTE*>(&one), sizeof(one)));
    });
    const std::wstring serverKey = clsidKey + L"\\InprocServer32";
    if (FAILED(result = fits(serverKey))) {
        return result;
    }
    result = withKey(serverKey, [&](HKEY key) { return setString(key, nullptr, modulePath); });
    if (FAILED(result)) {
        return result;
    }
    return withKey(serverKey,
                   [&](HKEY key) { return setString(key, L"ThreadingModel", threadingModel); });
}

HRESULT registerExtension(LPCWSTR extension, REFCLSID clsid) {
    if (extension == nullptr) {
        return E_INVALIDARG;
    }
    std::wstring clsidString;
    HRESULT result = clsidText(clsid, clsidString);
    const std::wstring key = L"." + std::wstring(extension) + kThumbnailHandler;
    if (FAILED(result) || FAILED(result = fits(key))) {
        return result;
    }
    return withKey(key, [&](HKEY handle) { return setString(handle, nullptr, clsidString); });
}

HRESULT unregisterClass(REFCLSID clsid) {
    std::wstring clsidKey;
    HRESULT result = clsidText(clsid, clsidKey);
    clsidKey = L"CLSID\\" + clsidKey;
    if (FAILED(result) || FAILED(result = fits(clsidKey))) {
        return result;
    }
    return fromStatus(RegDeleteTreeW(HKEY_CLASSES_ROOT, clsidKey.c_str()));
}

HRESULT unregisterExtension(LPCWSTR extension) {
    if (extension == nullptr) {
        return E_INVALIDARG;
    }
    const std::wstring key = L"." + std::wstring(extension) + kThumbnailHandler;
    const HRESULT result = fits(key);
    return FAILED(result) ? result : fromStatus(RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()));
}

STDAPI DllRegisterServer() {
    try {
        std::wstring module;
        HRESULT result = modulePath(module);
        if (FAILED(result)) {
            return result;
        }
        result = registerClass(module.c_str(), CLSID_RecipeThumbnailProvider, kFriendlyName,
                               kThreadingModel);
        if (FAILED(result)) {
            return result;
        }
        // Each extension on its own: one that fails is skipped, and only the last one's
        // outcome is the answer.
        for (const FileFormat& format : fileFormats()) {
            result = registerExtension(wideSuffix(format).c_str(), CLSID_RecipeThumbnailProvider);
            if (SUCCEEDED(result)) {
                SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
            }
        }
        return result;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

STDAPI DllUnregisterServer() {
    try {
        std::wstring module;
        HRESULT result = modulePath(module);
        if (FAILED(result)) {
            return result;
        }
        result = unregisterClass(CLSID_RecipeThumbnailProvider);
        if (FAILED(result)) {
            return result;
        }
        for (const FileFormat& format : fileFormats()) {
            result = unregisterExtension(wideSuffix(format).c_str());
        }
        return result;
    } catch (...) {
        return E_UNEXPECTED;
    }
}
