#pragma once
// The report-style list views of the Windows dialogs (the status list, the COM Port Manager's
// port list): their columns, appending a row, and reading the rows back.

#include <windows.h>

#include <string>
#include <vector>

namespace tamrix {

struct ListColumn {
    const char* title;
    int width;  // pixels
};

// Sets the extended list styles and inserts the columns, left-aligned.
void SetUpListColumns(HWND list, DWORD extendedStyle, const std::vector<ListColumn>& columns);

// Appends a row whose columns show `cells`, the first with image `image` of the small image list
// (-1: none); returns its position.
int AppendListRow(HWND list, const std::vector<std::string>& cells, int image = -1);

// The text of `column` of every selected row, in list order.
[[nodiscard]] std::vector<std::string> SelectedListTexts(HWND list, int column);

}  // namespace tamrix
