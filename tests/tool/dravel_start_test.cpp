// The start of the dialog program: the main dialog's control is made before
// any dialog, and without one no dialog opens.
#include "tests/tool/fake_control.h"
#include "tool/dravel_app.h"
#include "tool/resources/dravel_texts.h"

#include <gtest/gtest.h>

using namespace dravel;
using namespace tooltest;

namespace {

TEST(DravelStartTest, TheFirstControlMadeIsTheMainDialogsAndLaterCallsMakeNewOnes) {
    auto world = std::make_shared<CFakeWorld>();
    const ControlFactory fake = FakeFactory(world);
    int made = 0;
    std::vector<const IHostedControl*> handedOut;
    const ControlFactory counting = [&] {
        ++made;
        auto control = fake();
        handedOut.push_back(control.get());
        return control;
    };
    bool messageShown = false;
    const ControlFactory make = CDravelApp::FirstControl(
        counting, [&](const std::string&, const std::string&) { messageShown = true; });
    ASSERT_TRUE(make);
    EXPECT_EQ(made, 1) << "made before any dialog asks";
    const auto first = make();
    EXPECT_EQ(first.get(), handedOut[0]);
    EXPECT_EQ(made, 1);
    const auto second = make();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second.get(), first.get());
    EXPECT_EQ(made, 2);
    EXPECT_FALSE(messageShown);
}

TEST(DravelStartTest, WithoutAControlTheMessageSaysHowToGetOneAndNothingElseStarts) {
    std::string text;
    std::string caption;
    const ControlFactory make =
        CDravelApp::FirstControl([] { return std::unique_ptr<IHostedControl>(); },
                                 [&](const std::string& t, const std::string& c) {
                                     text = t;
                                     caption = c;
                                 });
    EXPECT_FALSE(make);
    EXPECT_EQ(caption, text::kNoControlCaption);
    EXPECT_EQ(text.find('%'), std::string::npos) << "a mark left unfilled: " << text;
    for (const char* part :
         {"无法创建通讯控件 Palvex", "palvex register", "libpalvex.so.1", "dravel"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

} // namespace
