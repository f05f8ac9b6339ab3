// The task selection dialog as the user meets it: which rows it shows, and
// what OK, Enter, Esc, the close box and double-clicks return; and the
// driver asking through it when several saved tasks qualify.
#include <gtest/gtest.h>

#include "driver/ni_daqmx_task.h"
#include "driver/state.h"
#include "tests/driver/ini.h"
#include "tests/support/sim_env.h"
#include "tests/ui/dialog_robot.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "ui/task_dialog.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::vector<daqmx::TaskListEntry> ThreeTasks() {
  return {{"Vibration", "4 AI", "Dev1", 0}, {"Thermal", "2 AI", "cDAQ1Mod2", 2}, {"Bench", "8 AI", "Dev1, Dev2", 5}};
}

class TaskDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string reason = robot::NoDisplayReason(); !reason.empty()) GTEST_SKIP() << reason;
  }

  // Shows the dialog for `tasks` on its own thread; `answer` plays the user.
  std::int16_t Choose(const std::vector<daqmx::TaskListEntry>& tasks, const std::function<void(HWND)>& answer) {
    std::int16_t result = 99;
    {
      robot::DialogThread thread([&] { result = ui::SelectDevice(tasks); });
      const HWND dialog = thread.WaitForDialog();
      EXPECT_NE(dialog, nullptr) << "no dialog appeared";
      if (dialog != nullptr) answer(dialog);
      EXPECT_TRUE(thread.WaitFinished()) << "the dialog did not close";
    }
    return result;
  }

  static HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_LV_TASKS); }
};

TEST_F(TaskDialog, ShowsOneRowPerTaskInListOrderAndOkReturnsTheChosenRow) {
  const auto result = Choose(ThreeTasks(), [](HWND dialog) {
    EXPECT_EQ(robot::WindowText(dialog), "Select NI-DAQmx Task");
    const HWND list = List(dialog);
    EXPECT_EQ(robot::Headers(list), (std::vector<std::string>{"Task", "Channels", "Devices"}));
    EXPECT_EQ(robot::ColumnWidths(list), (std::vector<int>{140, 70, 112}));
    EXPECT_EQ(robot::Rows(list), (Rows{{"Vibration", "4 AI", "Dev1"},
                                       {"Thermal", "2 AI", "cDAQ1Mod2"},
                                       {"Bench", "8 AI", "Dev1, Dev2"}}));
    for (int row = 0; row < 3; ++row) EXPECT_EQ(robot::RowImage(list, row), 0) << "row " << row;
    EXPECT_EQ(robot::SelectedRow(list), -1);
    EXPECT_FALSE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);

    robot::ClickRow(list, 2);
    EXPECT_TRUE(robot::WaitUntil([&] { return robot::SelectedRow(list) == 2; }));
    EXPECT_FALSE(robot::SaveScreenshot(dialog, "task_dialog").empty());
    robot::ClickControl(GetDlgItem(dialog, IDOK));
  });
  EXPECT_EQ(result, 2);
}

TEST_F(TaskDialog, EnterAcceptsTheSelectedRow) {
  const auto result = Choose(ThreeTasks(), [](HWND dialog) {
    robot::ClickRow(List(dialog), 1);
    EXPECT_TRUE(robot::WaitUntil([&] { return robot::SelectedRow(List(dialog)) == 1; }));
    robot::PressKey(dialog, VK_RETURN);
  });
  EXPECT_EQ(result, 1);
}

TEST_F(TaskDialog, EscapeInTheListChoosesNothing) {
  const auto result = Choose(ThreeTasks(), [](HWND dialog) {
    robot::ClickRow(List(dialog), 0);
    EXPECT_TRUE(robot::WaitUntil([&] { return robot::FocusOf(dialog) == List(dialog); }));
    robot::PressKey(dialog, VK_ESCAPE);
  });
  EXPECT_EQ(result, -1);
}

TEST_F(TaskDialog, TheCloseBoxChoosesNothingEvenWithARowSelected) {
  const auto result = Choose(ThreeTasks(), [](HWND dialog) {
    robot::ClickRow(List(dialog), 1);
    EXPECT_TRUE(robot::WaitUntil([&] { return robot::SelectedRow(List(dialog)) == 1; }));
    robot::PressCloseBox(dialog);
  });
  EXPECT_EQ(result, -1);
}

TEST_F(TaskDialog, OkWithoutASelectionChoosesNothing) {
  const auto result = Choose(ThreeTasks(), [](HWND dialog) { robot::ClickControl(GetDlgItem(dialog, IDOK)); });
  EXPECT_EQ(result, -1);
}

