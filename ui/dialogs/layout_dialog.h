#pragma once
// A dialog that stands for the device's whole screen: created from its portrait template, it
// takes the rectangles of the portrait or the landscape template whenever its client area changes
// shape, once its initialisation has finished. Within an orientation the template's arrangement
// follows the client size by the anchors of its controls; the window never gets smaller than
// both arrangements allow.

#include <wx/dialog.h>

#include "ui/dialogs/dialog_layout.h"

namespace veltra {

// The template for a client area: portrait when it is taller than wide, landscape otherwise
// (a square screen is landscape).
int TemplateForClientSize(const wxSize& client, int portrait_template, int landscape_template);

class LayoutDialog : public wxDialog {
  public:
    bool LayoutSwitchingEnabled() const { return layout_switching_; }
    // The template whose rectangles the controls have now.
    int CurrentLayout() const { return current_layout_; }

  protected:
    LayoutDialog(int portrait_template, int landscape_template, AnchorRoles portrait_roles = {},
                 AnchorRoles landscape_roles = {});

    // Creates the window and its controls from the portrait template, with a client area of
    // client_size dialog units; false when the template is missing.
    bool CreateFromTemplate(wxWindow* parent, const wxSize& client_size);
    // Sizes that arrive before this are ignored, as they come from the window being built.
    void EnableLayoutSwitching() { layout_switching_ = true; }
    // After the controls have taken their places for a new client size.
    virtual void LayoutApplied() {}

  private:
    void OnSize(wxSizeEvent& event);
    const AnchorRoles& RolesOf(int template_id) const;

    int portrait_template_;
    int landscape_template_;
    AnchorRoles portrait_roles_;
    AnchorRoles landscape_roles_;
    int current_layout_;
    bool layout_switching_ = false;
};

}  // namespace veltra
