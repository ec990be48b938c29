// PropertyPageBase driven directly through IPropertyPage: object hand-over,
// dirty state and Apply, the page site, the title resource and, with a
// display, the dialog's life as a child of the frame's window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tests/framework/framework_test_support.h"
#include "tests/framework/test_page_ids.h"

namespace {

// Records every hook call in order.
class TestPage : public PropertyPageBase {
public:
    explicit TestPage(IUnknown *outer = nullptr)
        : PropertyPageBase(L"TestPage", outer, kTestPageDialog, kTestPageTitle) {}

    HRESULT OnConnect(IUnknown *object) override {
        calls.push_back("connect");
        connectedTo = object;
        return connectResult;
    }
    HRESULT OnDisconnect() override {
        calls.push_back("disconnect");
        return S_OK;
    }
    HRESULT OnActivate() override {
        calls.push_back(Dialog() != nullptr && IsWindow(Dialog()) ? "activate" : "activate-without-dialog");
        return S_OK;
    }
    HRESULT OnDeactivate() override {
        calls.push_back(IsWindow(Dialog()) ? "deactivate" : "deactivate-without-dialog");
        return S_OK;
    }
    HRESULT OnApplyChanges() override {
        calls.push_back("apply");
        return applyResult;
    }
    INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_INITDIALOG)
            initDialogSeen = (window != nullptr);
        if (message == WM_COMMAND && LOWORD(wParam) == kTestPageButton) {
            commandWindow = window;
            SetDirty();
            return 1;
        }
        return PropertyPageBase::OnReceiveMessage(window, message, wParam, lParam);
    }

    IPropertyPage *Interface() { return static_cast<IPropertyPage *>(this); }

    std::vector<std::string> calls;
    IUnknown *connectedTo = nullptr;
    HRESULT connectResult = S_OK;
    HRESULT applyResult = S_OK;
    bool initDialogSeen = false;
    HWND commandWindow = nullptr;
};

// A page site that counts status changes.
class TestSite final : public IPropertyPageSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **result) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyPageSite))
            return ReturnInterface(this, result);
        *result = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override {
        statusChanges.push_back(flags);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG *) override { return S_FALSE; }

    long references = 1;
    std::vector<DWORD> statusChanges;
};

class PropertyPageTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        page = new TestPage;
        page->NonDelegatingAddRef();
        object = new TestSite; // any IUnknown will do as the page's object
    }
    void TearDown() override {
        if (page != nullptr) {
            EXPECT_EQ(page->NonDelegatingRelease(), 0u);
        }
        delete object;
        if (parent != nullptr)
            DestroyWindow(parent);
        FrameworkTest::TearDown();
    }
    // The frame's window; skips the test when there is no display to draw on.
    bool MakeParent() {
        const char *display = std::getenv("DISPLAY");
        if (display == nullptr || *display == '\0')
            return false;
        parent = CreateWindowExW(0, L"STATIC", L"Frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr, nullptr, nullptr,
                                 nullptr);
        return parent != nullptr;
    }

    TestPage *page = nullptr;
    TestSite *object = nullptr;
    HWND parent = nullptr;
};

TEST_F(PropertyPageTest, ObjectsReachTheConnectHooks) {
    IPropertyPage *pp = page->Interface();
    EXPECT_EQ(pp->SetObjects(1, nullptr), E_POINTER);
    IUnknown *objects[2] = {object, nullptr};
    ASSERT_EQ(pp->SetObjects(2, objects), S_OK);
    EXPECT_EQ(page->connectedTo, static_cast<IUnknown *>(object));
    ASSERT_EQ(pp->SetObjects(0, nullptr), S_OK);
    // New objects while some are set: the old ones are let go first.
    ASSERT_EQ(pp->SetObjects(1, objects), S_OK);
    ASSERT_EQ(pp->SetObjects(1, objects), S_OK);
    EXPECT_EQ(page->calls, (std::vector<std::string>{"connect", "disconnect", "connect", "disconnect", "connect"}));
    // A refused object leaves nothing to disconnect.
    page->calls.clear();
    page->connectResult = E_NOINTERFACE;
    EXPECT_EQ(pp->SetObjects(1, objects), E_NOINTERFACE);
    EXPECT_EQ(pp->SetObjects(0, nullptr), S_OK);
    EXPECT_EQ(page->calls, (std::vector<std::string>{"disconnect", "connect"}));
}

