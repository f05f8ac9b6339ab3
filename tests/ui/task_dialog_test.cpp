// The task selection dialog as the user meets it: which rows it shows, and
// what OK, Enter, Esc, the close box and double-clicks return; and the
// driver asking through it when several saved tasks qualify.
#include <gtest/gtest.h>

#include "driver/ni_daqmx_task.h"
#include "driver/state.h"
#include "tests/support/sim_config.h"
#include "tests/support/sim_env.h"
#include "tests/ui/dialog_robot.h"
#include "ui/dialogs.h"
#include "ui/resource.h"
#include "ui/task_dialog.h"

namespace {

using robot::Table;

const std::vector<daqmx::TaskListEntry> kThree = {
    {"Vibration", "4 AI", "Dev1", 0}, {"Thermal", "2 AI", "cDAQ1Mod2", 2}, {"Bench", "8 AI", "Dev1, Dev2", 5}};
const Table kThreeShown = {{"Task", "Channels", "Devices"},
                           {"Vibration", "4 AI", "Dev1"},
                           {"Thermal", "2 AI", "cDAQ1Mod2"},
                           {"Bench", "8 AI", "Dev1, Dev2"}};

class TaskDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string reason = robot::NoDisplayReason(); !reason.empty()) GTEST_SKIP() << reason;
  }

  // Shows the dialog for `tasks` on its own thread; `answer` plays the user.
  std::int16_t Choose(const std::vector<daqmx::TaskListEntry>& tasks, const std::function<void(HWND)>& answer) {
    std::int16_t result = 99;
    robot::DialogThread thread([&] { result = ui::SelectDevice(tasks); });
    const HWND dialog = thread.WaitForDialog();
    EXPECT_NE(dialog, nullptr) << "no dialog appeared";
    if (dialog != nullptr) answer(dialog);
    EXPECT_TRUE(thread.WaitFinished()) << "the dialog did not close";
    return result;
  }
};

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_LV_TASKS); }

// Clicks `row` (none when -1) and waits until the list shows it selected.
void Select(HWND dialog, int row) {
  if (row >= 0) robot::ClickRow(List(dialog), row);
  EXPECT_TRUE(robot::WaitUntil([&] { return robot::SelectedRow(List(dialog)) == row; })) << "row " << row;
}

TEST_F(TaskDialog, EachWayOfClosingReturnsItsChoice) {
  const auto ok = [](HWND dialog) { robot::ClickControl(GetDlgItem(dialog, IDOK)); };
  const struct {
    const char* how;
    int row;  // selected first; -1: none
    std::function<void(HWND)> close;
    std::int16_t result;
  } cases[] = {
      {"OK", 2, ok, 2},
      {"OK without a selection", -1, ok, -1},
      {"Enter", 1, [](HWND dialog) { robot::PressKey(dialog, VK_RETURN); }, 1},
      {"Esc in the list", 0,
       [](HWND dialog) {
         EXPECT_TRUE(robot::WaitUntil([&] { return robot::FocusOf(dialog) == List(dialog); }));
         robot::PressKey(dialog, VK_ESCAPE);
       },
       -1},
      {"the close box", 1, [](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }, -1},
      // Messages arrive in order: once the next click has moved the
      // selection, the double-click was handled and the window stays open.
      {"a double-click, then OK", 2,
       [&](HWND dialog) {
         robot::DoubleClickRow(List(dialog), 1);
         Select(dialog, 0);
         EXPECT_TRUE(IsWindowVisible(dialog));
         ok(dialog);
       },
       0},
  };
  // Every other call shows a shorter list: each call shows its list afresh.
  const std::vector<daqmx::TaskListEntry> two(kThree.begin(), kThree.begin() + 2);
  bool shorter = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    const auto& tasks = shorter && c.row < 2 ? two : kThree;
    shorter = !shorter;
    EXPECT_EQ(Choose(tasks, [&](HWND dialog) {
      EXPECT_EQ(robot::Shown(List(dialog)), Table(kThreeShown.begin(), kThreeShown.begin() + static_cast<std::ptrdiff_t>(tasks.size()) + 1));
      Select(dialog, -1);
      Select(dialog, c.row);
      c.close(dialog);
    }), c.result);
  }
}

TEST_F(TaskDialog, ShowsItsCaptionAndTaskIconsAndComesInFrontWithoutStayingTopmost) {
  Choose(kThree, [](HWND dialog) {
    EXPECT_EQ(robot::WindowText(dialog), "Select NI-DAQmx Task");
    for (int row = 0; row < 3; ++row) EXPECT_EQ(robot::RowImage(List(dialog), row), 0) << "row " << row;
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
  const std::pair<const char*, const char*> keys[] = {
      {"USB", "USB"}, {"COM", "COM"}, {"usb", "PCI"}, {"", "PCI"}, {"PXI", "PCI"}};
  for (const auto& [type, icon] : keys) EXPECT_EQ(ui::GetDeviceIcon(type), icon) << type;
}

TEST(TaskChoice, TheDriverAsksThroughTheDialogWhenSeveralTasksQualify) {
  if (const std::string reason = robot::NoDisplayReason(); !reason.empty()) GTEST_SKIP() << reason;
  testsupport::SimConfigFile config(testsupport::SimIni()
                                        .Task("First").Channel("ai0", "Dev1/ai0")
                                        .Task("Second").Channel("ai1", "Dev1/ai1").Channel("ai2", "Dev1/ai2")
                                        .Task("Output").Channel("ao0", "Dev1/ao0", "ChanType = Analog Output")
                                        .Task("Third").Channel("ai0", "Dev2/ai0")
                                        .Text());
  testsupport::ScopedEnv no_preset("NIADC_TASK", std::nullopt);
  ui::InstallDialogs();
  std::string task;
  robot::DialogThread thread([&] {
    driver::NI_DAQmx_Task adc;
    if (adc.Test()) task = adc.State().model.mTaskName;
  });
  const HWND dialog = thread.WaitForDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(robot::Shown(List(dialog)), (Table{{"Task", "Channels", "Devices"},
                                               {"First", "1 AI", "Dev1"},
                                               {"Second", "2 AI", "Dev1"},
                                               {"Third", "1 AI", "Dev2"}}));
  Select(dialog, 1);
  EXPECT_FALSE(robot::SaveScreenshot(dialog, "task_dialog").empty());
  robot::ClickControl(GetDlgItem(dialog, IDOK));
  ASSERT_TRUE(thread.WaitFinished());
  EXPECT_EQ(task, "Second");
}

}  // namespace
