// Windows plumbing shared by the dialogs: the module that holds their
// resources, visual styles, window placement and report-mode list views.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/windows.h"

namespace ui::win {

// The module (NI.adc, or a test executable) that contains this code and so
// the dialogs' resources.
using platform::ThisModule;

// Makes comctl32 version 6 (the module's own manifest) the common controls
// of the windows created while the object lives; the host process may have
// no manifest of its own.
class VisualStyles {
 public:
  VisualStyles();
  ~VisualStyles();
  VisualStyles(const VisualStyles&) = delete;
  VisualStyles& operator=(const VisualStyles&) = delete;

 private:
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

// Brings a window in front of every ordinary window without leaving it topmost.
void BringToFront(HWND window);

// The window icon (large and small) from the module's resources.
void SetWindowIcons(HWND window);

// Verdana 8.25 pt with the Cyrillic character set, the list views' font.
// The caller deletes it.
HFONT CreateListFont(HWND window);

// A list view column: header text, lookup key, width in pixels.
struct Column {
  const wchar_t* header;
  const char* key;
  int width;
};

// The column index of a key in a column table, or -1.
int ColumnIndex(const std::vector<Column>& columns, const char* key);

// Clears the list view's rows and columns and adds `columns` in order.
void SetColumns(HWND list, const std::vector<Column>& columns);
// Appends a row: the row's text, then its sub-items. Returns the row index.
int AddRow(HWND list, const std::vector<std::string>& cells, int image = -1);
std::string CellText(HWND list, int row, int column);
int RowCount(HWND list);
int SelectedRow(HWND list);
// Selects one row (and only that one), focuses it and scrolls it into view.
void SelectRow(HWND list, int row);

}  // namespace ui::win
