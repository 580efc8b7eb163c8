#pragma once
// Dialog templates as data: the item list of a template and the move of a live dialog's controls
// to the rectangles of another template. A dialog is created from its portrait template; when the
// screen turns, the landscape template only lends its rectangles, so the controls keep their
// portrait styles.

#include <wx/gdicmn.h>
#include <wx/string.h>
#include <wx/window.h>

#include <map>
#include <optional>
#include <vector>

#include "ui/dialogs/anchoring.h"

class wxXmlNode;

namespace veltra {

struct TemplateItem {
    int id = wxID_ANY;  // the live control's id; wxID_STATIC for an unnamed label
    bool unnamed = false;
    wxString control_class;  // "wxButton", "wxTextCtrl", ...
    wxRect rect;             // in dialog units, or pixels when !dialog_units
    bool dialog_units = true;
    std::optional<wxString> label;  // buttons and labels: the text the template gives them
};

struct DialogTemplate {
    wxString caption;
    wxSize size;  // dialog units: the area the arrangement was drawn for
    std::vector<TemplateItem> items;
};

// The template's caption, size and items in template order.
DialogTemplate ParseDialogTemplate(const wxXmlNode& dialog_node);
// The template with the given IDD_ number; nothing when there is no such template.
std::optional<DialogTemplate> LoadDialogTemplate(int template_id);

// A rectangle in dialog units converted with the dialog's own units, the way the toolkit converts
// a point (ConvertDialogToPixels), except that -1 is a coordinate like any other.
wxRect DialogUnitsToPixels(const wxWindow& dialog, const wxRect& rect);

// How each control of a template follows the window's size, by control id; a control not named
// keeps its place and size at the top left.
using AnchorRoles = std::map<int, Anchor>;

// Moves each live control (direct child of dialog) with an item's id to that item's rectangle and
// sets button and label texts again. False when the template does not exist, when an item has no
// live control (it is skipped), or when the template has more than one unnamed item; the moves
// that could be made are made in every case, all at once at the end.
bool ApplyDialogLayout(wxWindow* dialog, int template_id);
bool ApplyDialogLayout(wxWindow* dialog, const DialogTemplate& layout);
// The same for the dialog's client size: each rectangle follows it by its control's anchor.
bool ApplyDialogLayout(wxWindow* dialog, const DialogTemplate& layout, const AnchorRoles& roles);

// The smallest client size (pixels) in which the template's arrangement holds (MinimumClientSize).
wxSize MinimumLayoutSize(const wxWindow& dialog, const DialogTemplate& layout,
                         const AnchorRoles& roles);

}  // namespace veltra
