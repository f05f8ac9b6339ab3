#include "tests/ui/dialog_robot.h"

#include <commctrl.h>
#include <objidl.h>
#include <gdiplus.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/system.h"
#include "platform/windows.h"

namespace robot {
namespace {

using namespace std::chrono_literals;

LPARAM PointOf(int x, int y) { return MAKELPARAM(x, y); }

POINT RowCentre(HWND list, int row) {
  RECT rect = {};
  rect.left = LVIR_LABEL;
  SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
  return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// Stops at the first visible dialog window and stores it in *param.
BOOL CALLBACK KeepVisibleDialog(HWND window, LPARAM param) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  if (std::wstring(name) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(param) = window;
  return FALSE;
}

// The PNG encoder of GDI+.
bool PngEncoder(CLSID& clsid) {
  UINT count = 0;
  UINT bytes = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
  std::vector<std::uint8_t> buffer(bytes);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(count, bytes, encoders) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (std::wstring(encoders[i].MimeType) == L"image/png") {
      clsid = encoders[i].Clsid;
      return true;
    }
  }
  return false;
}

bool WritePng(const std::filesystem::path& path, HBITMAP bitmap) {
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
  bool saved = false;
  CLSID png = {};
  if (PngEncoder(png)) {
    Gdiplus::Bitmap image(bitmap, nullptr);
    saved = image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
  }
  Gdiplus::GdiplusShutdown(token);
  return saved;
}

std::filesystem::path ArtifactsFolder() {
  const std::string exe = platform::ThisModulePath();  // <build>\bin\ui_tests.exe
  const std::string bin = platform::FolderOf(exe);
  const std::string build = platform::FolderOf(bin);
  const std::string folder = build + "\\artifacts";
  return std::filesystem::path(std::u8string(folder.begin(), folder.end()));
}

}  // namespace

std::string NoDisplayReason() {
  const auto display = platform::GetEnv("DISPLAY");
  if (!display || display->empty()) return "no X display (DISPLAY is unset): the dialogs need one, e.g. Xvfb";
  return "";
}

DialogThread::DialogThread(std::function<void()> show)
    : thread_([this, show = std::move(show)] {
        thread_id_ = GetCurrentThreadId();
        show();
        finished_ = true;
      }) {
  WaitUntil([this] { return thread_id_ != 0; });
}

DialogThread::~DialogThread() {
  while (!finished_) {
    if (HWND dialog = FindDialog()) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    std::this_thread::sleep_for(50ms);
  }
  thread_.join();
}

HWND DialogThread::FindDialog() const {
  HWND found = nullptr;
  EnumThreadWindows(thread_id_, &KeepVisibleDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND DialogThread::WaitForDialog() {
  HWND dialog = nullptr;
  WaitUntil([&] { return (dialog = FindDialog()) != nullptr || finished_; });
  return dialog;
}

bool DialogThread::WaitFinished() {
  return WaitUntil([this] { return finished_.load(); });
}

std::string WindowText(HWND window) {
  wchar_t text[1024] = {};
  SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return platform::Narrow(text);
}

Table Shown(HWND list) {
  const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  Table table(static_cast<size_t>(rows) + 1);
  for (int column = 0; column < columns; ++column) {
    wchar_t text[512] = {};
    HDITEMW head = {};
    head.mask = HDI_TEXT;
    head.pszText = text;
    head.cchTextMax = 512;
    SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&head));
    table[0].push_back(platform::Narrow(text));
    for (int row = 0; row < rows; ++row) {
      LVITEMW item = {};
      item.iSubItem = column;
      item.pszText = text;
      item.cchTextMax = 512;
      SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
      table[static_cast<size_t>(row) + 1].push_back(platform::Narrow(text));
    }
  }
  return table;
}

int RowImage(HWND list, int row) {
  LVITEMW item = {};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return item.iImage;
}

int SelectedRow(HWND list) {
  return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

HWND FocusOf(HWND dialog) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
  return info.hwndFocus ? info.hwndFocus : dialog;
}

void ClickRow(HWND list, int row) {
  const POINT at = RowCentre(list, row);
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, PointOf(at.x, at.y));
  PostMessageW(list, WM_LBUTTONUP, 0, PointOf(at.x, at.y));
}

void DoubleClickRow(HWND list, int row) {
  const POINT at = RowCentre(list, row);
  ClickRow(list, row);
  PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, PointOf(at.x, at.y));
  PostMessageW(list, WM_LBUTTONUP, 0, PointOf(at.x, at.y));
}

void ClickControl(HWND control) {
  RECT rect = {};
  GetClientRect(control, &rect);
  const LPARAM at = PointOf(rect.right / 2, rect.bottom / 2);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(control, WM_LBUTTONUP, 0, at);
}

void PressKey(HWND dialog, UINT virtual_key) {
  const HWND target = FocusOf(dialog);
  const UINT scan = MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
  PostMessageW(target, WM_KEYDOWN, virtual_key, 1 | (scan << 16));
  PostMessageW(target, WM_KEYUP, virtual_key, 1 | (scan << 16) | (3u << 30));
}

bool TypeKey(HWND dialog, WORD virtual_key) {
  SetForegroundWindow(dialog);
  if (!WaitUntil([&] { return GetForegroundWindow() == dialog; })) return false;
  INPUT keys[2] = {};
  for (auto& key : keys) {
    key.type = INPUT_KEYBOARD;
    key.ki.wVk = virtual_key;
  }
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  return SendInput(2, keys, sizeof(INPUT)) == 2;
}

std::string SaveScreenshot(HWND window, const std::string& name) {
  SetForegroundWindow(window);  // shown active, as the user sees it
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  SendMessageW(window, WM_NULL, 0, 0);  // the dialog's thread has painted
  std::this_thread::sleep_for(300ms);   // and the X server has shown it
  RECT rect = {};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  std::error_code error;
  const auto folder = ArtifactsFolder();
  std::filesystem::create_directories(folder, error);
  const auto path = folder / (name + ".png");
  const bool saved = WritePng(path, bitmap);
  DeleteObject(bitmap);
  if (!saved) return "";
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

}  // namespace robot
