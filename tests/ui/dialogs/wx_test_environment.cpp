// The toolkit is started once for the whole test executable, before the first test, the way the
// program's application object would start it.

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <memory>

#include "ui/dialogs/dialog_resources.h"

namespace {

class DialogsTestApp : public wxApp {
  public:
    bool OnInit() override { return true; }
};

class ToolkitEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static char program[] = "dialogs_tests";
        static char* argv[] = {program, nullptr};
        int argc = 1;
        ASSERT_TRUE(wxEntryStart(argc, argv)) << "no display: run under with_display.sh";
        ASSERT_TRUE(wxTheApp->CallOnInit());
        veltra::LoadDialogResources();
    }
    void TearDown() override {
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
};

// gtest owns registered environments and deletes them at exit.
[[maybe_unused]] ::testing::Environment* const toolkit_environment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<ToolkitEnvironment>().release());

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(DialogsTestApp);
