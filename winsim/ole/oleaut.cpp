// winsim: BSTR, VARIANT and SAFEARRAY (oleauto.h).
#include "com_internal.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

using namespace winsim;

namespace {

std::atomic<long> g_live_strings{0};

// A SAFEARRAY with its element type in front of it.
struct ArrayBlock {
    VARTYPE vt;
    SAFEARRAY sa;
};

ArrayBlock* BlockOf(SAFEARRAY* psa) {
    return reinterpret_cast<ArrayBlock*>(reinterpret_cast<char*>(psa) - offsetof(ArrayBlock, sa));
}

size_t ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_UI1:
    case VT_I1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE: return 8;
    case VT_BSTR: return sizeof(BSTR);
    case VT_UNKNOWN:
    case VT_DISPATCH: return sizeof(IUnknown*);
    case VT_VARIANT: return sizeof(VARIANT);
    default: return 0;
    }
}

void* ElementAt(SAFEARRAY* psa, LONG index) {
    LONG off = index - psa->rgsabound[0].lLbound;
    if (off < 0 || static_cast<ULONG>(off) >= psa->rgsabound[0].cElements) return nullptr;
    return static_cast<char*>(psa->pvData) + static_cast<size_t>(off) * psa->cbElements;
}

void FreeElement(VARTYPE vt, void* p) {
    if (vt == VT_BSTR)
        SysFreeString(*static_cast<BSTR*>(p));
    else if (vt == VT_VARIANT)
        VariantClear(static_cast<VARIANT*>(p));
    else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && *static_cast<IUnknown**>(p))
        (*static_cast<IUnknown**>(p))->Release();
}

// Copies an element into dst (uninitialised storage of the element's size).
HRESULT CopyElement(VARTYPE vt, void* dst, const void* src, size_t size) {
    if (vt == VT_BSTR) {
        BSTR s = *static_cast<const BSTR*>(src);
        BSTR c = s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
        if (s && !c) return E_OUTOFMEMORY;
        *static_cast<BSTR*>(dst) = c;
        return S_OK;
    }
    if (vt == VT_VARIANT) {
        VariantInit(static_cast<VARIANT*>(dst));
        return VariantCopy(static_cast<VARIANT*>(dst), static_cast<const VARIANT*>(src));
    }
    std::memcpy(dst, src, size);
    if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && *static_cast<IUnknown* const*>(src))
        (*static_cast<IUnknown* const*>(src))->AddRef();
    return S_OK;
}

HRESULT ToText(const VARIANT* v, std::wstring* out, USHORT flags) {
    VARTYPE vt = v->vt;
    bool byref = (vt & VT_BYREF) != 0;
    if (vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;
    VARTYPE base = vt & VT_TYPEMASK;
    if (byref && !v->byref) return E_INVALIDARG;
    auto get = [&](auto direct, auto pointer) { return byref ? *pointer : direct; };
    wchar_t buf[64];
    switch (base) {
    case VT_EMPTY: *out = L""; return S_OK;
    case VT_NULL: return DISP_E_TYPEMISMATCH;
    case VT_I1: *out = std::to_wstring(static_cast<int>(get(v->cVal, v->pcVal))); return S_OK;
    case VT_UI1: *out = std::to_wstring(static_cast<unsigned>(get(v->bVal, v->pbVal))); return S_OK;
    case VT_I2: *out = std::to_wstring(get(v->iVal, v->piVal)); return S_OK;
    case VT_UI2: *out = std::to_wstring(get(v->uiVal, v->puiVal)); return S_OK;
    case VT_I4:
    case VT_INT: *out = std::to_wstring(get(v->lVal, v->plVal)); return S_OK;
    case VT_UI4:
    case VT_UINT: *out = std::to_wstring(get(v->ulVal, v->pulVal)); return S_OK;
    case VT_I8: *out = std::to_wstring(get(v->llVal, v->pllVal)); return S_OK;
    case VT_UI8: *out = std::to_wstring(get(v->ullVal, v->pullVal)); return S_OK;
    case VT_BOOL: {
        bool b = get(v->boolVal, v->pboolVal) != VARIANT_FALSE;
        *out = (flags & VARIANT_ALPHABOOL) ? (b ? L"True" : L"False") : (b ? L"-1" : L"0");
        return S_OK;
    }
    case VT_R4:
        swprintf(buf, 64, L"%.7g", static_cast<double>(get(v->fltVal, v->pfltVal)));
        *out = buf;
        return S_OK;
    case VT_R8:
        swprintf(buf, 64, L"%.15g", get(v->dblVal, v->pdblVal));
        *out = buf;
        return S_OK;
    case VT_BSTR: {
        BSTR s = get(v->bstrVal, v->pbstrVal);
        *out = s ? std::wstring(s, SysStringLen(s)) : L"";
        return S_OK;
    }
    case VT_VARIANT:
        if (!byref) return DISP_E_BADVARTYPE;
        return ToText(v->pvarVal, out, flags);
    case VT_UNKNOWN:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_CY:
    case VT_DATE:
    case VT_DECIMAL: return DISP_E_TYPEMISMATCH;
    default: return DISP_E_BADVARTYPE;
    }
}

// A copy of a one-dimensional array and its elements (strings, interfaces and variants
// copied as VariantCopy copies them).
HRESULT CopyArray(SAFEARRAY* psa, SAFEARRAY** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!psa) return S_OK;
    VARTYPE vt = BlockOf(psa)->vt;
    SAFEARRAY* c = SafeArrayCreateVector(vt, psa->rgsabound[0].lLbound, psa->rgsabound[0].cElements);
    if (!c) return E_OUTOFMEMORY;
    for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i) {
        size_t off = static_cast<size_t>(i) * psa->cbElements;
        HRESULT hr = CopyElement(vt, static_cast<char*>(c->pvData) + off, static_cast<char*>(psa->pvData) + off,
                                 psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(c);
            return hr;
        }
    }
    *out = c;
    return S_OK;
}

}  // namespace

