#include "tool/dialog_exchange.h"
#include "tool/memory_view.h"

#include <gtest/gtest.h>

using namespace dravel;

namespace {

constexpr int kList = 7;
constexpr int kEdit = 8;

void FillList(CMemoryView& view) {
    for (const char* item : {"  9600", " 14400", " 28800"}) view.AddListItem(kList, item);
}

} // namespace

TEST(DialogExchangeTest, ListTextSelectsTheFirstItemWithThatBeginningAndKeepsTheSelectionOtherwise) {
    CMemoryView view;
    FillList(view);
    std::string value = " 1";
    CDataExchange load(view, false);
    DdxListText(load, kList, value);
    EXPECT_EQ(view.ListSelection(kList), 1);
    value = " 19200";
    DdxListText(load, kList, value);
    EXPECT_EQ(view.ListSelection(kList), 1);
    value = "";
    DdxListText(load, kList, value);
    EXPECT_EQ(view.ListSelection(kList), 1);

    CDataExchange save(view, true);
    DdxListText(save, kList, value);
    EXPECT_EQ(value, " 14400");
    view.SetListSelection(kList, 5);
    DdxListText(save, kList, value);
    EXPECT_EQ(value, "") << "a list without a selection reads as empty text";
}

TEST(DialogExchangeTest, AFailedNumberStopsTheRestOfTheExchange) {
    CMemoryView view;
    FillList(view);
    view.SetListSelection(kList, 2);
    view.SetItemText(kEdit, "x");
    unsigned number = 5;
    std::string text = "unchanged";
    CDataExchange save(view, true);
    DdxUnsigned(save, kEdit, number, 0, 63, "caption");
    DdxListText(save, kList, text);
    EXPECT_TRUE(save.Failed());
    EXPECT_EQ(number, 5u);
    EXPECT_EQ(text, "unchanged");
    ASSERT_EQ(view.m_messages.size(), 1u);
    EXPECT_EQ(view.m_messages[0].caption, "caption");
}
