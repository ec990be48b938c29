// PropertyPageBase: IPropertyPage over a dialog resource.
#include "filter/framework/property_page_base.h"

#include <cstring>

namespace {
// Dialog procedure of the hidden copy GetPageInfo measures: no page hooks.
INT_PTR CALLBACK MeasureProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

wchar_t *TaskCopy(const wchar_t *text, int length) {
    auto *copy = static_cast<wchar_t *>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
    if (copy != nullptr) {
        std::memcpy(copy, text, length * sizeof(wchar_t));
        copy[length] = L'\0';
    }
    return copy;
}
} // namespace

PropertyPageBase::PropertyPageBase(const wchar_t *objectName, IUnknown *outer, int dialogResource, int titleResource)
    : UnknownBase(objectName, outer), dialogResourceId(dialogResource), titleResourceId(titleResource) {}

PropertyPageBase::~PropertyPageBase() {
    if (dialog != nullptr)
        DestroyWindow(dialog);
    if (pageSite != nullptr)
        pageSite->Release();
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::NonDelegatingQueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IPropertyPage))
        return ReturnInterface(static_cast<IPropertyPage *>(this), result);
    return UnknownBase::NonDelegatingQueryInterface(iid, result);
}

HRESULT PropertyPageBase::OnConnect(IUnknown *) {
    return S_OK;
}

INT_PTR PropertyPageBase::OnReceiveMessage(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

INT_PTR CALLBACK PropertyPageBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PropertyPageBase *page = nullptr;
    if (message == WM_INITDIALOG) {
        page = reinterpret_cast<PropertyPageBase *>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        if (page != nullptr)
            page->dialog = window; // hooks may use it before CreateDialogParam returns
    } else {
        page = reinterpret_cast<PropertyPageBase *>(GetWindowLongPtrW(window, DWLP_USER));
    }
    if (page == nullptr)
        return FALSE;
    return page->OnReceiveMessage(window, message, wParam, lParam);
}

void PropertyPageBase::SetDirty() {
    dirty = true;
    if (pageSite != nullptr)
        pageSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::SetPageSite(IPropertyPageSite *site) {
    if (site != nullptr) {
        if (pageSite != nullptr)
            return E_UNEXPECTED;
        site->AddRef();
        pageSite = site;
        return S_OK;
    }
    if (pageSite == nullptr)
        return E_UNEXPECTED;
    pageSite->Release();
    pageSite = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Activate(HWND parent, LPCRECT rect, BOOL) {
    if (rect == nullptr)
        return E_POINTER;
    if (dialog != nullptr)
        return E_UNEXPECTED;
    HWND created = CreateDialogParamW(ComModule::Instance(), MAKEINTRESOURCEW(dialogResourceId), parent,
                                      &PropertyPageBase::DialogProc, reinterpret_cast<LPARAM>(this));
    if (created == nullptr) {
        dialog = nullptr;
        return E_OUTOFMEMORY;
    }
    dialog = created;
    // The page shows what it could read; a failed read leaves its controls as they are.
    OnActivate();
    Move(rect);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Deactivate() {
    if (dialog == nullptr)
        return E_UNEXPECTED;
    OnDeactivate();
    HWND window = dialog;
    dialog = nullptr;
    DestroyWindow(window);
    return S_OK;
}

SIZE PropertyPageBase::DialogSize() {
    SIZE size{0, 0};
    // A hidden parent keeps the (visible, child) dialog off the screen.
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (parent == nullptr)
        return size;
    HWND probe = CreateDialogParamW(ComModule::Instance(), MAKEINTRESOURCEW(dialogResourceId), parent, &MeasureProc, 0);
    if (probe != nullptr) {
        RECT area{};
        GetWindowRect(probe, &area);
        size.cx = area.right - area.left;
        size.cy = area.bottom - area.top;
    }
    DestroyWindow(parent); // takes the probe with it
    return size;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::GetPageInfo(PROPPAGEINFO *info) {
    if (info == nullptr)
        return E_POINTER;
    const wchar_t *title = nullptr;
    // With a zero buffer size LoadStringW hands out the read-only resource itself.
    int length =
        LoadStringW(ComModule::Instance(), static_cast<UINT>(titleResourceId), reinterpret_cast<LPWSTR>(&title), 0);
    if (title == nullptr || length < 0)
        length = 0;
    wchar_t *copy = TaskCopy(title != nullptr ? title : L"", length);
    if (copy == nullptr)
        return E_OUTOFMEMORY;
    info->cb = sizeof *info;
    info->pszTitle = copy;
    info->size = DialogSize();
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::SetObjects(ULONG count, IUnknown **objects) {
    if (count > 0 && (objects == nullptr || objects[0] == nullptr))
        return E_POINTER;
    if (objectsSet) {
        // New objects replace the old ones: let the page let go first.
        objectsSet = false;
        OnDisconnect();
    }
    if (count == 0)
        return S_OK;
    const HRESULT result = OnConnect(objects[0]);
    objectsSet = SUCCEEDED(result);
    return result;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Show(UINT command) {
    if (dialog == nullptr)
        return E_UNEXPECTED;
    if (command != SW_SHOW && command != SW_SHOWNORMAL && command != SW_HIDE)
        return E_INVALIDARG;
    ShowWindow(dialog, static_cast<int>(command));
    InvalidateRect(dialog, nullptr, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Move(LPCRECT rect) {
    if (rect == nullptr)
        return E_POINTER;
    if (dialog == nullptr)
        return E_UNEXPECTED;
    MoveWindow(dialog, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::IsPageDirty() {
    return dirty ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Apply() {
    if (!objectsSet)
        return E_UNEXPECTED;
    if (!dirty)
        return S_OK;
    const HRESULT result = OnApplyChanges();
    if (SUCCEEDED(result))
        dirty = false;
    return result;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::Help(LPCOLESTR) {
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE PropertyPageBase::TranslateAccelerator(MSG *) {
    return E_NOTIMPL;
}