namespace winsim::com {
long LiveStrings() { return g_live_strings.load(); }
}  // namespace winsim::com

extern "C" {

BSTR WINAPI SysAllocStringLen(const OLECHAR* in, UINT n) {
    HRESULT hr;
    if (com::detail::Injected(com::Step::SysAllocString, &hr)) return nullptr;
    auto* raw = static_cast<char*>(std::calloc(1, sizeof(WCHAR) + (static_cast<size_t>(n) + 1) * sizeof(WCHAR)));
    if (!raw) return nullptr;
    DWORD bytes = static_cast<DWORD>(n * sizeof(WCHAR));
    std::memcpy(raw + sizeof(WCHAR) - sizeof(DWORD), &bytes, sizeof(DWORD));
    BSTR s = reinterpret_cast<BSTR>(raw + sizeof(WCHAR));
    if (in) std::memcpy(s, in, n * sizeof(WCHAR));
    s[n] = 0;
    ++g_live_strings;
    return s;
}

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
    if (!psz) return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(std::wcslen(psz)));
}

void WINAPI SysFreeString(BSTR s) {
    if (!s) return;
    --g_live_strings;
    std::free(reinterpret_cast<char*>(s) - sizeof(WCHAR));
}

UINT WINAPI SysStringByteLen(BSTR s) {
    if (!s) return 0;
    DWORD bytes;
    std::memcpy(&bytes, reinterpret_cast<char*>(s) - sizeof(DWORD), sizeof(DWORD));
    return bytes;
}

UINT WINAPI SysStringLen(BSTR s) { return SysStringByteLen(s) / sizeof(WCHAR); }

void WINAPI VariantInit(VARIANTARG* v) {
    if (!v) return;
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT WINAPI VariantClear(VARIANTARG* v) {
    if (!v) return E_INVALIDARG;
    VARTYPE vt = v->vt;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) return hr;
        } else if (vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && v->punkVal) {
            v->punkVal->Release();
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* dst, const VARIANTARG* src) {
    if (!dst || !src) return E_INVALIDARG;
    if (dst == src) return S_OK;
    HRESULT hr = VariantClear(dst);
    if (FAILED(hr)) return hr;
    VARIANT tmp = *src;
    VARTYPE vt = src->vt;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            if (src->parray && FAILED(hr = CopyArray(src->parray, &tmp.parray))) return hr;
        } else if (vt == VT_BSTR && src->bstrVal) {
            tmp.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
            if (!tmp.bstrVal) return E_OUTOFMEMORY;
        } else if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) && src->punkVal) {
            src->punkVal->AddRef();
        }
    }
    *dst = tmp;
    return S_OK;
}

