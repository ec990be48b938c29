// Window pictures through GDI and the search for the property frame.
#include "window_snapshot.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

struct DialogSearch {
    HWND except;
    HWND found;
};

BOOL CALLBACK MatchDialog(HWND candidate, LPARAM argument) {
    auto *search = reinterpret_cast<DialogSearch *>(argument);
    DWORD process = 0;
    GetWindowThreadProcessId(candidate, &process);
    wchar_t className[16] = {};
    GetClassNameW(candidate, className, 16);
    if (candidate != search->except && process == GetCurrentProcessId() && IsWindowVisible(candidate) &&
        std::wstring(className) == L"#32770") {
        search->found = candidate;
        return FALSE;
    }
    return TRUE;
}

void PutLittle(std::vector<std::uint8_t> &out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

} // namespace

bool SaveWindowPicture(HWND window, const std::wstring &path) {
    RECT area{};
    if (!GetWindowRect(window, &area))
        return false;
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != FALSE;
    SelectObject(memory, previous);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as the file stores it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
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
    const std::size_t header = file.size();
    file.resize(header + std::size_t(rowSize) * std::size_t(height));
    const int lines =
        copied ? GetDIBits(memory, bitmap, 0, UINT(height), file.data() + header, &info, DIB_RGB_COLORS) : 0;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (lines != height)
        return false;
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char *>(file.data()), static_cast<std::streamsize>(file.size()));
    return bool(out);
}

HWND WaitForDialogWindow(HWND except, DWORD timeoutMs) {
    const DWORD begin = GetTickCount();
    for (;;) {
        DialogSearch search{except, nullptr};
        EnumWindows(&MatchDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr || GetTickCount() - begin > timeoutMs)
            return search.found;
        Sleep(50);
    }
}
