// dlgSetup, the setup window that ShowSetting opens: the task, its channels
// and devices, the driver's help and a link to the vendor's web site.
// Windows only.
#pragma once

#include <string>

#include "driver/ni_daqmx_task.h"

namespace ui {

// Shows the setup window for the view, modally, without an owner; returns
// when the user closes it.
void ShowSetupDialog(const driver::SetupView& view);

// The vendor's web site, which the logo opens.
inline constexpr const char* kVendorSite = "https://www.ni.com/";

// How the window opens its help file at a context number and a web address
// (with the shell's show-window value).
// By default HTML Help and the shell's "open" verb; replaceable so that a
// test can watch the requests without starting a viewer or a browser.
using HelpOpener = void (*)(void* owner_window, const std::string& help_file, unsigned context);
using WebOpener = void (*)(void* owner_window, const std::string& address, int show_command);
void SetHelpOpener(HelpOpener opener);  // null restores the default
void SetWebOpener(WebOpener opener);    // null restores the default

}  // namespace ui
