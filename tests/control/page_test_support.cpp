// Page test fixture, page site, helper thread.
#include "tests/control/page_test_support.h"

#include <cstdlib>

void PageTest::SetUp() {
    comModel = COINIT_APARTMENTTHREADED;
    ControlTest::SetUp();
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    oleStarted = true;
}

void PageTest::TearDown() {
    pages.clear();
    if (oleStarted)
        OleUninitialize();
    ControlTest::TearDown();
}

bool PageTest::HaveDisplay() {
    const char *display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

IPropertyPage *PageTest::NewPage() {
    ComPtr<IPropertyPage> page;
    EXPECT_EQ(CoCreateInstance(kClsidPage, nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage, page.putVoid()), S_OK);
    pages.push_back(page);
    return page.get();
}

HRESULT STDMETHODCALLTYPE RecordingSite::QueryInterface(REFIID iid, void **result) {
    if (result == nullptr)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyPageSite)) {
        *result = static_cast<IPropertyPageSite *>(this);
        AddRef();
        return S_OK;
    }
    *result = nullptr;
    return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE RecordingSite::OnStatusChange(DWORD flags) {
    statusChanges.push_back(flags);
    return S_OK;
}

std::wstring ClickOnOwnThread(HWND button, const wchar_t *caption) {
    std::wstring text = L"<no message box>";
    HelperThread dismisser([&] {
        HWND box = WaitForMessageBox(caption, 10000);
        if (box == nullptr)
            return;
        Sleep(100);
        text = MessageBoxText(box);
        DismissMessageBox(box);
    });
    Click(button); // returns once the box is gone
    dismisser.Join(15000);
    return text;
}

std::string Narrow(const std::wstring &text) {
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}
