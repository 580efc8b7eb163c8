// The toolkit is started once for the whole test executable, before the first test, the way the
// program's application object would start it.

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <memory>
#include <optional>

#include "tests/platform/temp_folder.h"
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

// Each test's sessions keep their history in a data folder of the test's own: a main dialog's log
// opens with the history, which would otherwise hold what the tests before it did.
class DataFolderPerTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& /*test*/) override {
        folder_.emplace();
        data_home_.emplace("XDG_DATA_HOME", folder_->path().string());
    }
    void OnTestEnd(const ::testing::TestInfo& /*test*/) override {
        data_home_.reset();
        folder_.reset();
    }

    std::optional<veltra::testing::TempFolder> folder_;
    std::optional<veltra::testing::ScopedVariable> data_home_;
};

// The listeners take the listener and delete it at exit.
[[maybe_unused]] const bool data_folder_per_test = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(
        std::make_unique<DataFolderPerTest>().release());
    return true;
}();

// gtest owns registered environments and deletes them at exit.
[[maybe_unused]] ::testing::Environment* const toolkit_environment =
    ::testing::AddGlobalTestEnvironment(std::make_unique<ToolkitEnvironment>().release());

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(DialogsTestApp);