TEST_F(TaskDialog, DoubleClickOnlySelects) {
  const auto result = Choose(ThreeTasks(), [](HWND dialog) {
    const HWND list = List(dialog);
    robot::DoubleClickRow(list, 1);
    EXPECT_TRUE(robot::WaitUntil([&] { return robot::SelectedRow(list) == 1; }));
    // Messages arrive in order: once the next click has moved the selection,
    // the double-click was handled and the window is still open.
    robot::ClickRow(list, 0);
    EXPECT_TRUE(robot::WaitUntil([&] { return robot::SelectedRow(list) == 0; }));
    EXPECT_TRUE(IsWindowVisible(dialog));
    robot::ClickControl(GetDlgItem(dialog, IDOK));
  });
  EXPECT_EQ(result, 0);
}

TEST_F(TaskDialog, EachCallShowsTheListAfresh) {
  Choose(ThreeTasks(), [](HWND dialog) { robot::PressKey(dialog, VK_ESCAPE); });
  const std::vector<daqmx::TaskListEntry> two = {{"Left", "1 AI", "Dev3", 1}, {"Right", "1 AI", "Dev4", 3}};
  Rows shown;
  const auto result = Choose(two, [&](HWND dialog) {
    shown = robot::Rows(List(dialog));
    robot::ClickRow(List(dialog), 1);
    EXPECT_TRUE(robot::WaitUntil([&] { return robot::SelectedRow(List(dialog)) == 1; }));
    robot::ClickControl(GetDlgItem(dialog, IDOK));
  });
  EXPECT_EQ(shown, (Rows{{"Left", "1 AI", "Dev3"}, {"Right", "1 AI", "Dev4"}}));
  EXPECT_EQ(result, 1);
}

TEST_F(TaskDialog, ComesInFrontOfOrdinaryWindowsWhenActivatedWithoutStayingTopmost) {
  Choose(ThreeTasks(), [](HWND dialog) {
    RECT rect = {};
    GetWindowRect(dialog, &rect);
    const HWND other = CreateWindowExW(0, L"STATIC", L"another program", WS_POPUP | WS_VISIBLE | WS_BORDER, rect.left,
                                       rect.top, 200, 100, nullptr, nullptr, nullptr, nullptr);
    SetWindowPos(other, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const auto above = [&](HWND upper, HWND lower) {
      for (HWND w = GetWindow(lower, GW_HWNDPREV); w != nullptr; w = GetWindow(w, GW_HWNDPREV)) {
        if (w == upper) return true;
      }
      return false;
    };
    EXPECT_TRUE(above(other, dialog));
    SendMessageW(dialog, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_TRUE(above(dialog, other));
    EXPECT_FALSE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST);
    DestroyWindow(other);
    robot::PressKey(dialog, VK_ESCAPE);
  });
}

TEST(TaskChoice, ASingleTaskIsChosenWithoutAWindow) {
  std::int16_t result = 99;
  robot::DialogThread thread([&] { result = ui::SelectDevice({{"Only", "2 AI", "Dev1", 4}}); });
  ASSERT_TRUE(thread.WaitFinished());
  EXPECT_EQ(result, 0);
}

TEST(TaskChoice, DeviceIconKeys) {
  EXPECT_EQ(ui::GetDeviceIcon("USB"), "USB");
  EXPECT_EQ(ui::GetDeviceIcon("COM"), "COM");
  EXPECT_EQ(ui::GetDeviceIcon("usb"), "PCI");
  EXPECT_EQ(ui::GetDeviceIcon(""), "PCI");
  EXPECT_EQ(ui::GetDeviceIcon("PXI"), "PCI");
}

TEST(TaskChoice, TheDriverAsksThroughTheDialogWhenSeveralTasksQualify) {
  if (const std::string reason = robot::NoDisplayReason(); !reason.empty()) GTEST_SKIP() << reason;
  testini::SimConfig config(testini::Task("First", "Dev1/ai0") + testini::Task("Second", "Dev1/ai1:2") +
                            testini::Task("Output", "Dev1/ao0", "Analog Output") +
                            testini::Task("Third", "Dev2/ai0"));
  testsupport::ScopedEnv no_preset("NIADC_TASK", std::nullopt);
  ui::InstallDialogs();
  bool detected = false;
  std::string task;
  robot::DialogThread thread([&] {
    driver::NI_DAQmx_Task adc;
    detected = adc.Test();
    task = adc.State().model.mTaskName;
  });
  const HWND dialog = thread.WaitForDialog();
  ASSERT_NE(dialog, nullptr);
  const HWND list = GetDlgItem(dialog, IDC_LV_TASKS);
  EXPECT_EQ(robot::Rows(list),
            (Rows{{"First", "1 AI", "Dev1"}, {"Second", "2 AI", "Dev1"}, {"Third", "1 AI", "Dev2"}}));
  robot::ClickRow(list, 1);
  EXPECT_TRUE(robot::WaitUntil([&] { return robot::SelectedRow(list) == 1; }));
  robot::ClickControl(GetDlgItem(dialog, IDOK));
  ASSERT_TRUE(thread.WaitFinished());
  EXPECT_TRUE(detected);
  EXPECT_EQ(task, "Second");
}

}  // namespace
