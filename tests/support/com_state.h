// What a test can ask about COM on its own thread without changing it.
#pragma once
#include <objbase.h>

// True while COM is initialised on this thread in the multithreaded apartment; leaves the count
// as it found it.
inline bool ComInitialisedMta() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr))
        CoUninitialize();
    return hr == S_FALSE;
}
