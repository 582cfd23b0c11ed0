// Mirrors, view-perspective rotation and rearranging memory for a new view perspective, checked
// against the displayed image as the TIFF orientation table defines it.
#include "engine/kernel/BitmapStorage.h"
#include "tests/engine/TestBitmaps.h"

using namespace enginetest;

TEST(Geometry, FlipAndReverseMirrorEveryDepth) {
    for (const Format& format : AllFormats()) {
        for (const Size& size : OddSizes()) {
            const std::string what = Describe(format, size.width, size.height);
            TestImage flipped(format, size.width, size.height, 11);
            TestImage reversed(format, size.width, size.height, 11);
            const auto before = Snapshot(*flipped);
            ASSERT_EQ(L_FlipBitmap(flipped.get()), SUCCESS);
            ASSERT_EQ(L_ReverseBitmap(reversed.get()), SUCCESS);
            for (int row = 0; row < size.height; ++row) {
                for (int col = 0; col < size.width; ++col) {
                    const std::uint32_t original = before[row * size.width + col];
                    ASSERT_EQ(Stored(*flipped, size.height - 1 - row, col), original) << what;
                    ASSERT_EQ(Stored(*reversed, row, size.width - 1 - col), original) << what;
                }
            }
            EXPECT_TRUE(PaddingIsZero(*flipped)) << what;
            EXPECT_TRUE(PaddingIsZero(*reversed)) << what;
        }
    }
    EXPECT_EQ(L_FlipBitmap(nullptr), ERROR_NO_BITMAP);
    ScopedBitmap empty;
    EXPECT_EQ(L_ReverseBitmap(empty.get()), ERROR_NO_BITMAP);
}

TEST(Geometry, RotationChangesOnlyThePerspective) {
    TestImage image({8, ORDER_GRAY, "8"}, 3, 5);
    const auto memory = Snapshot(*image);
    for (int start = TOP_LEFT; start <= LEFT_BOTTOM; ++start) {
        image->ViewPerspective = start;
        for (int turn = 0; turn < 4; ++turn) {
            ASSERT_EQ(L_RotateBitmapViewPerspective(image.get(), 90), SUCCESS);
        }
        EXPECT_EQ(image->ViewPerspective, start) << "four quarter turns";
        ASSERT_EQ(L_RotateBitmapViewPerspective(image.get(), -270), SUCCESS);
        const int afterMinus270 = image->ViewPerspective;
        image->ViewPerspective = start;
        ASSERT_EQ(L_RotateBitmapViewPerspective(image.get(), 450), SUCCESS);
        EXPECT_EQ(image->ViewPerspective, afterMinus270) << "-270, 90 and 450 are one turn";
        ASSERT_EQ(L_RotateBitmapViewPerspective(image.get(), 0), SUCCESS);
        EXPECT_EQ(image->ViewPerspective, afterMinus270);
    }
    EXPECT_EQ(Snapshot(*image), memory);
    EXPECT_EQ(L_RotateBitmapViewPerspective(image.get(), 45), ERROR_INV_PARAMETER);
    EXPECT_EQ(L_RotateBitmapViewPerspective(nullptr, 90), ERROR_NO_BITMAP);
    image->ViewPerspective = 0;
    EXPECT_EQ(L_RotateBitmapViewPerspective(image.get(), 90), ERROR_INV_VIEW_PERSPECTIVE);
}

