#pragma once
// Which row of the main dialog's user list a click, a drop or an arrow key lands on, whether the
// toolkit's list view is its own (rows and column header in child windows) or the desktop's native
// one.

#include <wx/listctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace veltra {

// Given the row tapped, or -1 for a tap below the last row.
using UserListTap = std::function<void(long item)>;
// Whether the files and folders dropped on item (-1 below the last row) were taken.
using UserListDrop = std::function<bool(long item, const std::vector<std::wstring>& paths)>;

// Calls tap for a plain left click on the list's rows; a click that adds to the selection, or
// one on the column header, is no tap. The list still selects the row clicked.
void BindUserListTaps(wxListCtrl& list, UserListTap tap);

// Gives the list a drop target that calls drop with the row under the drop.
void BindUserListDrops(wxListCtrl& list, UserListDrop drop);

// Moves the selection step rows from the row the keyboard is on (the focused row when it is
// selected, else the first selected), as a click there would: that row alone selected and
// focused, and scrolled into view. With no row selected, down (step > 0) starts at the first row,
// up at the last. The row, or -1 when the list is empty.
long StepSelection(wxListCtrl& list, int step);

}  // namespace veltra