HRESULT WINAPI VariantChangeType(VARIANTARG* dst, const VARIANTARG* src, USHORT flags, VARTYPE vt) {
    if (!dst || !src) return E_INVALIDARG;
    if (vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    std::wstring text;
    HRESULT hr = ToText(src, &text, flags);
    if (FAILED(hr)) return hr;
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!b) return E_OUTOFMEMORY;
    hr = VariantClear(dst);
    if (FAILED(hr)) {
        SysFreeString(b);
        return hr;
    }
    dst->vt = VT_BSTR;
    dst->bstrVal = b;
    return S_OK;
}

SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lbound, ULONG count) {
    size_t size = ElementSize(vt);
    if (size == 0) return nullptr;
    auto* block = static_cast<ArrayBlock*>(std::calloc(1, sizeof(ArrayBlock)));
    if (!block) return nullptr;
    void* data = std::calloc(count ? count : 1, size);
    if (!data) {
        std::free(block);
        return nullptr;
    }
    block->vt = vt;
    SAFEARRAY* psa = &block->sa;
    psa->cDims = 1;
    psa->fFeatures = FADF_HAVEVARTYPE | (vt == VT_BSTR       ? FADF_BSTR
                                         : vt == VT_VARIANT  ? FADF_VARIANT
                                         : vt == VT_UNKNOWN  ? FADF_UNKNOWN
                                         : vt == VT_DISPATCH ? FADF_DISPATCH
                                                             : 0);
    psa->cbElements = static_cast<ULONG>(size);
    psa->pvData = data;
    psa->rgsabound[0].cElements = count;
    psa->rgsabound[0].lLbound = lbound;
    return psa;
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
    VARTYPE vt = BlockOf(psa)->vt;
    for (ULONG i = 0; i < psa->rgsabound[0].cElements; ++i)
        FreeElement(vt, static_cast<char*>(psa->pvData) + static_cast<size_t>(i) * psa->cbElements);
    std::free(psa->pvData);
    std::free(BlockOf(psa));
    return S_OK;
}

UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT dim, LONG* out) {
    if (!psa || !out) return E_INVALIDARG;
    if (dim != 1) return DISP_E_BADINDEX;
    *out = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT dim, LONG* out) {
    if (!psa || !out) return E_INVALIDARG;
    if (dim != 1) return DISP_E_BADINDEX;
    *out = psa->rgsabound[0].lLbound + static_cast<LONG>(psa->rgsabound[0].cElements) - 1;
    return S_OK;
}

HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* vt) {
    if (!psa || !vt) return E_INVALIDARG;
    *vt = BlockOf(psa)->vt;
    return S_OK;
}

HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* idx, void* pv) {
    if (!psa || !idx || !pv) return E_INVALIDARG;
    void* p = ElementAt(psa, idx[0]);
    if (!p) return DISP_E_BADINDEX;
    return CopyElement(BlockOf(psa)->vt, pv, p, psa->cbElements);
}

HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* idx, void* pv) {
    if (!psa || !idx) return E_INVALIDARG;
    if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
    void* p = ElementAt(psa, idx[0]);
    if (!p) return DISP_E_BADINDEX;
    VARTYPE vt = BlockOf(psa)->vt;
    // A BSTR element is given as the string itself, the others by address.
    if (vt == VT_BSTR) {
        BSTR in = static_cast<BSTR>(pv);
        BSTR c = in ? SysAllocStringLen(in, SysStringLen(in)) : nullptr;
        if (in && !c) return E_OUTOFMEMORY;
        FreeElement(vt, p);
        *static_cast<BSTR*>(p) = c;
        return S_OK;
    }
    if (!pv) return E_INVALIDARG;
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        IUnknown* in = static_cast<IUnknown*>(pv);
        in->AddRef();
        FreeElement(vt, p);
        *static_cast<IUnknown**>(p) = in;
        return S_OK;
    }
    if (vt == VT_VARIANT) return VariantCopy(static_cast<VARIANT*>(p), static_cast<VARIANT*>(pv));
    std::memcpy(p, pv, psa->cbElements);
    return S_OK;
}

HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppv) {
    if (!psa || !ppv) return E_INVALIDARG;
    ++psa->cLocks;
    *ppv = psa->pvData;
    return S_OK;
}

HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

}  // extern "C"
