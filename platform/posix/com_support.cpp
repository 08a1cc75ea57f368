#include "com_api.h"

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <map>
#include <mutex>

const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IInitializeWithFile = {
    0xb7d14566, 0x0509, 0x4cce, {0xa7, 0x1f, 0x0a, 0x55, 0x42, 0x33, 0xbd, 0x9b}};
const IID IID_IThumbnailProvider = {
    0xe357fccd, 0xa995, 0x4576, {0xb0, 0x1f, 0x23, 0x46, 0x30, 0x15, 0x4e, 0x96}};

HRESULT QISearch(void* that, const QITAB* pqit, REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    for (const QITAB* entry = pqit; entry->piid != nullptr; ++entry) {
        // IUnknown is answered by the first entry.
        if (riid == *entry->piid || (riid == IID_IUnknown && entry == pqit)) {
            auto* part = reinterpret_cast<IUnknown*>(static_cast<char*>(that) + entry->dwOffset);
            part->AddRef();
            *ppv = part;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    constexpr int kLength = 39; // braces, 32 digits, 4 dashes and the terminator
    if (lpsz == nullptr || cchMax < kLength) {
        return 0;
    }
    char text[kLength];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  rguid.Data1, rguid.Data2, rguid.Data3, rguid.Data4[0], rguid.Data4[1],
                  rguid.Data4[2], rguid.Data4[3], rguid.Data4[4], rguid.Data4[5], rguid.Data4[6],
                  rguid.Data4[7]);
    for (int i = 0; i < kLength; ++i) {
        lpsz[i] = static_cast<WCHAR>(text[i]);
    }
    return kLength;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
    constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3);
    if (lpsz == nullptr || pclsid == nullptr || std::wcslen(lpsz) != 38) {
        return CO_E_CLASSSTRING;
    }
    unsigned value[11] = {};
    char text[39];
    for (int i = 0; i < 39; ++i) {
        text[i] = static_cast<char>(lpsz[i]);
    }
    int consumed = 0;
    const int fields = std::sscanf(text, "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &value[0],
                                   &value[1], &value[2], &value[3], &value[4], &value[5], &value[6],
                                   &value[7], &value[8], &value[9], &value[10], &consumed);
    if (fields != 11 || consumed != 38) {
        return CO_E_CLASSSTRING;
    }
    pclsid->Data1 = value[0];
    pclsid->Data2 = static_cast<WORD>(value[1]);
    pclsid->Data3 = static_cast<WORD>(value[2]);
    for (int i = 0; i < 8; ++i) {
        pclsid->Data4[i] = static_cast<BYTE>(value[3 + i]);
    }
    return S_OK;
}

namespace {
std::mutex notificationMutex;
std::map<LONG, int> notifications;
} // namespace

void SHChangeNotify(LONG wEventId, UINT, LPCVOID, LPCVOID) {
    const std::lock_guard<std::mutex> lock(notificationMutex);
    ++notifications[wEventId];
}

int recordedShellNotifications(LONG wEventId) {
    const std::lock_guard<std::mutex> lock(notificationMutex);
    const auto it = notifications.find(wEventId);
    return it == notifications.end() ? 0 : it->second;
}
