// Late-bound automation: every property read, property write and method call goes by member
// name through IDispatch::GetIDsOfNames and IDispatch::Invoke. Failures are written to the
// registration library's log (LogMessage); nothing here shows anything.
//
// The results are those the registration flow was written against, each stated at its function:
// the HRESULT where a caller passes the failure's code on (AutoWrap, SetBoolProperty), 1 or 0
// where it only asks whether the call worked (GetStringProperty, SetProperty).
#pragma once
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

// Invocation kinds, the IDispatch flags.
enum AutoWrapKind {
    kAutoMethod = DISPATCH_METHOD,   // 1
    kAutoGet = DISPATCH_PROPERTYGET, // 2
    kAutoPut = DISPATCH_PROPERTYPUT, // 4
};

// Calls member `name` of `object`. `count` VARIANTs follow by value, the member's last parameter
// first; they reach Invoke in the order given and stay the caller's (copied shallowly, never
// cleared). A property write carries the named argument DISPID_PROPERTYPUT. The name is looked up
// in LOCALE_USER_DEFAULT, the call made in LOCALE_SYSTEM_DEFAULT. Returns the HRESULT of the
// lookup or of Invoke; every failure is logged once.
HRESULT AutoWrap(int kind, VARIANT *result, IDispatch *object, const wchar_t *name, int count, ...);

// Property read of an object: the IDispatch held in the result, or null if object is null, the
// call fails or the member's value is not an object. The caller releases it.
IDispatch *GetObjectProperty(IDispatch *object, const wchar_t *name);
// Property read into value (VariantInit first). 1 only if the call succeeded and the value is a
// VT_BSTR, else 0. The caller clears value in every case.
int GetStringProperty(IDispatch *object, VARIANT *value, const wchar_t *name);
// Property write of VT_I4 1 when flag is nonzero, else 0. Returns the HRESULT.
HRESULT SetBoolProperty(IDispatch *object, const wchar_t *name, int flag);
// Property write of a copy of *value, which stays the caller's. 1 on success, else 0.
int SetProperty(IDispatch *object, const wchar_t *name, const VARIANT *value);

// A new BSTR holding the ANSI text (CP_ACP; null counts as ""), or null if it cannot be made.
// The caller frees it.
BSTR ToBstr(const char *text);
// Converts the BSTR into buffer (size bytes, CP_ACP, terminator included). Returns what
// WideCharToMultiByte returns: the bytes written, or 0 on failure, in which case the buffer is
// left empty rather than holding a cut, unterminated text. A null BSTR is the empty text.
int BstrToAnsi(BSTR source, char *buffer, int size);
// Leaves COM on this thread unless keepCom: CoFreeUnusedLibraries, then CoUninitialize.
// Returns keepCom when it is nonzero, else 0.
int ReleaseCom(int keepCom);

// The memory of AutoWrap's argument array (malloc; freed with free). Defined alone in
// argument_memory.cpp, so that a test program can link an allocator of its own that fails.
void *AllocateAutoWrapArguments(size_t bytes);
