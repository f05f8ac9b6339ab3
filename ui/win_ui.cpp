#include "ui/win_ui.h"

#include <commctrl.h>

#include "platform/system.h"
#include "ui/resource.h"

namespace ui::win {
namespace {

HANDLE CreateModuleActivationContext() {
  const std::wstring path = platform::Widen(platform::ThisModulePath());
  ACTCTXW context = {};
  context.cbSize = sizeof(context);
  context.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.hModule = ThisModule();
  context.lpSource = path.c_str();
  context.lpResourceName = MAKEINTRESOURCEW(IDR_NIADC_MANIFEST);
  return CreateActCtxW(&context);
}

// One context for the life of the module; it is never released because the
// host may show the dialogs at any time until it unloads the driver.
HANDLE ModuleActivationContext() {
  static const HANDLE context = CreateModuleActivationContext();
  return context;
}

}  // namespace

VisualStyles::VisualStyles() {
  const HANDLE context = ModuleActivationContext();
  if (context != INVALID_HANDLE_VALUE) active_ = ActivateActCtx(context, &cookie_) != FALSE;
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
}

VisualStyles::~VisualStyles() {
  if (active_) DeactivateActCtx(0, cookie_);
}

void BringToFront(HWND window) {
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void SetWindowIcons(HWND window) {
  const auto load = [](int metric_x, int metric_y) {
    return static_cast<HICON>(LoadImageW(ThisModule(), MAKEINTRESOURCEW(IDI_NIADC_APP), IMAGE_ICON,
                                         GetSystemMetrics(metric_x), GetSystemMetrics(metric_y), LR_SHARED));
  };
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(load(SM_CXICON, SM_CYICON)));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(load(SM_CXSMICON, SM_CYSMICON)));
}

HFONT CreateListFont(HWND window) {
  HDC dc = GetDC(window);
  const int height = -MulDiv(825, GetDeviceCaps(dc, LOGPIXELSY), 7200);  // 8.25 pt
  ReleaseDC(window, dc);
  return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Verdana");
}

int ColumnIndex(const std::vector<Column>& columns, const char* key) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (std::string(columns[i].key) == key) return static_cast<int>(i);
  }
  return -1;
}

void SetColumns(HWND list, const std::vector<Column>& columns) {
  ListView_DeleteAllItems(list);
  while (ListView_DeleteColumn(list, 0)) {
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(columns[i].header);
    column.cx = columns[i].width;
    column.iSubItem = static_cast<int>(i);
    SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
}

int AddRow(HWND list, const std::vector<std::string>& cells, int image) {
  if (cells.empty()) return -1;
  std::wstring text = platform::Widen(cells[0]);
  LVITEMW item = {};
  item.mask = LVIF_TEXT | (image >= 0 ? LVIF_IMAGE : 0);
  item.iItem = RowCount(list);
  item.pszText = text.data();
  item.iImage = image;
  const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  for (size_t i = 1; row >= 0 && i < cells.size(); ++i) {
    text = platform::Widen(cells[i]);
    LVITEMW sub = {};
    sub.iSubItem = static_cast<int>(i);
    sub.pszText = text.data();
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&sub));
  }
  return row;
}

std::string CellText(HWND list, int row, int column) {
  wchar_t buffer[512] = {};
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = buffer;
  item.cchTextMax = static_cast<int>(std::size(buffer));
  SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return platform::Narrow(buffer);
}

int RowCount(HWND list) { return ListView_GetItemCount(list); }

int SelectedRow(HWND list) { return ListView_GetNextItem(list, -1, LVNI_SELECTED); }

void SelectRow(HWND list, int row) {
  ListView_SetItemState(list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_EnsureVisible(list, row, FALSE);
}

}  // namespace ui::win
