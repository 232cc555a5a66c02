#include "UnitFrmDialogs.h"

#include <gtest/gtest.h>

namespace {

struct PlacementCase {
    const char* name;
    QRect main;
    QSize dialog;
    QSize workArea;
    QPoint expected;
};

const PlacementCase kCases[] = {
    {"CentredOverTheMainWindow", {80, 80, 320, 444}, {200, 100}, {1280, 1024}, {140, 252}},
    {"OddDifferenceTruncates", {0, 0, 301, 301}, {100, 100}, {1280, 1024}, {100, 100}},
    {"NegativeDifferenceTruncatesTowardZero", {10, 10, 100, 100}, {203, 203}, {1280, 1024}, {0, 0}},
    {"PartlyOffTheLeftEdgeGoesToZero", {-300, 100, 320, 444}, {200, 100}, {1280, 1024}, {0, 272}},
    {"OffTheTopGoesToZero", {100, -500, 320, 444}, {200, 100}, {1280, 1024}, {160, 0}},
    {"PastTheRightEdgeIsPulledBack", {1200, 100, 320, 444}, {200, 100}, {1280, 1024}, {1080, 272}},
    {"PastTheBottomIsPulledBack", {100, 900, 320, 444}, {200, 100}, {1280, 1024}, {160, 924}},
    {"DialogWiderThanWorkAreaEndsLeftOfZero", {0, 0, 320, 444}, {1400, 100}, {1280, 1024}, {-120, 172}},
};

class DialogPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(DialogPlacement, FollowsThePlacementRule) {
    const PlacementCase& c = GetParam();
    EXPECT_EQ(ComputeDialogPosition(c.main, c.dialog, c.workArea), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Windows, DialogPlacement, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
