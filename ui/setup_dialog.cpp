#include "ui/setup_dialog.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <atomic>

#include "driver/ni_daqmx_task.h"
#include "niadc_version.h"
#include "platform/system.h"
#include "platform/windows.h"
#include "ui/resource.h"
#include "ui/win_ui.h"

namespace ui {
namespace {

// The Help button's request, posted so that the click returns first.
constexpr UINT kOpenHelp = WM_APP + 1;

const std::vector<win::Column> kChannelColumns = {
    {L"N", "N", 28},
    {L"Channel", "Name", 76},
    {L"Range", "Range", 76},
    {L"Physical Channel", "Physical", 120},
};

const std::vector<win::Column> kDeviceColumns = {
    {L"Device", "Device", 100},
    {L"Type", "Type", 100},
    {L"Seral N", "SerialN", 100},
};

// HTML Help lives in hhctrl.ocx, loaded from the system folder on first use
// and kept: its viewer window outlives the dialog.
void OpenHtmlHelp(void* owner, const std::string& help_file, unsigned context) {
  using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
  static const auto html_help = [] {
    static std::string error;
    static const std::unique_ptr<platform::SharedLibrary> library = platform::LoadSystemLibrary("hhctrl.ocx", error);
    return library ? reinterpret_cast<HtmlHelpFn>(library->Symbol("HtmlHelpW")) : nullptr;
  }();
  constexpr UINT kHelpContext = 0x000F;  // HH_HELP_CONTEXT
  if (html_help) html_help(static_cast<HWND>(owner), platform::Widen(help_file).c_str(), kHelpContext, context);
}

void OpenWithShell(void* owner, const std::string& address, int show) {
  ShellExecuteW(static_cast<HWND>(owner), L"open", platform::Widen(address).c_str(), nullptr, nullptr, show);
}

std::atomic<HelpOpener> g_help_opener{nullptr};
std::atomic<WebOpener> g_web_opener{nullptr};

class dlgSetup {
 public:
  explicit dlgSetup(const driver::SetupView& view) : view_(view) {}

  void Show() {
    win::VisualStyles styles;
    DialogBoxParamW(win::ThisModule(), MAKEINTRESOURCEW(IDD_SETUP), nullptr, &Proc, reinterpret_cast<LPARAM>(this));
  }

