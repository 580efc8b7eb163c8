// The dialog templates and their application to live dialogs.

#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/listctrl.h>
#include <wx/sstream.h>
#include <wx/stattext.h>
#include <wx/xml/xml.h>

#include <map>

#include "ui/dialogs/dialog_layout.h"
#include "ui/dialogs/input_msg_dialog.h"
#include "ui/dialogs/main_dialog.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

using Layout = std::map<int, wxRect>;  // control id -> rectangle in dialog units

// The rectangles the templates must carry, as the dialogs were designed.
const Layout kMainPortrait{
    {IDC_LOG, {0, 137, 320, 80}},        {wxID_STATIC, {12, 9, 33, 8}},
    {IDC_ONLINE_COUNT, {66, 7, 40, 14}}, {IDC_USER_LIST, {-1, 25, 320, 85}},
    {IDC_PROGRESS, {4, 223, 107, 14}},   {IDC_ABOUT, {3, 116, 108, 17}},
};
const Layout kMainLandscape{
    {IDC_LOG, {20, 135, 280, 85}},       {wxID_STATIC, {3, 9, 33, 8}},
    {IDC_ONLINE_COUNT, {53, 7, 50, 14}}, {IDC_USER_LIST, {0, 25, 320, 84}},
    {IDC_PROGRESS, {20, 224, 280, 14}},  {IDC_ABOUT, {3, 113, 106, 18}},
};
const Layout kComposePortrait{
    {IDC_RECIPIENT, {6, 2, 237, 10}},  {IDC_MESSAGE_TEXT, {6, 13, 237, 89}},
    {wxID_OK, {84, 108, 85, 35}},      {wxID_CANCEL, {182, 111, 65, 30}},
    {IDC_SEND_FILE, {7, 108, 65, 17}}, {IDC_SEND_FOLDER, {7, 127, 65, 17}},
};
const Layout kComposeLandscape{
    {IDC_RECIPIENT, {6, 2, 235, 10}},   {IDC_MESSAGE_TEXT, {6, 13, 235, 88}},
    {wxID_OK, {83, 108, 85, 35}},       {wxID_CANCEL, {176, 111, 65, 30}},
    {IDC_SEND_FILE, {10, 108, 65, 17}}, {IDC_SEND_FOLDER, {10, 127, 65, 17}},
};

// Converted with the toolkit's own conversion; -1 would mean "default" to it, so a negative value
// is converted as the mirror of its positive.
int ToolkitPixels(const wxWindow& dialog, int value, bool horizontal) {
    const int magnitude = value < 0 ? -value : value;
    const wxPoint converted = dialog.ConvertDialogToPixels(wxPoint(magnitude, magnitude));
    const int pixels = horizontal ? converted.x : converted.y;
    return value < 0 ? -pixels : pixels;
}

wxRect ExpectedPixels(const wxWindow& dialog, const wxRect& units) {
    return wxRect(ToolkitPixels(dialog, units.x, true), ToolkitPixels(dialog, units.y, false),
                  ToolkitPixels(dialog, units.width, true),
                  ToolkitPixels(dialog, units.height, false));
}

wxWindow* Child(wxWindow& dialog, int id) {
    for (wxWindow* child : dialog.GetChildren()) {
        if (child->GetId() == id) {
            return child;
        }
    }
    return nullptr;
}

void ExpectLayout(wxWindow& dialog, const Layout& layout) {
    for (const auto& [id, units] : layout) {
        wxWindow* control = Child(dialog, id);
        ASSERT_NE(control, nullptr) << "control " << id;
        EXPECT_EQ(control->GetRect(), ExpectedPixels(dialog, units)) << "control " << id;
    }
}

void ExpectTemplate(int template_id, const Layout& layout) {
    const std::optional<DialogTemplate> parsed = LoadDialogTemplate(template_id);
    ASSERT_TRUE(parsed) << template_id;
    Layout found;
    for (const TemplateItem& item : parsed->items) {
        EXPECT_TRUE(item.dialog_units) << template_id << " item " << item.id;
        EXPECT_TRUE(found.emplace(item.id, item.rect).second) << "duplicate id " << item.id;
    }
    EXPECT_EQ(found, layout) << template_id;
}

class DialogLayoutTest : public ::testing::Test {
  protected:
    Settings settings_;
};

