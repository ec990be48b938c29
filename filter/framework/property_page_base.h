// PropertyPageBase: IPropertyPage over a dialog resource and a title string
// resource of the module. The page shows the dialog as a child of the frame's
// window; its dialog procedure routes every message to OnReceiveMessage.
//
// Hooks, in this order: OnConnect, OnDisconnect, OnActivate, OnDeactivate,
// OnApplyChanges, OnReceiveMessage. SetDirty marks the page changed and tells
// the page site.
//
// Threading: a page lives on the property frame's (UI) thread.
#pragma once

#include "filter/framework/com_support.h"
#include "filter/framework/unknown_base.h"

class PropertyPageBase : public UnknownBase, public IPropertyPage {
public:
    PropertyPageBase(const wchar_t *objectName, IUnknown *outer, int dialogId, int titleId);
    ~PropertyPageBase() override;

    DELEGATE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void **result) override;

    // --- Hooks -------------------------------------------------------------------
    // The first object given to SetObjects.
    virtual HRESULT OnConnect(IUnknown *object);
    // The objects were taken away (or replaced).
    virtual HRESULT OnDisconnect() { return S_OK; }
    // The dialog exists (`dialog`); fill its controls.
    virtual HRESULT OnActivate() { return S_OK; }
    // The dialog is about to be destroyed.
    virtual HRESULT OnDeactivate() { return S_OK; }
    // Apply while dirty; success clears the dirty state.
    virtual HRESULT OnApplyChanges() { return S_OK; }
    // A message of the dialog; the result is the dialog procedure's (0: not handled).
    virtual INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // --- IPropertyPage ------------------------------------------------------------
    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite *site) override;
    // Creates the dialog (E_OUTOFMEMORY when it cannot), calls OnActivate, moves it to `rect`.
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    // Calls OnDeactivate and destroys the dialog.
    HRESULT STDMETHODCALLTYPE Deactivate() override;
    // Title from the string resource, size from the dialog resource.
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO *info) override;
    // One or more objects: OnConnect with the first; none: OnDisconnect.
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown **objects) override;
    HRESULT STDMETHODCALLTYPE Show(UINT command) override;
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
    // S_OK when dirty, S_FALSE otherwise.
    HRESULT STDMETHODCALLTYPE IsPageDirty() override;
    // OnApplyChanges when dirty.
    HRESULT STDMETHODCALLTYPE Apply() override;
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR helpDir) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG *message) override;

    HWND Dialog() const { return dialog; }
    bool IsDirty() const { return dirty; }

protected:
    // Marks the page dirty and reports PROPPAGESTATUS_DIRTY to the page site.
    void SetDirty();

    HWND dialog = nullptr;
    IPropertyPageSite *pageSite = nullptr; // one reference
    bool dirty = false;
    bool objectsSet = false;
    int dialogResourceId;
    int titleResourceId;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The dialog's size in pixels, measured by creating it hidden.
    SIZE DialogSize();
};
