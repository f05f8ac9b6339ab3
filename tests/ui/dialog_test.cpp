// The dialogs as the user meets them. Clicks (posted) are handled in order, before keys typed after them.
#include <gmock/gmock.h>

#include "driver/state.h"
#include "niadc_version.h"
#include "tests/support/driver_detected.h"
#include "tests/ui/dialog_robot.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "ui/setup_dialog.h"
#include "ui/task_dialog.h"

namespace {

using driver::NI_DAQmx_Task;
using robot::Table;

const std::vector<daqmx::TaskListEntry> kThree = {
    {"Vibration", "4 AI", "Dev1", 0}, {"Thermal", "2 AI", "Dev2", 2}, {"Bench", "8 AI", "Dev1, Dev2", 5}};

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_LV_TASKS); }

// Shows the first `count` tasks, clicks `row` (none when -1), then lets `close` close the dialog.
std::int16_t Choose(int row, const std::function<void(HWND)>& close, int count = 3) {
  const std::vector<daqmx::TaskListEntry> tasks(kThree.begin(), kThree.begin() + count);
  std::int16_t result = 99;
  robot::Run([&] { result = ui::SelectDevice(tasks); },
             [&](HWND dialog) {
               EXPECT_EQ(ui::win::RowCount(List(dialog)), count);
               if (row >= 0) robot::Click(List(dialog), row);
               close(dialog);
             });
  return result;
}

