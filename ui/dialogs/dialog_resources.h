#pragma once
// The dialog templates and the application icon, compiled into the program from
// resources/dialogs.xrc.

#include <wx/icon.h>
#include <wx/string.h>

namespace veltra {

// Registers the handlers, binds the resource symbols to their numbers (resource_ids.h) and loads
// the compiled-in templates. Call on the UI thread once the toolkit is up; later calls do
// nothing.
void LoadDialogResources();

// The resource name of a dialog template ("IDD_MAIN_PORTRAIT" for 102); empty when the id names
// no template.
wxString TemplateName(int template_id);

// IDI_APP_ICON.
wxIcon AppIcon();

}  // namespace veltra
