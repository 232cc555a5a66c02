#include "OpmlDocument.h"

#include <gtest/gtest.h>

namespace {

TEST(OutlineNode, MovesKeepParentsRowsAndDepths) {
    OutlineNode top;
    OutlineNode& folder = AppendFolder(top, "F");
    AppendFeedItem(folder, "A", {"http://127.0.0.1/a", "", ""});
    OutlineNode& b = AppendFeedItem(folder, "B", {});
    AppendFeedItem(top, "C", {});
    EXPECT_EQ(b.Row(), 1);
    EXPECT_EQ(b.Depth(), 1);
    EXPECT_EQ(b.Parent(), &folder);
    EXPECT_EQ(top.DescendantCount(), 4);
    EXPECT_TRUE(folder.Contains(&b));
    EXPECT_FALSE(b.Contains(&folder));

    std::unique_ptr<OutlineNode> taken = folder.Take(1);
    EXPECT_EQ(taken->Parent(), nullptr);
    OutlineNode& moved = top.Insert(0, std::move(taken));
    EXPECT_EQ(moved.Parent(), &top);
    EXPECT_EQ(moved.Depth(), 0);
    EXPECT_EQ(top.Child(0)->text, "B");
    EXPECT_EQ(folder.Row(), 1);
    EXPECT_EQ(folder.ChildCount(), 1);
    EXPECT_EQ(top.Take(7), nullptr);
    EXPECT_EQ(top.Child(-1), nullptr);
}

TEST(OutlineNode, AVeryDeepTreeIsFreedWithoutExhaustingTheStack) {
    auto top = std::make_unique<OutlineNode>();
    OutlineNode* parent = top.get();
    for (int i = 0; i < 1'000'000; ++i) parent = &AppendFolder(*parent, "f");
    AppendFeedItem(*parent, "leaf", {});
    top.reset();
    SUCCEED() << "a recursive release would have overflowed the stack";
}

}  // namespace
