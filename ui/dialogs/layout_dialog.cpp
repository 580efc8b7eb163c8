#include "ui/dialogs/layout_dialog.h"

#include <wx/xrc/xmlres.h>

#include <optional>
#include <utility>

#include "ui/dialogs/dialog_layout.h"
#include "ui/dialogs/dialog_resources.h"

namespace veltra {

int TemplateForClientSize(const wxSize& client, int portrait_template, int landscape_template) {
    return client.y > client.x ? portrait_template : landscape_template;
}

LayoutDialog::LayoutDialog(int portrait_template, int landscape_template,
                           AnchorRoles portrait_roles, AnchorRoles landscape_roles)
    : portrait_template_(portrait_template),
      landscape_template_(landscape_template),
      portrait_roles_(std::move(portrait_roles)),
      landscape_roles_(std::move(landscape_roles)),
      current_layout_(portrait_template) {}

const AnchorRoles& LayoutDialog::RolesOf(int template_id) const {
    return template_id == portrait_template_ ? portrait_roles_ : landscape_roles_;
}

bool LayoutDialog::CreateFromTemplate(wxWindow* parent, const wxSize& client_size) {
    LoadDialogResources();
    if (!wxXmlResource::Get()->LoadDialog(this, parent, TemplateName(portrait_template_))) {
        return false;
    }
    // The loader places a control whose coordinate is -1 at the default position; the template
    // means -1 dialog units, so the portrait rectangles are applied once more, exactly.
    ApplyDialogLayout(this, portrait_template_);
    // Either orientation may be the one the window is shrunk in.
    wxSize least;
    for (const int template_id : {portrait_template_, landscape_template_}) {
        if (const std::optional<DialogTemplate> layout = LoadDialogTemplate(template_id)) {
            least.IncTo(MinimumLayoutSize(*this, *layout, RolesOf(template_id)));
        }
    }
    SetMinClientSize(least);
    SetClientSize(ConvertDialogToPixels(client_size));
    Bind(wxEVT_SIZE, &LayoutDialog::OnSize, this);
    return true;
}

void LayoutDialog::OnSize(wxSizeEvent& event) {
    event.Skip();
    if (!layout_switching_) {
        return;
    }
    current_layout_ =
        TemplateForClientSize(GetClientSize(), portrait_template_, landscape_template_);
    if (const std::optional<DialogTemplate> layout = LoadDialogTemplate(current_layout_)) {
        ApplyDialogLayout(this, *layout, RolesOf(current_layout_));
    }
    LayoutApplied();
}

}  // namespace veltra
