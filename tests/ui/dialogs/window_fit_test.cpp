// A window that fits: within each orientation the template's arrangement follows the window's
// size, and the window gets no smaller than the arrangement allows.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "main_dialog_fixture.h"
#include "ui/dialogs/resource_ids.h"

namespace veltra {
namespace {

// Distances of a control to the client's right and bottom edges.
wxSize ToFarEdges(const wxRect& rect, const wxSize& client) {
    return wxSize(client.x - rect.GetRight() - 1, client.y - rect.GetBottom() - 1);
}

// No two controls overlap, and each one has an area and ends inside the client.
void ExpectTidy(wxWindow& dialog) {
    const wxSize client = dialog.GetClientSize();
    std::vector<wxWindow*> controls;
    for (wxWindow* child : dialog.GetChildren()) {
        controls.push_back(child);
    }
    for (wxWindow* control : controls) {
        const wxRect rect = control->GetRect();
        EXPECT_GT(rect.width, 0) << control->GetId();
        EXPECT_GT(rect.height, 0) << control->GetId();
        EXPECT_LE(rect.GetRight(), client.x) << control->GetId();
        EXPECT_LE(rect.GetBottom(), client.y) << control->GetId();
        for (wxWindow* other : controls) {
            EXPECT_TRUE(other == control || !rect.Intersects(other->GetRect()))
                << control->GetId() << " overlaps " << other->GetId();
        }
    }
}

class WindowFitTest : public testing::MainDialogTest {
  protected:
    void SetUp() override {
        dialog_ = StartedDialog();
        ShowRows(*dialog_, {{"127.0.0.11", "alice", "pc1"}}, 1);
    }
    void TearDown() override { dialog_->ShutdownMessenger(); }

    void Resize(const wxSize& client) {
        dialog_->SetClientSize(client);
        testing::SendSizeEvent(*dialog_);
        ASSERT_EQ(dialog_->GetClientSize(), client);
    }
    wxRect Drawn(int template_id, int control_id) const {
        return TemplateRect(*dialog_, template_id, control_id);
    }
    // The area the template was drawn for, in pixels.
    wxSize DrawnFor(int template_id) const {
        return DialogUnitsToPixels(*dialog_, {{0, 0}, LoadDialogTemplate(template_id)->size})
            .GetSize();
    }
    wxRect Now(int control_id) const { return dialog_->FindWindow(control_id)->GetRect(); }

    // What holds in both orientations: the list spans the width and shares the gained height
    // with the log; the about button keeps its size and its distance to the list; the count
    // field stays as drawn; the user column is as wide as the list.
    void ExpectCommonArrangement(int template_id) {
        const wxSize client = dialog_->GetClientSize();
        const wxRect list = Now(IDC_USER_LIST);
        const wxRect log = Now(IDC_LOG);
        const wxRect drawn_list = Drawn(template_id, IDC_USER_LIST);
        const wxRect drawn_log = Drawn(template_id, IDC_LOG);
        EXPECT_EQ(list.GetTopLeft(), drawn_list.GetTopLeft());
        EXPECT_EQ(list.GetRight() + 1, client.x);
        const int list_gain = list.height - drawn_list.height;
        const int log_gain = log.height - drawn_log.height;
        const int height_gain = client.y - DrawnFor(template_id).y;
        EXPECT_NEAR(list_gain, height_gain / 2, 1);
        EXPECT_EQ(list_gain + log_gain, height_gain);
        EXPECT_EQ(ToFarEdges(log, client).y, ToFarEdges(drawn_log, DrawnFor(template_id)).y);

        const wxRect about = Now(IDC_ABOUT);
        const wxRect drawn_about = Drawn(template_id, IDC_ABOUT);
        EXPECT_EQ(about.GetSize(), drawn_about.GetSize());
        EXPECT_EQ(about.x, drawn_about.x);
        EXPECT_EQ(about.y - list.GetBottom(), drawn_about.y - drawn_list.GetBottom());
        EXPECT_EQ(Now(IDC_ONLINE_COUNT), Drawn(template_id, IDC_ONLINE_COUNT));
        EXPECT_EQ(dialog_->UserList()->GetColumnWidth(0), dialog_->UserList()->GetClientSize().x);
        ExpectTidy(*dialog_);
    }

