// Drives the driver's dialogs as a user would: a dialog runs modally on a thread of its own while
// the test thread finds it, reads its lists, clicks, types and saves screenshots for people to see.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>
#include <gtest/gtest.h>

#include <functional>
#include <future>

#include "platform/system.h"
#include "tests/support/wait.h"
#include "ui/win_ui.h"

namespace robot {

using Table = std::vector<std::vector<std::string>>;

inline HWND VisibleDialog() {
  HWND window = nullptr;
  DWORD process = 0;
  while ((window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
    GetWindowThreadProcessId(window, &process);
    if (IsWindowVisible(window) && process == GetCurrentProcessId()) return window;
  }
  return nullptr;
}

// Runs `show` on a thread of its own and hands the dialog it opens to `user`;
// without a `user`, expects no dialog at all. Fails when a dialog stays open.
inline void Run(const std::function<void()>& show, const std::function<void(HWND)>& user) {
  auto shown = std::async(std::launch::async, show);
  const auto finished = [&] { return shown.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
  HWND dialog = nullptr;
  testsupport::WaitUntil([&] { return (dialog = VisibleDialog()) != nullptr || finished(); });
  EXPECT_EQ(dialog != nullptr, user != nullptr) << (user ? "no dialog appeared" : "a dialog appeared");
  if (dialog != nullptr && user) user(dialog);
  EXPECT_TRUE(testsupport::WaitUntil(finished)) << "the dialog did not close";
  while (shown.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (HWND left = VisibleDialog()) PostMessageW(left, WM_COMMAND, IDCANCEL, 0);
  }
}

inline std::string WindowText(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return platform::Narrow(text);
}

// A list view as the user reads it: the column headers, then each row.
inline Table Shown(HWND list) {
  const HWND header = ListView_GetHeader(list);
  const int rows = ui::win::RowCount(list);
  Table table(static_cast<size_t>(rows) + 1);
  for (int column = 0; column < Header_GetItemCount(header); ++column) {
    wchar_t text[64] = {};
    HDITEMW item = {};
    item.mask = HDI_TEXT;
    item.pszText = text;
    item.cchTextMax = 64;
    Header_GetItem(header, column, &item);
    table[0].push_back(platform::Narrow(text));
    for (int row = 0; row < rows; ++row) table[row + 1].push_back(ui::win::CellText(list, row, column));
  }
  return table;
}

// A mouse click as the mouse sends it: at a list's row, or (row -1) at the control's centre.
inline void Click(HWND window, int row = -1, UINT button_down = WM_LBUTTONDOWN) {
  RECT rect = {};
  if (row >= 0) ListView_GetItemRect(window, row, &rect, LVIR_LABEL);
  if (row < 0) GetClientRect(window, &rect);
  const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  PostMessageW(window, button_down, MK_LBUTTON, at);
  PostMessageW(window, WM_LBUTTONUP, 0, at);
}

// A key press as the keyboard sends it, to the dialog brought to the front.
inline void TypeKey(HWND dialog, BYTE virtual_key) {
  SetForegroundWindow(dialog);
  EXPECT_TRUE(testsupport::WaitUntil([&] { return GetForegroundWindow() == dialog; })) << "not in front";
  keybd_event(virtual_key, 0, 0, 0);
  keybd_event(virtual_key, 0, KEYEVENTF_KEYUP, 0);
}

// Saves what the screen shows of the window as <build>/artifacts/<name>.png.
inline bool SaveScreenshot(HWND window, const std::string& name) {
  SetForegroundWindow(window);  // shown active, as the user sees it
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  SendMessageW(window, WM_NULL, 0, 0);  // the dialog's thread has painted
  Sleep(300);                           // and the X server has shown it
  RECT rect = {};
  GetWindowRect(window, &rect);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, rect.right - rect.left, rect.bottom - rect.top);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, rect.right - rect.left, rect.bottom - rect.top, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  const std::string folder = platform::FolderOf(platform::FolderOf(platform::ThisModulePath())) + "\\artifacts";
  CreateDirectoryW(platform::Widen(folder).c_str(), nullptr);  // <build>\artifacts beside <build>\bin
  constexpr CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  const std::wstring file = platform::Widen(folder + "\\" + name + ".png");
  const bool saved = Gdiplus::Bitmap(bitmap, nullptr).Save(file.c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
  Gdiplus::GdiplusShutdown(token);
  DeleteObject(bitmap);
  return saved;
}

}  // namespace robot