TEST(Geometry, RotationTurnsTheDisplayedImageClockwise) {
    TestImage image({16, ORDER_GRAY, "16"}, 3, 5, 21);
    for (int start = TOP_LEFT; start <= LEFT_BOTTOM; ++start) {
        for (int angle : {90, 180, 270, -90}) {
            image->ViewPerspective = start;
            const int width = DisplayedWidth(*image), height = DisplayedHeight(*image);
            const auto before = DisplayedImage(*image);
            ASSERT_EQ(L_RotateBitmapViewPerspective(image.get(), angle), SUCCESS);
            const int turns = ((angle / 90) % 4 + 4) % 4;
            for (int y = 0; y < DisplayedHeight(*image); ++y) {
                for (int x = 0; x < DisplayedWidth(*image); ++x) {
                    // Follow the pixel back through each clockwise quarter turn.
                    int oldX = x, oldY = y, shownHeight = turns % 2 ? width : height;
                    for (int turn = 0; turn < turns; ++turn) {
                        const int previousHeight = shownHeight == width ? height : width;
                        const int previousX = oldY, previousY = previousHeight - 1 - oldX;
                        oldX = previousX;
                        oldY = previousY;
                        shownHeight = previousHeight;
                    }
                    ASSERT_EQ(Displayed(*image, x, y), before[oldY * width + oldX])
                        << "from " << start << " by " << angle << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(Geometry, ChangingThePerspectiveKeepsTheDisplayedImage) {
    const Size sizes[] = {{1, 1}, {3, 1}, {5, 7}, {9, 2}};
    for (const Format& format : AllFormats()) {
        for (const Size& size : sizes) {
            for (int from = TOP_LEFT; from <= LEFT_BOTTOM; ++from) {
                for (int to = TOP_LEFT; to <= LEFT_BOTTOM; ++to) {
                    const std::string what = Describe(format, size.width, size.height) + " " +
                                             std::to_string(from) + "->" + std::to_string(to);
                    TestImage source(format, size.width, size.height, from * 8 + to);
                    source->ViewPerspective = from;
                    source->XResolution = 96;
                    const auto shown = DisplayedImage(*source);
                    const auto memory = Snapshot(*source);

                    ScopedBitmap changed;
                    ASSERT_EQ(L_ChangeBitmapViewPerspective(changed.get(), source.get(), 164, to),
                              SUCCESS)
                        << what;
                    EXPECT_EQ(changed->ViewPerspective, to);
                    EXPECT_EQ(changed->XResolution, 96);
                    EXPECT_EQ(DisplayedWidth(*changed), DisplayedWidth(*source)) << what;
                    EXPECT_EQ(DisplayedImage(*changed), shown) << what;
                    EXPECT_TRUE(PaddingIsZero(*changed)) << what;
                    EXPECT_EQ(Snapshot(*source), memory) << "source kept: " << what;

                    const std::size_t live = engine::LiveStorageCount();
                    ASSERT_EQ(L_ChangeBitmapViewPerspective(nullptr, source.get(), 164, to),
                              SUCCESS);
                    EXPECT_EQ(engine::LiveStorageCount(), live) << "old memory released";
                    EXPECT_EQ(source->ViewPerspective, to);
                    EXPECT_EQ(DisplayedImage(*source), shown) << "in place: " << what;
                }
            }
        }
    }
}

// Images larger than the copy's cache tiles, in both transposing directions and back.
TEST(Geometry, ChangingThePerspectiveRoundTripsLargeImages) {
    TestImage image({16, ORDER_GRAY, "16"}, 131, 70, 5);
    const auto memory = Snapshot(*image);
    for (int to : {RIGHT_TOP, LEFT_BOTTOM, BOTTOM_RIGHT, RIGHT_BOTTOM}) {
        ASSERT_EQ(L_ChangeBitmapViewPerspective(nullptr, image.get(), 164, to), SUCCESS);
        ASSERT_EQ(L_ChangeBitmapViewPerspective(nullptr, image.get(), 164, TOP_LEFT), SUCCESS);
        ASSERT_EQ(image->Width, 131);
        EXPECT_EQ(Snapshot(*image), memory) << "via " << to;
    }
}

TEST(Geometry, ChangingThePerspectiveRefusesBadArguments) {
    TestImage image({8, ORDER_GRAY, "8"}, 3, 2);
    ScopedBitmap destination, empty;
    EXPECT_EQ(L_ChangeBitmapViewPerspective(destination.get(), image.get(), 164, 0),
              ERROR_INV_VIEW_PERSPECTIVE);
    EXPECT_EQ(L_ChangeBitmapViewPerspective(destination.get(), image.get(), 164, 9),
              ERROR_INV_VIEW_PERSPECTIVE);
    EXPECT_EQ(L_ChangeBitmapViewPerspective(destination.get(), image.get(), 12, 1),
              ERROR_INV_STRUCT_SIZE);
    EXPECT_EQ(L_ChangeBitmapViewPerspective(destination.get(), nullptr, 164, 1), ERROR_NO_BITMAP);
    EXPECT_EQ(L_ChangeBitmapViewPerspective(nullptr, empty.get(), 164, 1), ERROR_NO_BITMAP);
    EXPECT_EQ(destination->Addr, nullptr);
}