TEST_F(PropertyPageTest, DirtyStateAndApply) {
    IPropertyPage *pp = page->Interface();
    EXPECT_EQ(pp->Apply(), E_UNEXPECTED); // no objects yet
    IUnknown *objects[1] = {object};
    ASSERT_EQ(pp->SetObjects(1, objects), S_OK);
    EXPECT_EQ(pp->IsPageDirty(), S_FALSE);
    EXPECT_EQ(pp->Apply(), S_OK);
    EXPECT_EQ(page->calls, (std::vector<std::string>{"connect"})); // clean: no OnApplyChanges

    TestSite site;
    ASSERT_EQ(pp->SetPageSite(&site), S_OK);
    EXPECT_EQ(pp->SetPageSite(&site), E_UNEXPECTED);
    EXPECT_EQ(site.references, 2);
    // A command the page handles marks it dirty and tells the site.
    page->OnReceiveMessage(nullptr, WM_COMMAND, MAKEWPARAM(kTestPageButton, BN_CLICKED), 0);
    EXPECT_EQ(pp->IsPageDirty(), S_OK);
    EXPECT_EQ(site.statusChanges, (std::vector<DWORD>{PROPPAGESTATUS_DIRTY}));

    page->applyResult = E_FAIL;
    EXPECT_EQ(pp->Apply(), E_FAIL);
    EXPECT_EQ(pp->IsPageDirty(), S_OK); // a failed apply keeps the changes pending
    page->applyResult = S_OK;
    EXPECT_EQ(pp->Apply(), S_OK);
    EXPECT_EQ(pp->IsPageDirty(), S_FALSE);
    EXPECT_EQ(page->calls, (std::vector<std::string>{"connect", "apply", "apply"}));

    ASSERT_EQ(pp->SetPageSite(nullptr), S_OK);
    EXPECT_EQ(site.references, 1);
    EXPECT_EQ(pp->SetPageSite(nullptr), E_UNEXPECTED);
}

TEST_F(PropertyPageTest, FixedAnswersAndTitle) {
    IPropertyPage *pp = page->Interface();
    EXPECT_EQ(pp->Help(L"x"), E_NOTIMPL);
    MSG message{};
    EXPECT_EQ(pp->TranslateAccelerator(&message), E_NOTIMPL);
    EXPECT_EQ(pp->Deactivate(), E_UNEXPECTED);
    EXPECT_EQ(pp->Show(SW_SHOW), E_UNEXPECTED);
    RECT rect{0, 0, 10, 10};
    EXPECT_EQ(pp->Move(&rect), E_UNEXPECTED);
    EXPECT_EQ(pp->Activate(nullptr, nullptr, TRUE), E_POINTER);
    EXPECT_EQ(pp->GetPageInfo(nullptr), E_POINTER);
    PROPPAGEINFO info{};
    ASSERT_EQ(pp->GetPageInfo(&info), S_OK);
    EXPECT_STREQ(info.pszTitle, L"Test Page Title");
    EXPECT_EQ(info.cb, sizeof info);
    CoTaskMemFree(info.pszTitle);

    void *result = Garbage();
    EXPECT_EQ(pp->QueryInterface(IID_IBaseFilter, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);
}

TEST_F(PropertyPageTest, DialogLivesBetweenActivateAndDeactivate) {
    if (!MakeParent())
        GTEST_SKIP() << "needs a display (DISPLAY unset)";
    IPropertyPage *pp = page->Interface();
    RECT rect{5, 6, 205, 156};
    ASSERT_EQ(pp->Activate(parent, &rect, TRUE), S_OK);
    HWND dialog = page->Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(page->initDialogSeen);
    EXPECT_EQ(GetParent(dialog), parent);
    EXPECT_NE(GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_EQ(pp->Activate(parent, &rect, TRUE), E_UNEXPECTED);
    RECT client{};
    GetWindowRect(dialog, &client);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&client), 2);
    EXPECT_EQ(client.left, 5);
    EXPECT_EQ(client.top, 6);
    EXPECT_EQ(client.right - client.left, 200);
    EXPECT_EQ(pp->Show(SW_SHOWNORMAL), S_OK);
    EXPECT_EQ(pp->Show(SW_MAXIMIZE), E_INVALIDARG);

    // The button's command travels through the dialog procedure to the page.
    SendMessageW(GetDlgItem(dialog, kTestPageButton), BM_CLICK, 0, 0);
    EXPECT_EQ(page->commandWindow, dialog);
    EXPECT_EQ(pp->IsPageDirty(), S_OK);

    PROPPAGEINFO info{};
    ASSERT_EQ(pp->GetPageInfo(&info), S_OK);
    EXPECT_GT(info.size.cx, 100);
    EXPECT_GT(info.size.cy, 60);
    CoTaskMemFree(info.pszTitle);

    ASSERT_EQ(pp->Deactivate(), S_OK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(page->Dialog(), nullptr);
    EXPECT_EQ(page->calls, (std::vector<std::string>{"activate", "deactivate"}));
    // Activated again after a deactivation: a new dialog.
    ASSERT_EQ(pp->Activate(parent, &rect, FALSE), S_OK);
    EXPECT_TRUE(IsWindow(page->Dialog()));
    ASSERT_EQ(pp->Deactivate(), S_OK);
}

} // namespace
