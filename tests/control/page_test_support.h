// Pieces shared by the property page tests: the page made through COM as a
// property frame makes it, a page site that records status changes, a host
// window, and a bounded helper thread for work that must not run on the
// thread that owns the dialog (dismissing the message boxes its commands show).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "control/camera_page_resource.h"
#include "tests/control/control_test_support.h"
#include "tests/control/window_driver.h"
#include "tests/support/helper_thread.h"

// ControlTest with OLE (single-threaded apartment, as property frames need).
class PageTest : public ControlTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // The display, or a skip: without one Wine creates no windows.
    static bool HaveDisplay();
    // A new page made by CoCreateInstance of its class, held until the test ends.
    IPropertyPage *NewPage();

private:
    std::vector<ComPtr<IPropertyPage>> pages;
    bool oleStarted = false;
};

// Records what the page tells its site.
class RecordingSite final : public IPropertyPageSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG *) override { return S_FALSE; }

    long references = 1;
    std::vector<DWORD> statusChanges;
};

// Clicks `button` on this (the dialog's own) thread while a helper thread
// waits for the message box with `caption`, reads its text and dismisses it.
// The text, or "<no message box>".
std::wstring ClickOnOwnThread(HWND button, const wchar_t *caption);

// Checks made on a helper thread, reported on the test's thread (GoogleTest
// assertions belong to the main thread in this build).
struct Findings {
    void Check(bool condition, const std::string &what) {
        if (!condition)
            problems.push_back(what);
    }
    std::vector<std::string> problems;
};
std::string Narrow(const std::wstring &text);