    std::unique_ptr<CMainDialog> dialog_;
};

TEST_F(WindowFitTest, LandscapeListAndLogGrowTheBarIsAsLongAsTheLogBelowIt) {
    for (const wxSize client :
         {wxSize(1280, 800), wxSize(1600, 700), DrawnFor(IDD_MAIN_LANDSCAPE)}) {
        Resize(client);
        ASSERT_EQ(dialog_->CurrentLayout(), IDD_MAIN_LANDSCAPE);
        ExpectCommonArrangement(IDD_MAIN_LANDSCAPE);
        const wxRect log = Now(IDC_LOG);
        const wxRect drawn_log = Drawn(IDD_MAIN_LANDSCAPE, IDC_LOG);
        EXPECT_EQ(log.x, drawn_log.x);
        EXPECT_EQ(ToFarEdges(log, client).x, ToFarEdges(drawn_log, DrawnFor(IDD_MAIN_LANDSCAPE)).x);
        // A horizontal bar under the log, from its left edge to its right one, as tall as drawn.
        const wxRect bar = Now(IDC_PROGRESS);
        const wxRect drawn_bar = Drawn(IDD_MAIN_LANDSCAPE, IDC_PROGRESS);
        EXPECT_EQ(bar.x, log.x);
        EXPECT_EQ(bar.width, log.width);
        EXPECT_EQ(bar.height, drawn_bar.height);
        EXPECT_EQ(bar.y - log.GetBottom(), drawn_bar.y - drawn_log.GetBottom());
        EXPECT_EQ(ToFarEdges(bar, client), ToFarEdges(drawn_bar, DrawnFor(IDD_MAIN_LANDSCAPE)));
        EXPECT_FALSE(dialog_->Progress()->IsVertical());
    }
}

TEST_F(WindowFitTest, PortraitListLogAndBarSpanTheWidth) {
    for (const wxSize client : {wxSize(600, 1000), wxSize(400, 1200), wxSize(900, 901)}) {
        Resize(client);
        ASSERT_EQ(dialog_->CurrentLayout(), IDD_MAIN_PORTRAIT);
        ExpectCommonArrangement(IDD_MAIN_PORTRAIT);
        EXPECT_EQ(Now(IDC_LOG).GetRight() + 1, client.x);
        // The bar keeps its place below the log and its margins to the screen's sides.
        const wxRect bar = Now(IDC_PROGRESS);
        const wxRect drawn_bar = Drawn(IDD_MAIN_PORTRAIT, IDC_PROGRESS);
        EXPECT_EQ(bar.x, drawn_bar.x);
        EXPECT_EQ(bar.height, drawn_bar.height);
        EXPECT_EQ(ToFarEdges(bar, client), ToFarEdges(drawn_bar, DrawnFor(IDD_MAIN_PORTRAIT)));
    }
}

TEST_F(WindowFitTest, TheSmallestWindowKeepsEitherArrangementTidy) {
    const wxSize least = dialog_->GetMinClientSize();
    // Half the drawn list and log at most, and more than the controls that keep their size.
    EXPECT_LE(least.x, DrawnFor(IDD_MAIN_LANDSCAPE).x * 3 / 4);
    EXPECT_LE(least.y, DrawnFor(IDD_MAIN_LANDSCAPE).y * 3 / 4);
    EXPECT_GT(least.x, Drawn(IDD_MAIN_PORTRAIT, IDC_ABOUT).GetRight());

    Resize(least);
    EXPECT_EQ(dialog_->CurrentLayout(),
              least.x >= least.y ? IDD_MAIN_LANDSCAPE : IDD_MAIN_PORTRAIT);
    ExpectTidy(*dialog_);
    Resize({least.x, std::max(least.x, least.y) + 1});
    EXPECT_EQ(dialog_->CurrentLayout(), IDD_MAIN_PORTRAIT);
    ExpectTidy(*dialog_);
    Resize({std::max(least.x, least.y) + 1, least.y});
    EXPECT_EQ(dialog_->CurrentLayout(), IDD_MAIN_LANDSCAPE);
    ExpectTidy(*dialog_);

    // The window system is asked for no less.
    dialog_->SetClientSize(least.x / 2, least.y / 2);
    EXPECT_EQ(dialog_->GetClientSize(), least);
}

TEST_F(WindowFitTest, ComposeEditGrowsButtonsKeepTheirSizeAndCorners) {
    CInputMsgDialog compose(dialog_.get(), ChooseFilesWithDialog, L"发给：张三（192.168.1.20）");
    compose.InitDialog();  // the dialog is up: its layout follows its size
    const wxSize client(900, 600);
    compose.SetClientSize(client);
    testing::SendSizeEvent(compose);
    ASSERT_EQ(compose.CurrentLayout(), IDD_COMPOSE_LANDSCAPE);
    const wxSize drawn_for =
        DialogUnitsToPixels(compose, {{0, 0}, LoadDialogTemplate(IDD_COMPOSE_LANDSCAPE)->size})
            .GetSize();
    const auto drawn = [&](int id) { return TemplateRect(compose, IDD_COMPOSE_LANDSCAPE, id); };
    const auto now = [&](int id) { return compose.FindWindow(id)->GetRect(); };

    // The edit keeps its margins on all four sides; the recipient line spans its width.
    EXPECT_EQ(now(IDC_MESSAGE_TEXT).GetTopLeft(), drawn(IDC_MESSAGE_TEXT).GetTopLeft());
    EXPECT_EQ(ToFarEdges(now(IDC_MESSAGE_TEXT), client),
              ToFarEdges(drawn(IDC_MESSAGE_TEXT), drawn_for));
    EXPECT_EQ(now(IDC_RECIPIENT).x, now(IDC_MESSAGE_TEXT).x);
    EXPECT_EQ(now(IDC_RECIPIENT).width, now(IDC_MESSAGE_TEXT).width);
    // Send and cancel at the bottom right, the file buttons at the bottom left.
    const int buttons[] = {wxID_OK, wxID_CANCEL, IDC_SEND_FILE, IDC_SEND_FOLDER};
    for (const int button : buttons) {
        EXPECT_EQ(now(button).GetSize(), drawn(button).GetSize());
        const bool left = button == IDC_SEND_FILE || button == IDC_SEND_FOLDER;
        EXPECT_EQ(left ? now(button).x : ToFarEdges(now(button), client).x,
                  left ? drawn(button).x : ToFarEdges(drawn(button), drawn_for).x);
        EXPECT_EQ(ToFarEdges(now(button), client).y, ToFarEdges(drawn(button), drawn_for).y);
    }
    ExpectTidy(compose);

    compose.SetClientSize(compose.GetMinClientSize());
    testing::SendSizeEvent(compose);
    ExpectTidy(compose);
}

}  // namespace
}  // namespace veltra
