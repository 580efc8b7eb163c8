#include "ui/dialogs/user_list_hits.h"

#include <algorithm>
#include <utility>

#include "ui/dialogs/input_msg_dialog.h"

namespace veltra {
namespace {

// The list view draws its rows in a child window below its column header (another child); a
// native list view has no children and takes the clicks itself.
std::vector<wxWindow*> RowAreas(wxListCtrl& list) {
    std::vector<wxWindow*> areas;
    for (wxWindow* child : list.GetChildren()) {
        areas.push_back(child);
    }
    if (areas.empty()) {
        areas.push_back(&list);
    }
    return areas;
}

bool IsHeader(const wxListCtrl& list, const wxWindow& area) {
    if (&area == &list) {
        return false;
    }
    for (const wxWindow* other : list.GetChildren()) {
        if (other != &area && other->GetPosition().y > area.GetPosition().y) {
            return true;
        }
    }
    return false;
}

// Where the window of the rows begins, in list coordinates.
int RowsAreaTop(const wxListCtrl& list) {
    int top = 0;
    for (const wxWindow* child : list.GetChildren()) {
        top = std::max(top, child->GetPosition().y);
    }
    return top;
}

// The row whose band contains y (list coordinates), wherever the click falls across the row: the
// selection covers the full row, so does the tap. -1 below the last row.
long RowAt(const wxListCtrl& list, int y) {
    const long first = std::max(0L, list.GetTopItem());
    const long last = std::min<long>(list.GetItemCount(), first + list.GetCountPerPage() + 2);
    for (long item = first; item < last; ++item) {
        wxRect rect;
        if (list.GetItemRect(item, rect) && y >= rect.GetTop() && y <= rect.GetBottom()) {
            return item;
        }
    }
    return -1;
}

}  // namespace

long StepSelection(wxListCtrl& list, int step) {
    const long count = list.GetItemCount();
    if (count == 0) {
        return -1;
    }
    // The list keeps a focused row even when none is selected; from there, Down would skip the
    // first row.
    long from = list.GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
    if (from < 0 || list.GetItemState(from, wxLIST_STATE_SELECTED) == 0) {
        from = list.GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    }
    const long to = from < 0 ? (step > 0 ? 0 : count - 1) : std::clamp(from + step, 0L, count - 1);
    for (long item = -1;
         (item = list.GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) >= 0;) {
        if (item != to) {
            list.SetItemState(item, 0, wxLIST_STATE_SELECTED);
        }
    }
    list.SetItemState(to, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                      wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    list.EnsureVisible(to);
    return to;
}

void BindUserListTaps(wxListCtrl& list, UserListTap tap) {
    for (wxWindow* area : RowAreas(list)) {
        area->Bind(wxEVT_LEFT_UP, [&list, tap](wxMouseEvent& event) {
            event.Skip();  // the list still selects the row
            if (event.ControlDown() || event.ShiftDown()) {
                return;  // a click that adds to the selection composes nothing
            }
            auto* clicked = dynamic_cast<wxWindow*>(event.GetEventObject());
            if (clicked == nullptr || IsHeader(list, *clicked)) {
                return;
            }
            const int y = event.GetY() + (clicked == &list ? 0 : clicked->GetPosition().y);
            tap(RowAt(list, y));
        });
    }
}

void BindUserListDrops(wxListCtrl& list, UserListDrop drop) {
    // The list hands its drop target to the window of its rows: drops come in its coordinates.
    // The window owns its drop target.
    list.SetDropTarget(new OfferDropTarget(
        [&list, drop = std::move(drop)](wxCoord /*x*/, wxCoord y, std::vector<std::wstring> paths) {
            return drop(RowAt(list, y + RowsAreaTop(list)), paths);
        }));
}

}  // namespace veltra
