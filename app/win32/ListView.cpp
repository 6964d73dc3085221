#include "app/win32/ListView.h"

#include <commctrl.h>

namespace tamrix {

void SetUpListColumns(HWND list, DWORD extendedStyle, const std::vector<ListColumn>& columns) {
    ::SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, extendedStyle, extendedStyle);
    for (std::size_t index = 0; index < columns.size(); ++index) {
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = columns[index].width;
        column.pszText = const_cast<char*>(columns[index].title);
        column.iSubItem = static_cast<int>(index);
        ::SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
    }
}

int AppendListRow(HWND list, const std::vector<std::string>& cells, int image) {
    LVITEMA item{};
    item.mask = LVIF_TEXT | (image >= 0 ? LVIF_IMAGE : 0);
    item.iItem = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<char*>(cells.empty() ? "" : cells[0].c_str());
    item.iImage = image;
    const int row =
        static_cast<int>(::SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    for (std::size_t column = 1; column < cells.size() && row >= 0; ++column) {
        LVITEMA text{};
        text.iSubItem = static_cast<int>(column);
        text.pszText = const_cast<char*>(cells[column].c_str());
        ::SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&text));
    }
    return row;
}

std::vector<std::string> SelectedListTexts(HWND list, int column) {
    std::vector<std::string> texts;
    int row = -1;
    while ((row = static_cast<int>(::SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >=
           0) {
        char buffer[1024] = {};
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = sizeof buffer;
        ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        texts.emplace_back(buffer);
    }
    return texts;
}

}  // namespace tamrix
