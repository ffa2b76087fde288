#include "automation/dispatch.h"

#include "reglog/log.h"

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void LogInvokeFailure(const char *name, DISPID id, HRESULT hr) {
    unsigned long code = static_cast<unsigned long>(hr);
    LogMessage("AutoWrap - IDispatch::Invoke(\"%s\"=%08lx) failed w/err 0x%08lx  SEV=\"%08lx\" "
               "FACILITY=\"%08lx\" CODE=\"%08lx\"",
               name, static_cast<unsigned long>(id), code, (code >> 31) & 1, (code >> 16) & 0x1FFF,
               code & 0xFFFF);
}

} // namespace

HRESULT AutoWrap(int kind, VARIANT *result, IDispatch *object, const wchar_t *name, int count,
                 ...) {
    // The ANSI name is only for the log lines. A name too long for the buffer is cut, not left
    // unterminated.
    char ansiName[256] = "";
    if (name &&
        !WideCharToMultiByte(CP_ACP, 0, name, -1, ansiName, sizeof ansiName, nullptr, nullptr))
        ansiName[sizeof ansiName - 1] = '\0';

    // Without an object or a name there is nothing to look up: report it as a failed lookup
    // instead of calling through a null pointer.
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object && name ? S_OK : E_POINTER;
    if (SUCCEEDED(hr)) {
        LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
        hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    }
    if (FAILED(hr)) {
        LogMessage("AutoWrap - IDispatch::GetIDsOfNames(\"%s\") failed w/err 0x%08lx", ansiName,
                   static_cast<unsigned long>(hr));
        return hr;
    }

    // count + 1 elements, so that a call without arguments still has an array.
    VARIANT *args = nullptr;
    if (count >= 0 && static_cast<uint64_t>(count) + 1 <= SIZE_MAX / sizeof(VARIANT))
        args = static_cast<VARIANT *>(
            AllocateAutoWrapArguments((static_cast<size_t>(count) + 1) * sizeof(VARIANT)));
    if (!args) {
        hr = count < 0 ? E_INVALIDARG : E_OUTOFMEMORY;
        LogInvokeFailure(ansiName, id, hr);
        return hr;
    }
    va_list list;
    va_start(list, count);
    for (int i = 0; i < count; ++i)
        args[i] = va_arg(list, VARIANT);
    va_end(list);

    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS params = {args, nullptr, static_cast<UINT>(count), 0};
    if (kind & DISPATCH_PROPERTYPUT) {
        params.cNamedArgs = 1;
        params.rgdispidNamedArgs = &namedPut;
    }
    hr = object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, static_cast<WORD>(kind), &params,
                        result, nullptr, nullptr);
    if (FAILED(hr))
        LogInvokeFailure(ansiName, id, hr);
    std::free(args);
    return hr;
}

IDispatch *GetObjectProperty(IDispatch *object, const wchar_t *name) {
    if (!object)
        return nullptr;
    VARIANT value;
    VariantInit(&value);
    if (FAILED(AutoWrap(kAutoGet, &value, object, name, 0)))
        return nullptr;
    // Only an object may be handed out as one: anything else would be released by the caller
    // as if it were an interface.
    if (V_VT(&value) != VT_DISPATCH) {
        VariantClear(&value);
        return nullptr;
    }
    return V_DISPATCH(&value);
}

int GetStringProperty(IDispatch *object, VARIANT *value, const wchar_t *name) {
    if (!value)
        return 0;
    VariantInit(value);
    HRESULT hr = AutoWrap(kAutoGet, value, object, name, 0);
    return SUCCEEDED(hr) && V_VT(value) == VT_BSTR ? 1 : 0;
}

HRESULT SetBoolProperty(IDispatch *object, const wchar_t *name, int flag) {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_I4;
    V_I4(&value) = flag ? 1 : 0;
    return AutoWrap(kAutoPut, nullptr, object, name, 1, value);
}

int SetProperty(IDispatch *object, const wchar_t *name, const VARIANT *value) {
    if (!value)
        return 0;
    VARIANT scratch;
    VariantInit(&scratch);
    HRESULT hr = AutoWrap(kAutoPut, &scratch, object, name, 1, *value);
    VariantClear(&scratch);
    return SUCCEEDED(hr) ? 1 : 0;
}

BSTR ToBstr(const char *text) {
    if (!text)
        text = "";
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return nullptr;
    std::vector<wchar_t> wide(static_cast<size_t>(length));
    if (!MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length))
        return nullptr;
    return SysAllocString(wide.data());
}

int BstrToAnsi(BSTR source, char *buffer, int size) {
    if (!buffer || size <= 0)
        return 0;
    int written =
        WideCharToMultiByte(CP_ACP, 0, source ? source : L"", -1, buffer, size, nullptr, nullptr);
    if (written == 0)
        buffer[0] = '\0';
    return written;
}

int ReleaseCom(int keepCom) {
    if (keepCom)
        return keepCom;
    CoFreeUnusedLibraries();
    CoUninitialize();
    return 0;
}
