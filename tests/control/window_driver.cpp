// Window finding, clicks, text, message boxes and screenshots for the page tests.
#include "tests/control/window_driver.h"

#include <fstream>
#include <functional>
#include <set>

namespace {

bool OurWindow(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId() && IsWindowVisible(window);
}

struct TopWindowSearch {
    const std::function<bool(HWND)> *matches;
    HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM argument) {
    auto *search = reinterpret_cast<TopWindowSearch *>(argument);
    if (OurWindow(window) && (*search->matches)(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForTopWindow(const std::function<bool(HWND)> &matches, std::uint32_t timeoutMs) {
    const DWORD begin = GetTickCount();
    for (;;) {
        TopWindowSearch search{&matches, nullptr};
        EnumWindows(&MatchTopWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || GetTickCount() - begin > timeoutMs)
            return search.found;
        Sleep(20);
    }
}

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM argument) {
    auto *search = reinterpret_cast<ChildSearch *>(argument);
    if (GetDlgCtrlID(child) == search->id) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM argument) {
    auto *text = reinterpret_cast<std::wstring *>(argument);
    if (_wcsicmp(ClassName(child).c_str(), L"Static") == 0) {
        const std::wstring line = WindowText(child);
        if (!line.empty())
            *text += (text->empty() ? L"" : L"\n") + line;
    }
    return TRUE;
}

void PutLittle(std::vector<std::uint8_t> &out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

} // namespace

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    // WM_GETTEXT reaches controls of other threads; GetWindowText would not.
    SendMessageW(window, WM_GETTEXT, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

HWND FindDescendant(HWND root, int id) {
    ChildSearch search{id, nullptr};
    EnumChildWindows(root, &MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindowWithControl(int controlId, std::uint32_t timeoutMs, const wchar_t *title) {
    return WaitForTopWindow(
        [&](HWND window) {
            return FindDescendant(window, controlId) != nullptr && (title == nullptr || WindowText(window) == title);
        },
        timeoutMs);
}

HWND WaitForMessageBox(const wchar_t *caption, std::uint32_t timeoutMs) {
    return WaitForTopWindow(
        [&](HWND window) { return ClassName(window) == L"#32770" && WindowText(window) == caption; }, timeoutMs);
}

std::wstring MessageBoxText(HWND box) {
    std::wstring text;
    EnumChildWindows(box, &CollectStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}

bool DismissMessageBox(HWND box, std::uint32_t timeoutMs) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    const DWORD begin = GetTickCount();
    while (IsWindow(box)) {
        if (GetTickCount() - begin > timeoutMs)
            return false;
        Sleep(10);
    }
    return true;
}

void Click(HWND button) {
    SendMessageW(button, BM_CLICK, 0, 0);
}

bool ClickExpectingMessageBox(HWND button, const wchar_t *caption, std::wstring &text, std::uint32_t timeoutMs) {
    // The box runs its own loop inside the command: the click must not wait
    // for the command, so it is sent without waiting.
    SendNotifyMessageW(button, BM_CLICK, 0, 0);
    HWND box = WaitForMessageBox(caption, timeoutMs);
    if (box == nullptr) {
        text = L"<no message box>";
        return false;
    }
    Sleep(100); // let the box finish drawing its text
    text = MessageBoxText(box);
    if (!DismissMessageBox(box)) {
        text += L" <not dismissed>";
        return false;
    }
    // The owner thread is back from the command once it answers a message again.
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(button, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &answer) != 0;
}

void SetText(HWND control, const wchar_t *text) {
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void Type(HWND control, const wchar_t *characters) {
    for (const wchar_t *c = characters; *c != L'\0'; ++c)
        SendMessageW(control, WM_CHAR, static_cast<WPARAM>(*c), 1);
}

bool IsChecked(HWND button) {
    return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// --- Screenshots -------------------------------------------------------------------------------------

bool CaptureWindow(HWND window, Screenshot &shot) {
    RECT area{};
    if (!GetWindowRect(window, &area))
        return false;
    shot.width = area.right - area.left;
    shot.height = area.bottom - area.top;
    if (shot.width <= 0 || shot.height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, shot.width, shot.height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, shot.width, shot.height, screen, area.left, area.top, SRCCOPY) != FALSE;
    SelectObject(memory, previous);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = shot.width;
    info.bmiHeader.biHeight = -shot.height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const std::size_t stride = (std::size_t(shot.width) * 3u + 3u) & ~std::size_t(3);
    std::vector<std::uint8_t> rows(stride * std::size_t(shot.height));
    const int lines = copied ? GetDIBits(memory, bitmap, 0, UINT(shot.height), rows.data(), &info, DIB_RGB_COLORS) : 0;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (lines != shot.height)
        return false;
    shot.pixels.clear();
    for (int row = 0; row < shot.height; ++row) {
        const std::uint8_t *start = rows.data() + stride * std::size_t(row);
        shot.pixels.insert(shot.pixels.end(), start, start + std::size_t(shot.width) * 3u);
    }
    return true;
}

int Screenshot::DistinctColours(int limit) const {
    std::set<std::uint32_t> colours;
    for (std::size_t i = 0; i + 2 < pixels.size() && int(colours.size()) < limit; i += 3)
        colours.insert(std::uint32_t(pixels[i]) | std::uint32_t(pixels[i + 1]) << 8 |
                       std::uint32_t(pixels[i + 2]) << 16);
    return int(colours.size());
}

bool Screenshot::SaveBmp(const std::string &path) const {
    const std::uint32_t rowSize = (std::uint32_t(width) * 3u + 3u) & ~3u;
    std::vector<std::uint8_t> file;
    file.push_back('B');
    file.push_back('M');
    PutLittle(file, 54u + rowSize * std::uint32_t(height), 4);
    PutLittle(file, 0, 4);
    PutLittle(file, 54, 4);
    PutLittle(file, 40, 4);
    PutLittle(file, std::uint32_t(width), 4);
    PutLittle(file, std::uint32_t(height), 4);
    PutLittle(file, 1, 2);
    PutLittle(file, 24, 2);
    for (int field = 0; field < 6; ++field)
        PutLittle(file, 0, 4);
    for (int row = height - 1; row >= 0; --row) { // bottom row first
        const std::uint8_t *start = pixels.data() + std::size_t(row) * std::size_t(width) * 3u;
        file.insert(file.end(), start, start + std::size_t(width) * 3u);
        file.resize(file.size() + (rowSize - std::uint32_t(width) * 3u), 0);
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(file.data()), static_cast<std::streamsize>(file.size()));
    return bool(out);
}