TEST_F(DialogLayoutTest, TemplatesCarryTheDesignedRectanglesInDialogUnits) {
    ExpectTemplate(IDD_MAIN_PORTRAIT, kMainPortrait);
    ExpectTemplate(IDD_MAIN_LANDSCAPE, kMainLandscape);
    ExpectTemplate(IDD_COMPOSE_PORTRAIT, kComposePortrait);
    ExpectTemplate(IDD_COMPOSE_LANDSCAPE, kComposeLandscape);

    const auto about = LoadDialogTemplate(IDD_ABOUT);
    ASSERT_TRUE(about);
    EXPECT_EQ(about->caption, L"关于/帮助");
    EXPECT_EQ(about->size, wxSize(250, 131));
    ASSERT_EQ(about->items.size(), 1U);
    EXPECT_EQ(about->items[0].id, wxID_OK);
    EXPECT_EQ(about->items[0].label.value_or(""), L"确定");

    EXPECT_EQ(LoadDialogTemplate(IDD_COMPOSE_PORTRAIT)->caption, L"发送消息(*^__^*)");
    EXPECT_EQ(LoadDialogTemplate(IDD_COMPOSE_PORTRAIT)->size, wxSize(250, 150));
    EXPECT_EQ(LoadDialogTemplate(IDD_COMPOSE_LANDSCAPE)->caption, L"发送消息");
    EXPECT_EQ(LoadDialogTemplate(IDD_COMPOSE_LANDSCAPE)->size, wxSize(250, 148));
    EXPECT_EQ(LoadDialogTemplate(IDD_MAIN_LANDSCAPE)->caption, L"Veltra（riZ5）");
}

TEST_F(DialogLayoutTest, MainDialogControlsMoveToEitherTemplatesConvertedRectangles) {
    CMainDialog dialog(settings_);
    // Built from the portrait template, -1 dialog units included.
    ExpectLayout(dialog, kMainPortrait);

    EXPECT_TRUE(ApplyDialogLayout(&dialog, IDD_MAIN_LANDSCAPE));
    ExpectLayout(dialog, kMainLandscape);
    // The styles stay those of the portrait template.
    EXPECT_FALSE(dialog.Progress()->IsVertical());
    EXPECT_TRUE(dialog.UserList()->HasFlag(wxLC_REPORT));

    EXPECT_TRUE(ApplyDialogLayout(&dialog, IDD_MAIN_PORTRAIT));
    ExpectLayout(dialog, kMainPortrait);
}

TEST_F(DialogLayoutTest, ComposeDialogControlsMoveToEitherTemplatesConvertedRectangles) {
    CInputMsgDialog compose(nullptr);
    ExpectLayout(compose, kComposePortrait);
    EXPECT_TRUE(ApplyDialogLayout(&compose, IDD_COMPOSE_LANDSCAPE));
    ExpectLayout(compose, kComposeLandscape);
    EXPECT_EQ(compose.GetTitle(), L"发送消息(*^__^*)");  // the caption does not change
    EXPECT_TRUE(ApplyDialogLayout(&compose, IDD_COMPOSE_PORTRAIT));
    ExpectLayout(compose, kComposePortrait);
}

TEST_F(DialogLayoutTest, ConversionFollowsTheDialogsFont) {
    CInputMsgDialog compose(nullptr);
    const wxRect units(6, 13, 237, 89);
    const wxRect before = DialogUnitsToPixels(compose, units);
    compose.SetFont(compose.GetFont().Scaled(2.0F));
    const wxRect after = DialogUnitsToPixels(compose, units);
    EXPECT_GT(after.width, before.width);
    EXPECT_GT(after.height, before.height);
    EXPECT_EQ(after, ExpectedPixels(compose, units));
}

TEST_F(DialogLayoutTest, UnknownTemplateFailsAndMovesNothing) {
    CMainDialog dialog(settings_);
    EXPECT_FALSE(ApplyDialogLayout(&dialog, 999));
    EXPECT_FALSE(ApplyDialogLayout(&dialog, IDC_LOG));
    EXPECT_FALSE(ApplyDialogLayout(nullptr, IDD_MAIN_PORTRAIT));
    ExpectLayout(dialog, kMainPortrait);
}

TEST_F(DialogLayoutTest, ItemsWithoutLiveControlFailButTheOthersStillMove) {
    CMainDialog dialog(settings_);
    // Only IDC_MESSAGE_TEXT (1001, the number of IDC_LOG) and IDC_SEND_FILE (1012, that of
    // IDC_ABOUT) have live controls here.
    EXPECT_FALSE(ApplyDialogLayout(&dialog, IDD_COMPOSE_PORTRAIT));
    EXPECT_EQ(dialog.Log()->GetRect(),
              ExpectedPixels(dialog, kComposePortrait.at(IDC_MESSAGE_TEXT)));
    wxWindow* about = Child(dialog, IDC_ABOUT);
    EXPECT_EQ(about->GetRect(), ExpectedPixels(dialog, kComposePortrait.at(IDC_SEND_FILE)));
    // Button texts come from the template as well.
    EXPECT_EQ(about->GetLabel(), L"传送文件");
    EXPECT_EQ(Child(dialog, IDC_USER_LIST)->GetRect(),
              ExpectedPixels(dialog, kMainPortrait.at(IDC_USER_LIST)));
}