TEST(TaskDialog, EachWayOfClosingReturnsItsChoice) {
  const auto press = [](int id) { return [id](HWND dialog) { robot::Click(GetDlgItem(dialog, id)); }; };
  const auto type = [](BYTE key) { return [key](HWND dialog) { robot::TypeKey(dialog, key); }; };
  const struct {
    const char* how;
    int row;
    std::function<void(HWND)> close;
    std::int16_t result;
  } cases[] = {
      {"OK", 2, press(IDOK), 2},
      {"OK without a selection", -1, press(IDOK), -1},
      {"Enter", 1, type(VK_RETURN), 1},
      {"Cancel", 1, press(IDCANCEL), -1},
      {"Esc in the list", 0, type(VK_ESCAPE), -1},
      {"the close box", 1, [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }, -1},
      {"a double-click only selects", 1, [&](HWND dialog) {
         robot::Click(List(dialog), 1, WM_LBUTTONDBLCLK);
         robot::Click(List(dialog), 0);
         press(IDOK)(dialog);
       }, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    EXPECT_EQ(Choose(c.row, c.close, c.row == 2 ? 3 : 2), c.result);  // each call shows its own list
  }
}

// Activates the dialog over another program's window, which then comes to the top itself.
void ExpectInFrontYetNotTopmost(HWND dialog) {
  const HWND other = CreateWindowExW(0, L"STATIC", L"another program", WS_POPUP | WS_VISIBLE, 0, 0, 99, 99,
                                     nullptr, nullptr, nullptr, nullptr);
  SendMessageW(dialog, WM_ACTIVATE, WA_ACTIVE, 0);
  EXPECT_EQ(GetWindow(other, GW_HWNDPREV), dialog) << "the dialog is not in front";
  SetWindowPos(other, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(GetWindow(dialog, GW_HWNDPREV), other) << "the dialog stays topmost";
  DestroyWindow(other);
}

TEST(TaskDialog, ComesToTheFrontWithoutStayingTopmost) {
  Choose(-1, [](HWND dialog) {
    ExpectInFrontYetNotTopmost(dialog);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
}

TEST(TaskDialog, ASingleTaskIsChosenWithoutAWindow) {
  std::int16_t result = 99;
  robot::Run([&] { result = ui::SelectDevice({kThree[0]}); }, nullptr);
  EXPECT_EQ(result, 0);
}

TEST(TaskDialog, TheDriverAsksThroughItWhenSeveralTasksQualify) {
  testsupport::ScopedEnv no_preset("NIADC_TASK", std::nullopt);
  ui::InstallDialogs();
  const auto ini = testsupport::SimIni()
                       .Task("First").Channel("ai0", "Dev1/ai0")
                       .Task("Second").Channel("ai1", "Dev1/ai1").Channel("ai2", "Dev1/ai2")
                       .Task("Output").Channel("ao0", "Dev1/ao0", "ChanType = Analog Output")
                       .Task("Third").Channel("ai0", "Dev2/ai0");
  std::string task;
  const auto detect = [&] {
    testsupport::WithDetected(ini, [&](NI_DAQmx_Task& adc) { task = adc.State().model.mTaskName; });
  };
  robot::Run(detect, [](HWND dialog) {
    EXPECT_EQ(robot::Shown(List(dialog)), (Table{{"Task", "Channels", "Devices"}, {"First", "1 AI", "Dev1"},
                                                 {"Second", "2 AI", "Dev1"}, {"Third", "1 AI", "Dev2"}}));
    robot::Click(List(dialog), 1);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return ui::win::SelectedRow(List(dialog)) == 1; }));
    EXPECT_TRUE(robot::SaveScreenshot(dialog, "task_dialog"));
    robot::Click(GetDlgItem(dialog, IDOK));
  });
  EXPECT_EQ(task, "Second");
}

// What the setup window asked to open; read once its thread has ended.
std::vector<std::string> g_opened;

void Opened(const std::string& what, long number) { g_opened.push_back(what + " " + std::to_string(number)); }
void ForgetHelpFile(NI_DAQmx_Task&) { driver::ThisThreadState()->mHelpFile.clear(); }

// Opens the setup window of a driver that detected a task with three channels on two
// devices whose names are prefixes of each other; `before` runs first.
void ShowSetting(const std::function<void(NI_DAQmx_Task&)>& before, const std::function<void(HWND)>& user) {
  ui::InstallDialogs();
  ui::SetHelpOpener([](void*, const std::string& file, unsigned page) { Opened(file, page); });
  ui::SetWebOpener([](void*, const std::string& site, int show) { Opened(site, show); });
  g_opened.clear();
  const auto ini = testsupport::SimIni()
                       .Task("Mixed").Channel("volts", "Dev1/ai0").Channel("level", "Dev10/ai0", "AI.Min = 0")
                       .Channel("amps", "Dev1/ai1").Device("Dev1", "PCIe-6363", "DevSerialNum = 0x1A2B3C")
                       .Device("Dev10", "USB-6210", "Sim.AIChannels = 16");
  robot::Run([&] {
    testsupport::WithDetected(ini, [&](NI_DAQmx_Task& adc) {
      if (before) before(adc);
      EXPECT_FALSE(adc.ShowSetting());
    });
  }, user);
}

TEST(SetupDialog, ShowsTheTaskItsChannelsAndDevicesAndSelectsTheDeviceOfAClickedChannel) {
  ShowSetting(nullptr, [](HWND dialog) {
    const std::string caption = std::string("NI-DAQmx-Task Setup v") + NIADC_VERSION_TEXT + " (DAQmx v21.3)";
    EXPECT_EQ(robot::WindowText(dialog), caption);
    EXPECT_EQ(robot::WindowText(GetDlgItem(dialog, IDC_TXT_INFO)), "Task:\tMixed\r\nChannels:\t3\r\nDevices:\t2");
    EXPECT_EQ(robot::Shown(GetDlgItem(dialog, IDC_LV_CHANNELS)),
              (Table{{"N", "Channel", "Range", "Physical Channel"},
                     {"1", "volts", "\xC2\xB1" "10 V", "Dev1/ai0"}, {"2", "level", "0...10 V", "Dev10/ai0"},
                     {"3", "amps", "\xC2\xB1" "10 V", "Dev1/ai1"}}));
    const HWND devices = GetDlgItem(dialog, IDC_LV_DEVICES);
    EXPECT_EQ(robot::Shown(devices),
              (Table{{"Device", "Type", "Seral N"}, {"Dev1", "PCIe-6363", "1A2B3C"}, {"Dev10", "USB-6210", "0"}}));
    ExpectInFrontYetNotTopmost(dialog);
    EXPECT_TRUE(robot::SaveScreenshot(dialog, "setup_dialog"));
    for (const int row : {1, 0}) {  // Dev10/ai0 holds "Dev1" but not "Dev1/"
      robot::Click(GetDlgItem(dialog, IDC_LV_CHANNELS), row);
      EXPECT_TRUE(testsupport::WaitUntil([&] { return ui::win::SelectedRow(devices) == row; })) << row;
    }
    EXPECT_TRUE(robot::SaveScreenshot(dialog, "setup_dialog_channel_click"));
    robot::Click(GetDlgItem(dialog, IDCANCEL));
  });
}

// Help and F1 open NI.chm beside the driver at the setup page, the logo the vendor's site (shown
// normally); without a help file Help is disabled, F1 opens nothing and Close still works.
TEST(SetupDialog, HelpF1AndTheLogoOpenTheHelpPageAndTheVendorsSite) {
  const std::string page = platform::FolderOf(platform::ThisModulePath()) + "\\NI.chm 20";
  const std::string site = "https://www.ni.com/ " + std::to_string(SW_SHOW);
  for (const bool help_file : {true, false}) {
    SCOPED_TRACE(help_file ? "with a help file" : "without a help file");
    ShowSetting(help_file ? nullptr : &ForgetHelpFile, [&](HWND dialog) {
      EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, IDHELP)) != FALSE, help_file);
      EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
      EXPECT_TRUE(help_file || robot::SaveScreenshot(dialog, "setup_dialog_without_help"));
      robot::Click(GetDlgItem(dialog, IDHELP));
      robot::Click(GetDlgItem(dialog, IDC_IMG_LOGO));
      robot::TypeKey(dialog, VK_F1);
      robot::TypeKey(dialog, VK_ESCAPE);
    });
    const auto opened = help_file ? std::vector{page, page, site} : std::vector{site};
    EXPECT_THAT(g_opened, testing::UnorderedElementsAreArray(opened));
  }
}

TEST(SetupDialog, ShowsNothingWhileRecording) {
  ShowSetting([](NI_DAQmx_Task& adc) { ASSERT_TRUE(adc.StartRecord()); }, nullptr);
}

}  // namespace
