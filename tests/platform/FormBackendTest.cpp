// Form backends: a view made when a form is created hears of every change a window system must
// show (paints, layout, cursor), and headless stays the default.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/form/Form.h"

namespace {

struct Record {
    std::vector<form::FormChange> changes;
    int views = 0, destroyed = 0;
};

class RecordingView final : public form::FormView {
public:
    explicit RecordingView(Record& record) : record_(record) { ++record_.views; }
    ~RecordingView() override { ++record_.destroyed; }
    void FormChanged(form::FormChange change) override { record_.changes.push_back(change); }
    void* NativeWidget() override { return this; }

private:
    Record& record_;
};

class FormBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        form::RegisterFormBackend("recording",
                                  [this](form::Form&) -> std::unique_ptr<form::FormView> {
                                      if (refuse) return nullptr;
                                      return std::make_unique<RecordingView>(record);
                                  });
    }
    void TearDown() override { form::SelectFormBackend("headless"); }

    int Count(form::FormChange change) const {
        int n = 0;
        for (auto c : record.changes) n += c == change;
        return n;
    }

    Record record;
    bool refuse = false;
};

TEST_F(FormBackendTest, HeadlessIsTheDefaultAndUnknownNamesAreRefused) {
    EXPECT_FALSE(form::SelectFormBackend("no-such-backend"));
    EXPECT_EQ(form::SelectedFormBackend(), "headless");
    form::Form form;
    EXPECT_EQ(form.View(), nullptr);
    EXPECT_EQ(record.views, 0);
}

TEST_F(FormBackendTest, TheViewIsChosenAtCreationAndGoesWithTheForm) {
    auto before = std::make_unique<form::Form>();
    ASSERT_TRUE(form::SelectFormBackend("recording"));
    {
        form::Form form;
        EXPECT_NE(form.View(), nullptr);
        EXPECT_EQ(record.views, 1);
    }
    EXPECT_EQ(record.destroyed, 1);
    // A form made before the selection keeps its backend.
    EXPECT_EQ(before->View(), nullptr);
}

TEST_F(FormBackendTest, ABackendThatCannotServeLeavesTheFormHeadless) {
    ASSERT_TRUE(form::SelectFormBackend("recording"));
    refuse = true;
    form::Form form;
    EXPECT_EQ(form.View(), nullptr);
    form.SetClientSize(100, 80);  // no view to tell: nothing breaks
}

TEST_F(FormBackendTest, TheViewHearsOfPaintsLayoutAndCursors) {
    ASSERT_TRUE(form::SelectFormBackend("recording"));
    form::Form form;
    form::PaintBox box;
    box.align = form::Align::Client;
    box.SetParent(&form);

    form.SetClientSize(200, 100);
    EXPECT_GE(Count(form::FormChange::Layout), 1);
    EXPECT_GE(Count(form::FormChange::Paint), 1);

    record.changes.clear();
    form.SetScrollRange(false, 400);
    form.SetScrollPosition(false, 50);
    EXPECT_EQ(Count(form::FormChange::Layout), 2);
    // The paint box moved with the scroll position and must be painted again.
    EXPECT_GE(Count(form::FormChange::Paint), 1);

    record.changes.clear();
    form.SetScrollPosition(false, 50);  // unchanged: nothing to show
    form.SetScrollVisible(true, true);
    EXPECT_TRUE(record.changes.empty());

    box.Invalidate();
    EXPECT_EQ(Count(form::FormChange::Paint), 1);

    // A hook that swallows the cursor notification does not keep the view from showing it.
    record.changes.clear();
    form.windowProc = [](Message&) {};
    box.SetCursor(8);
    EXPECT_EQ(Count(form::FormChange::Cursor), 1);
}

TEST_F(FormBackendTest, WindowMessagesStillDriveAFormWithAView) {
    ASSERT_TRUE(form::SelectFormBackend("recording"));
    form::Form form;
    form.Perform(WM_SIZE, 0, MAKELPARAM(320, 240));
    EXPECT_EQ(form.ClientWidth(), 320);
    EXPECT_EQ(form.ClientHeight(), 240);
    form.SetScrollRange(true, 1000);
    form.Perform(WM_HSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
    EXPECT_EQ(form.HorzScrollBar().position, 320);
}

}  // namespace