TEST_F(DialogLayoutTest, MoreThanOneUnnamedItemFailsButMovesAreApplied) {
    const char* const kTemplate = R"(<?xml version="1.0" encoding="UTF-8"?>
<resource xmlns="http://www.wxwidgets.org/wxxrc" version="2.5.3.0">
  <object class="wxDialog" name="TWO_LABELS">
    <object class="wxStaticText" name="wxID_STATIC"><pos>1,2d</pos><size>30,8d</size>
      <label>在线人数</label></object>
    <object class="wxStaticText" name="wxID_STATIC"><pos>5,6d</pos><size>30,8d</size>
      <label>在线人数</label></object>
    <object class="wxTextCtrl" name="IDC_LOG"><pos>10,20d</pos><size>100,50d</size></object>
  </object>
</resource>)";
    wxStringInputStream input(wxString::FromUTF8(kTemplate));
    wxXmlDocument document(input);
    ASSERT_TRUE(document.IsOk());
    const DialogTemplate layout = ParseDialogTemplate(*document.GetRoot()->GetChildren());
    ASSERT_EQ(layout.items.size(), 3U);
    EXPECT_TRUE(layout.items[0].unnamed);
    EXPECT_TRUE(layout.items[1].unnamed);
    EXPECT_FALSE(layout.items[2].unnamed);

    CMainDialog dialog(settings_);
    EXPECT_FALSE(ApplyDialogLayout(&dialog, layout));
    EXPECT_EQ(dialog.Log()->GetRect(), ExpectedPixels(dialog, {10, 20, 100, 50}));

    DialogTemplate one_label = layout;
    one_label.items.erase(one_label.items.begin() + 1);
    EXPECT_TRUE(ApplyDialogLayout(&dialog, one_label));
    EXPECT_EQ(Child(dialog, wxID_STATIC)->GetRect(), ExpectedPixels(dialog, {1, 2, 30, 8}));
}

TEST_F(DialogLayoutTest, MainDialogCaptionLabelsAndUserListAreAsDesigned) {
    CMainDialog dialog(settings_);
    EXPECT_EQ(dialog.GetTitle(), L"Veltra（riZ5）");
    EXPECT_EQ(Child(dialog, wxID_STATIC)->GetLabel(), L"在线人数");
    EXPECT_EQ(Child(dialog, IDC_ABOUT)->GetLabel(), L"关于/帮助（小字体版）");
    EXPECT_EQ(dialog.GetClientSize(), dialog.ConvertDialogToPixels(wxSize(320, 240)));
    EXPECT_TRUE(dialog.HasFlag(wxRESIZE_BORDER));
    ASSERT_EQ(dialog.GetIcons().GetIconCount(), 1U);
    EXPECT_EQ(dialog.GetIcons().GetIconByIndex(0).GetSize(), wxSize(48, 48));

    wxListCtrl* list = dialog.UserList();
    EXPECT_TRUE(list->HasFlag(wxLC_REPORT));
    EXPECT_FALSE(list->HasFlag(wxLC_SINGLE_SEL));  // several users may get one offer each
    EXPECT_TRUE(list->HasFlag(wxLC_HRULES));
    EXPECT_TRUE(list->HasFlag(wxLC_VRULES));
    ASSERT_EQ(list->GetColumnCount(), 1);
    wxListItem column;
    column.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_WIDTH | wxLIST_MASK_FORMAT);
    ASSERT_TRUE(list->GetColumn(0, column));
    EXPECT_EQ(column.GetText(), L"用户名");
    EXPECT_EQ(column.GetWidth(), 200);
    EXPECT_EQ(column.GetAlign(), wxLIST_FORMAT_LEFT);

    EXPECT_TRUE(dialog.Log()->IsMultiLine());
    EXPECT_FALSE(dialog.Log()->IsEditable());
    EXPECT_TRUE(dialog.Log()->HasFlag(wxTE_DONTWRAP));
    EXPECT_FALSE(dialog.OnlineCount()->IsEditable());
    EXPECT_EQ(dialog.OnlineCount()->GetValue(), L"");  // blank until the first rebuild
    EXPECT_EQ(dialog.Progress()->GetRange(), 100);
}

TEST_F(DialogLayoutTest, ComposeDialogCaptionAndButtonsAreAsDesigned) {
    CInputMsgDialog compose(nullptr);
    EXPECT_EQ(compose.GetTitle(), L"发送消息(*^__^*)");
    EXPECT_EQ(Child(compose, wxID_OK)->GetLabel(), L"发送");
    EXPECT_EQ(Child(compose, wxID_CANCEL)->GetLabel(), L"取消");
    EXPECT_EQ(Child(compose, IDC_SEND_FILE)->GetLabel(), L"传送文件");
    auto* send = dynamic_cast<wxButton*>(Child(compose, wxID_OK));
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(compose.GetDefaultItem(), send);
    EXPECT_EQ(compose.GetClientSize(), compose.ConvertDialogToPixels(wxSize(250, 150)));
    ASSERT_NE(compose.MessageEdit(), nullptr);
    EXPECT_TRUE(compose.MessageEdit()->IsMultiLine());
    EXPECT_TRUE(compose.MessageEdit()->IsEditable());
    EXPECT_TRUE(compose.MessageEdit()->HasFlag(wxTE_DONTWRAP));
}

}  // namespace
}  // namespace veltra