 private:
  static INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    auto* self = reinterpret_cast<dlgSetup*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) return FALSE;
    self->dialog_ = dialog;
    return self->Handle(message, wparam, lparam);
  }

  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
      case WM_INITDIALOG:
        Form_Load();
        return TRUE;
      case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE) win::BringToFront(dialog_);
        return FALSE;
      case WM_COMMAND:
        return OnCommand(LOWORD(wparam), HIWORD(wparam));
      case WM_NOTIFY:
        OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
        return FALSE;
      case WM_HELP:
      case kOpenHelp:
        OpenHelp();
        return TRUE;
      case WM_SETCURSOR:
        return OnSetCursor(reinterpret_cast<HWND>(wparam));
      case WM_DESTROY:
        Form_Unload();
        return FALSE;
      default:
        return FALSE;
    }
  }

  HWND Item(int id) const { return GetDlgItem(dialog_, id); }

  void Form_Load() {
    win::SetWindowIcons(dialog_);
    SetWindowTextW(dialog_, platform::Widen(Caption()).c_str());
    const UINT tab_stop = 36;  // dialog units: clears "Channels:"
    SendMessageW(Item(IDC_TXT_INFO), EM_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&tab_stop));
    SetWindowTextW(Item(IDC_TXT_INFO), platform::Widen(InfoText()).c_str());
    font_ = win::CreateListFont(dialog_);
    for (int id : {IDC_LV_CHANNELS, IDC_LV_DEVICES}) {
      SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
      ListView_SetExtendedListViewStyle(Item(id), LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER |
                                                      LVS_EX_LABELTIP);
    }
    FillChannelList();
    FillDeviceList();
    SetUpLogo();
    if (view_.help_file.size() > 4) {
      EnableWindow(Item(IDHELP), TRUE);
      SetWindowContextHelpId(dialog_, IDH_SETUP);
    }
  }

  void Form_Unload() {
    for (int id : {IDC_LV_CHANNELS, IDC_LV_DEVICES}) SendMessageW(Item(id), WM_SETFONT, 0, FALSE);
    DeleteObject(font_);
  }

  std::string Caption() const {
    return view_.instance_name + " Setup v" + NIADC_VERSION_TEXT + " (DAQmx v" + std::to_string(view_.daqmx_major) +
           "." + std::to_string(view_.daqmx_minor) + ")";
  }

  std::string InfoText() const {
    return "Task:\t" + view_.task_name + "\r\nChannels:\t" + std::to_string(view_.channels.size()) +
           "\r\nDevices:\t" + std::to_string(view_.devices.size());
  }

  void FillChannelList() {
    const HWND list = Item(IDC_LV_CHANNELS);
    win::SetColumns(list, kChannelColumns);
    for (size_t i = 0; i < view_.channels.size(); ++i) {
      const auto& channel = view_.channels[i];
      win::AddRow(list, {std::to_string(i + 1), channel.name, channel.range, channel.physical});
    }
  }

  void FillDeviceList() {
    const HWND list = Item(IDC_LV_DEVICES);
    win::SetColumns(list, kDeviceColumns);
    for (const auto& device : view_.devices) win::AddRow(list, {device.name, device.product_type, device.serial_number});
  }

  void SetUpLogo() {
    const HWND logo = Item(IDC_IMG_LOGO);
    const auto bitmap = LoadImageW(win::ThisModule(), MAKEINTRESOURCEW(IDB_NIADC_LOGO), IMAGE_BITMAP, 0, 0, LR_SHARED);
    SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    link_cursor_ = static_cast<HCURSOR>(
        LoadImageW(win::ThisModule(), MAKEINTRESOURCEW(IDC_NIADC_LINK), IMAGE_CURSOR, 32, 32, LR_SHARED));
    // The tool tip is owned by the dialog and goes with it.
    const HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog_, nullptr,
                                     win::ThisModule(), nullptr);
    static wchar_t text[] = L"\"National Instruments\" on the Web";
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog_;
    tool.uId = reinterpret_cast<UINT_PTR>(logo);
    tool.lpszText = text;
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }

  INT_PTR OnCommand(int id, int code) {
    if (id == IDCANCEL) EndDialog(dialog_, IDCANCEL);  // Close, Esc, the close box
    if (id == IDHELP) PostMessageW(dialog_, kOpenHelp, 0, 0);
    if (id == IDC_IMG_LOGO && code == STN_CLICKED) imgLogo_Click();
    return TRUE;
  }

  void OnNotify(const NMHDR& header) {
    if (header.idFrom != IDC_LV_CHANNELS) return;
    if (header.code == NM_CLICK) {
      const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
      if (click.iItem >= 0) lvChannels_ItemClick(click.iItem);
    }
    if (header.code == LVN_ITEMCHANGED) {  // the keyboard moves the selection too
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if ((change.uNewState & LVIS_SELECTED) && !(change.uOldState & LVIS_SELECTED)) lvChannels_ItemClick(change.iItem);
    }
  }

  // Selects the device whose name followed by "/" occurs in the channel's
  // physical channel; the "/" keeps Dev1 from matching Dev10/ai0.
  void lvChannels_ItemClick(int row) {
    const std::string physical =
        win::CellText(Item(IDC_LV_CHANNELS), row, win::ColumnIndex(kChannelColumns, "Physical"));
    const HWND devices = Item(IDC_LV_DEVICES);
    for (int i = 0; i < win::RowCount(devices); ++i) {
      if (physical.find(win::CellText(devices, i, 0) + "/") != std::string::npos) {
        win::SelectRow(devices, i);
        return;
      }
    }
  }

  void OpenHelp() {
    if (view_.help_file.size() <= 4) return;
    const HelpOpener opener = g_help_opener.load();
    (opener ? opener : OpenHtmlHelp)(dialog_, view_.help_file, IDH_SETUP);
  }

  void imgLogo_Click() {
    const WebOpener opener = g_web_opener.load();
    (opener ? opener : OpenWithShell)(dialog_, kVendorSite, SW_SHOW);
  }

  INT_PTR OnSetCursor(HWND over) {
    if (over != Item(IDC_IMG_LOGO) || link_cursor_ == nullptr) return FALSE;
    SetCursor(link_cursor_);
    SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, TRUE);
    return TRUE;
  }

  const driver::SetupView& view_;
  HWND dialog_ = nullptr;
  HFONT font_ = nullptr;
  HCURSOR link_cursor_ = nullptr;
};

}  // namespace

void ShowSetupDialog(const driver::SetupView& view) {
  dlgSetup dialog(view);
  dialog.Show();
}

void SetHelpOpener(HelpOpener opener) { g_help_opener.store(opener); }
void SetWebOpener(WebOpener opener) { g_web_opener.store(opener); }

}  // namespace ui
