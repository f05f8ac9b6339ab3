#include "ui/task_dialog.h"

#include <windows.h>
#include <commctrl.h>

#include "ui/resource.h"
#include "ui/win_ui.h"

namespace ui {

namespace {

const std::vector<win::Column> kTaskColumns = {
    {L"Task", "Task", 140},
    {L"Channels", "Channels", 70},
    {L"Devices", "Devices", 112},
};

}  // namespace

struct dlgTaskEnum::Events {
  static void Form_Load(HWND dialog, dlgTaskEnum& self) {
    win::SetWindowIcons(dialog);
    // Out of sight, yet still the dialog's cancel button: Esc presses it.
    const HWND cancel = GetDlgItem(dialog, IDCANCEL);
    RECT client = {};
    RECT button = {};
    GetClientRect(dialog, &client);
    GetWindowRect(cancel, &button);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&button), 2);
    SetWindowPos(cancel, nullptr, client.right, button.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    const HWND list = GetDlgItem(dialog, IDC_LV_TASKS);
    SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(win::CreateListFont(dialog)), FALSE);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 1, 0);
    ImageList_AddIcon(images, static_cast<HICON>(LoadImageW(win::ThisModule(), MAKEINTRESOURCEW(IDI_NIADC_TASK),
                                                            IMAGE_ICON, 16, 16, LR_SHARED)));
    ListView_SetImageList(list, images, LVSIL_SMALL);  // the list view destroys it
    win::SetColumns(list, kTaskColumns);
    FillTaskList(list, self);
  }

  static void FillTaskList(HWND list, const dlgTaskEnum& self) {
    ListView_DeleteAllItems(list);
    for (const auto& task : *self.mTaskList) {
      win::AddRow(list, {task.EntryName, task.ChannelSummary, task.DeviceText}, 0);
    }
  }

  static void cmdDialog_Click(HWND dialog, dlgTaskEnum& self) {
    self.mSelectedIndex = static_cast<std::int16_t>(win::SelectedRow(GetDlgItem(dialog, IDC_LV_TASKS)));
    EndDialog(dialog, IDOK);
  }

  static void Form_Destroy(HWND dialog) {
    const HWND list = GetDlgItem(dialog, IDC_LV_TASKS);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
    SendMessageW(list, WM_SETFONT, 0, FALSE);
    DeleteObject(font);
  }

  static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    auto* self = reinterpret_cast<dlgTaskEnum*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
      case WM_INITDIALOG:
        Form_Load(dialog, *self);
        return TRUE;
      case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE) win::BringToFront(dialog);
        return FALSE;
      case WM_COMMAND:
        if (LOWORD(wparam) == IDOK) cmdDialog_Click(dialog, *self);
        if (LOWORD(wparam) == IDCANCEL) EndDialog(dialog, IDCANCEL);  // Esc, the close box
        return TRUE;
      case WM_DESTROY:
        Form_Destroy(dialog);
        return FALSE;
      default:
        return FALSE;
    }
  }
};

std::int16_t dlgTaskEnum::SelectDevice(const std::vector<daqmx::TaskListEntry>& tasks) {
  if (tasks.size() == 1) {
    mSelectedIndex = 0;
    return 0;
  }
  mSelectedIndex = -1;
  mTaskList = &tasks;
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  {
    win::VisualStyles styles;
    DialogBoxParamW(win::ThisModule(), MAKEINTRESOURCEW(IDD_TASK_ENUM), nullptr, &Events::Proc,
                    reinterpret_cast<LPARAM>(this));
  }
  mTaskList = nullptr;
  return mSelectedIndex;
}

std::int16_t SelectDevice(const std::vector<daqmx::TaskListEntry>& tasks) {
  static dlgTaskEnum instance;
  return instance.SelectDevice(tasks);
}

std::string GetDeviceIcon(const std::string& device_type) {
  if (device_type == "USB" || device_type == "COM") return device_type;
  return "PCI";
}

}  // namespace ui
