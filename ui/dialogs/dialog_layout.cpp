#include "ui/dialogs/dialog_layout.h"

#include <wx/button.h>
#include <wx/math.h>
#include <wx/stattext.h>
#include <wx/xml/xml.h>
#include <wx/xrc/xmlres.h>

#include <utility>

#include "ui/dialogs/dialog_resources.h"

namespace veltra {
namespace {

const wxXmlNode* ChildNamed(const wxXmlNode& node, const wxString& name) {
    for (const wxXmlNode* child = node.GetChildren(); child != nullptr; child = child->GetNext()) {
        if (child->GetType() == wxXML_ELEMENT_NODE && child->GetName() == name) {
            return child;
        }
    }
    return nullptr;
}

wxString ChildText(const wxXmlNode& node, const wxString& name) {
    const wxXmlNode* child = ChildNamed(node, name);
    return child == nullptr ? wxString() : child->GetNodeContent().Strip(wxString::both);
}

// "x,y" or "x,yd"; false when the text is not two integers.
bool ParsePair(wxString text, int& first, int& second, bool& dialog_units) {
    dialog_units = text.EndsWith("d", &text);
    long a = 0;
    long b = 0;
    if (!text.BeforeFirst(',').Strip(wxString::both).ToLong(&a) ||
        !text.AfterFirst(',').Strip(wxString::both).ToLong(&b)) {
        return false;
    }
    first = static_cast<int>(a);
    second = static_cast<int>(b);
    return true;
}

// Resource texts mark a mnemonic with "_" and write a literal underscore as "__"; the loader
// turns them into "&" and "_", and so must we when we set a text again.
wxString DecodeResourceText(const wxString& text) {
    wxString decoded;
    for (auto it = text.begin(); it != text.end(); ++it) {
        if (*it == '_') {
            auto next = it + 1;
            if (next != text.end() && *next == '_') {
                decoded += '_';
                it = next;
            } else {
                decoded += '&';
            }
        } else if (*it == '\\' && it + 1 != text.end() && *(it + 1) == 'n') {
            decoded += '\n';
            ++it;
        } else {
            decoded += *it;
        }
    }
    return decoded;
}

int Scale(int value, int base, int divisor) {
    return wxRound(value * (static_cast<double>(base) / divisor));
}

wxWindow* DirectChild(wxWindow& dialog, int id) {
    for (wxWindow* child : dialog.GetChildren()) {
        if (child->GetId() == id) {
            return child;
        }
    }
    return nullptr;
}

Box ToBox(const wxRect& rect) {
    return Box{rect.x, rect.y, rect.width, rect.height};
}

wxRect ToRect(const Box& box) {
    return wxRect(box.x, box.y, box.width, box.height);
}

Anchor AnchorOf(const AnchorRoles& roles, int id) {
    const auto role = roles.find(id);
    return role == roles.end() ? Anchor{} : role->second;
}

wxRect ItemPixels(const wxWindow& dialog, const TemplateItem& item) {
    return item.dialog_units ? DialogUnitsToPixels(dialog, item.rect) : item.rect;
}

Extent TemplatePixels(const wxWindow& dialog, const DialogTemplate& layout) {
    const wxRect size = DialogUnitsToPixels(dialog, wxRect(wxPoint(0, 0), layout.size));
    return Extent{size.width, size.height};
}

}  // namespace

DialogTemplate ParseDialogTemplate(const wxXmlNode& dialog_node) {
    DialogTemplate layout;
    layout.caption = DecodeResourceText(ChildText(dialog_node, "title"));
    bool dialog_units = true;
    ParsePair(ChildText(dialog_node, "size"), layout.size.x, layout.size.y, dialog_units);

    for (const wxXmlNode* node = dialog_node.GetChildren(); node != nullptr;
         node = node->GetNext()) {
        if (node->GetType() != wxXML_ELEMENT_NODE || node->GetName() != "object") {
            continue;
        }
        TemplateItem item;
        item.control_class = node->GetAttribute("class");
        const wxString name = node->GetAttribute("name");
        item.unnamed = name.empty() || name == "wxID_STATIC";
        item.id = item.unnamed ? wxID_STATIC : wxXmlResource::GetXRCID(name);

        bool position_units = true;
        bool size_units = true;
        if (!ParsePair(ChildText(*node, "pos"), item.rect.x, item.rect.y, position_units) ||
            !ParsePair(ChildText(*node, "size"), item.rect.width, item.rect.height, size_units)) {
            item.rect = wxRect();
        }
        item.dialog_units = position_units && size_units;
        // A label the template leaves empty is the program's to fill: a layout keeps its text.
        const wxString label = ChildText(*node, "label");
        if (item.control_class == "wxButton" ||
            (item.control_class == "wxStaticText" && !label.empty())) {
            item.label = DecodeResourceText(label);
        }
        layout.items.push_back(std::move(item));
    }
    return layout;
}

std::optional<DialogTemplate> LoadDialogTemplate(int template_id) {
    const wxString name = TemplateName(template_id);
    if (name.empty()) {
        return std::nullopt;
    }
    const wxXmlNode* node = wxXmlResource::Get()->GetResourceNode(name);
    if (node == nullptr) {
        return std::nullopt;
    }
    return ParseDialogTemplate(*node);
}

wxRect DialogUnitsToPixels(const wxWindow& dialog, const wxRect& rect) {
    // Four horizontal and eight vertical dialog units are exactly one base unit of the font.
    const wxSize base = dialog.ConvertDialogToPixels(wxSize(4, 8));
    return wxRect(Scale(rect.x, base.x, 4), Scale(rect.y, base.y, 8), Scale(rect.width, base.x, 4),
                  Scale(rect.height, base.y, 8));
}

bool ApplyDialogLayout(wxWindow* dialog, int template_id) {
    if (dialog == nullptr) {
        return false;
    }
    const std::optional<DialogTemplate> layout = LoadDialogTemplate(template_id);
    if (!layout) {
        return false;
    }
    return ApplyDialogLayout(dialog, *layout);
}

bool ApplyDialogLayout(wxWindow* dialog, const DialogTemplate& layout) {
    return ApplyDialogLayout(dialog, layout, AnchorRoles{});
}

bool ApplyDialogLayout(wxWindow* dialog, const DialogTemplate& layout, const AnchorRoles& roles) {
    if (dialog == nullptr) {
        return false;
    }
    const Extent drawn_for = TemplatePixels(*dialog, layout);
    const wxSize client_size = dialog->GetClientSize();
    const Extent client{client_size.x, client_size.y};
    bool complete = true;
    int unnamed_items = 0;
    std::vector<std::pair<wxWindow*, wxRect>> moves;
    for (const TemplateItem& item : layout.items) {
        if (item.unnamed) {
            ++unnamed_items;
        }
        wxWindow* control = DirectChild(*dialog, item.id);
        if (control == nullptr) {
            complete = false;
            continue;
        }
        wxRect rect = ItemPixels(*dialog, item);
        if (!roles.empty()) {
            rect = ToRect(AnchoredBox(ToBox(rect), drawn_for, client, AnchorOf(roles, item.id)));
        }
        moves.emplace_back(control, rect);
        if (item.label && control->GetLabel() != *item.label) {
            control->SetLabel(*item.label);
        }
    }
    // Several unnamed items cannot be told apart: only the first live one could have been found.
    if (unnamed_items > 1) {
        complete = false;
    }
    // All at once, so the dialog never shows a mixture of the two layouts.
    dialog->Freeze();
    for (const auto& [control, rect] : moves) {
        control->SetSize(rect, wxSIZE_ALLOW_MINUS_ONE);
    }
    dialog->Thaw();
    return complete;
}

wxSize MinimumLayoutSize(const wxWindow& dialog, const DialogTemplate& layout,
                         const AnchorRoles& roles) {
    std::vector<AnchoredItem> items;
    for (const TemplateItem& item : layout.items) {
        items.push_back({ToBox(ItemPixels(dialog, item)), AnchorOf(roles, item.id)});
    }
    const Extent least = MinimumClientSize(std::move(items), TemplatePixels(dialog, layout));
    return wxSize(least.width, least.height);
}

}  // namespace veltra
