#pragma once

// COM, the shell's thumbnail interfaces, GDI bitmaps and the registry: the names the shell
// extension uses, with the SDK's types, layouts and return codes.

#include "windows_api.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <string>

using ULONG = std::uint32_t;
using UINT = unsigned int;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using LPCVOID = const void*;
using LPOLESTR = WCHAR*;
using LPCOLESTR = const WCHAR*;
using REGSAM = DWORD;
using LSTATUS = LONG;
using DWORD_PTR = std::uintptr_t;

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16, "class ids are read and written as 16 bytes");
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}
inline bool IsEqualIID(REFIID a, REFIID b) {
    return IsEqualGUID(a, b);
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !IsEqualGUID(a, b);
}

// Exported COM entry points: C linkage, visible outside the module.
#define STDAPI extern "C" __attribute__((visibility("default"))) HRESULT

constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT STRSAFE_E_INSUFFICIENT_BUFFER = static_cast<HRESULT>(0x8007007A);

// The interfaces' layout is COM's: single inheritance of pure virtual classes, one vtable
// pointer first, the methods in declaration order.
struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

struct IInitializeWithFile : IUnknown {
    virtual HRESULT Initialize(LPCWSTR pszFilePath, DWORD grfMode) = 0;

protected:
    ~IInitializeWithFile() = default;
};

struct HBITMAP__;
using HBITMAP = HBITMAP__*;
using HGDIOBJ = void*;

enum WTS_ALPHATYPE { WTSAT_UNKNOWN = 0, WTSAT_RGB = 1, WTSAT_ARGB = 2 };

struct IThumbnailProvider : IUnknown {
    virtual HRESULT GetThumbnail(UINT cx, HBITMAP* phbmp, WTS_ALPHATYPE* pdwAlpha) = 0;

protected:
    ~IThumbnailProvider() = default;
};

extern const IID IID_IUnknown;
extern const IID IID_IClassFactory;
extern const IID IID_IInitializeWithFile;
extern const IID IID_IThumbnailProvider;

constexpr DWORD STGM_READ = 0;

// The shell's table-driven QueryInterface.
struct QITAB {
    const IID* piid;
    DWORD dwOffset;
};
// As the SDK writes it: the offset of a base part inside a class.
#define OFFSETOFCLASS(base, derived) ((DWORD)(DWORD_PTR)(static_cast<base*>((derived*)8)) - 8)

HRESULT QISearch(void* that, const QITAB* pqit, REFIID riid, void** ppv);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": characters written with the terminator, or 0.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);

// Shell notifications: here each one is recorded so that tests can count them.
constexpr LONG SHCNE_ASSOCCHANGED = 0x08000000;
constexpr UINT SHCNF_IDLIST = 0;
void SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1, LPCVOID dwItem2);
int recordedShellNotifications(LONG wEventId);

// GDI bitmaps: a 32-bit top-down DIB section.
struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    void* bmBits;
};
struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    void* dshSection;
    DWORD dsOffset;
};
constexpr DWORD BI_RGB = 0;
// For a DIB section the height comes back positive whatever the order of its rows, as Windows
// reports it: the order is the bitmap's own, and GetDIBits hands the rows over in the order
// the caller asks for.
int GetObject(HGDIOBJ h, int c, void* pv);
BOOL DeleteObject(HGDIOBJ ho);

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
struct HDC__;
using HDC = HDC__*;
struct HWND__;
using HWND = HWND__*;
constexpr UINT DIB_RGB_COLORS = 0;
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
// 32-bit BI_RGB copies only, the bitmap's width; rows top first when the header's height is
// negative. Scan lines count from the bottom row, as for every DIB.
int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, BITMAPINFO* lpbmi,
              UINT usage);

// Qt's Windows bridge: 0 no alpha, 1 premultiplied alpha, 2 straight alpha (HBitmapAlpha).
HBITMAP qt_imageToWinHBITMAP(const QImage& image, int hbitmapFormat = 0);

// Loading a module the way the shell loads an in-process server.
using FARPROC = void (*)();
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName);

// An entry point as the function type it has. Through FARPROC's own type, which converts to
// any function pointer type without a warning, as it must with the SDK's FARPROC.
template <typename Function> Function procAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The registry, under HKEY_CLASSES_ROOT.
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
extern const HKEY HKEY_CLASSES_ROOT;
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOACCESS = 998;
constexpr DWORD ERROR_TIMEOUT = 1460;

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                        DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                        PHKEY phkResult, DWORD* lpdwDisposition);
LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);
LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData);
LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD* lpReserved, DWORD* lpType,
                         BYTE* lpData, DWORD* lpcbData);
LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
LSTATUS RegCloseKey(HKEY hKey);

// Where this machine keeps HKEY_CLASSES_ROOT: $VOXALIS_REGISTRY, else the user's config
// folder. Setting VOXALIS_REGISTRY_FAIL_KEY to a key path makes creating that key fail with
// ERROR_ACCESS_DENIED, so tests can exercise partial failures. A writer that cannot take the
// file's lock within a bound answers ERROR_TIMEOUT and says so on the Qt log; readers never
// wait for it.
std::string registryFilePath();

// Where the registry lives, as a person would look for it: here the file.
inline std::string registryLocation() {
    return registryFilePath();
}
