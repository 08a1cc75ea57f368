#pragma once

#include "com_api.h"

// The steps of self-registration, each answering with an HRESULT.
HRESULT registerClass(LPCWSTR modulePath, REFCLSID clsid, LPCWSTR friendlyName,
                      LPCWSTR threadingModel);
HRESULT registerExtension(LPCWSTR extension, REFCLSID clsid);
HRESULT unregisterClass(REFCLSID clsid);
HRESULT unregisterExtension(LPCWSTR extension);
