// The filter members' frame: argument checks in their order and what a range error leaves,
// the engine status conversion, and SpatialFilter's refusal of 99 without the engine.
#include <functional>
#include <vector>

#include "engine/Filters.h"
#include "tests/processing/ProcessingFixture.h"

namespace {

// 7 × 5 grey ramp with a hot pixel at (3, 2).
void SpeckledImage(TaxLumora& impl) {
    proctest::SetImage16(impl, 7, 5,
                         [](int x, int y) { return x == 3 && y == 2 ? 60000 : 1000 + 10 * x; });
}

std::vector<std::uint16_t> Pixels(const TaxLumora& impl) {
    std::vector<std::uint16_t> pixels;
    for (int y = 0; y < impl.CurrentBitmap.Height; ++y)
        for (int x = 0; x < impl.CurrentBitmap.Width; ++x)
            pixels.push_back(proctest::Pixel(impl, x, y));
    return pixels;
}

TEST(FilterMembers, SuccessIsZeroAndTheFilterRan) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    SHORT value = 7;
    LONG wide = 7;
    for (const auto& call : std::vector<std::function<HRESULT()>>{
             [&] { return control->Median(3, &value); }, [&] { return control->Despeckle(&value); },
             [&] { return control->SpatialFilter(SPATIAL_LOWPASS_MEAN, &value); },
             [&] { return control->Sharpen(-1000, &value); }}) {
        SpeckledImage(impl);
        value = 7;
        ASSERT_EQ(call(), S_OK);
        EXPECT_EQ(value, 0);
        EXPECT_LT(proctest::Pixel(impl, 3, 2), 60000);
    }
    SpeckledImage(impl);
    ASSERT_EQ(control->Emboss(9000, 100, &wide), S_OK);
    EXPECT_EQ(wide, 0);
    EXPECT_EQ(proctest::Pixel(impl, 0, 0), 32768 - 5);  // the ramp rises 10 a pixel to the right
    SpeckledImage(impl);
    wide = 7;
    ASSERT_EQ(control->ContourFilter(1000, 180, 0, CONTOURFILTER_THIN, &wide), S_OK);
    EXPECT_EQ(wide, 0);
    EXPECT_EQ(proctest::Pixel(impl, 2, 2), 65535);  // beside the hot pixel, on its outline
    EXPECT_EQ(proctest::Pixel(impl, 0, 0), 0);
}

TEST(FilterMembers, EngineFailuresComeBackUnchangedInValue) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    SHORT value = 7;
    LONG wide = 7;
    // No image: the engine's ERROR_NO_BITMAP.
    EXPECT_EQ(control->Despeckle(&value), S_OK);
    EXPECT_EQ(value, ERROR_NO_BITMAP);
    EXPECT_EQ(control->Emboss(0, 100, &wide), S_OK);
    EXPECT_EQ(wide, ERROR_NO_BITMAP);
    // Arguments the member passes but the engine refuses: ERROR_INV_PARAMETER, image untouched.
    SpeckledImage(impl);
    const auto before = Pixels(impl);
    const std::vector<std::function<HRESULT()>> refused16 = {
        [&] { return control->Median(0, &value); },
        [&] { return control->Median(MEDIAN_MAX_DIMENSION + 1, &value); },
        [&] { return control->Sharpen(1001, &value); },
        [&] { return control->Sharpen(-70000, &value); },
        [&] { return control->SpatialFilter(SPATIAL_FILTER_COUNT, &value); },
        [&] { return control->SpatialFilter(-1, &value); }};
    for (const auto& call : refused16) {
        value = 7;
        ASSERT_EQ(call(), S_OK);
        EXPECT_EQ(value, ERROR_INV_PARAMETER);
    }
    const std::vector<std::function<HRESULT()>> refused32 = {
        [&] { return control->Emboss(36000, 100, &wide); },
        [&] { return control->Emboss(0, 1001, &wide); },
        [&] { return control->ContourFilter(-32768, 0, 0, 0, &wide); },  // 16-bit, but negative
        [&] { return control->ContourFilter(0, 0, 0, 5, &wide); },       // option passed unchanged
        [&] { return control->ContourFilter(0, 0, 0, -1, &wide); }};
    for (const auto& call : refused32) {
        wide = 7;
        ASSERT_EQ(call(), S_OK);
        EXPECT_EQ(wide, ERROR_INV_PARAMETER);
    }
    EXPECT_EQ(Pixels(impl), before);
}

TEST(FilterMembers, RangeErrorsFailTheCallAndLeaveValueAndImage) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    SpeckledImage(impl);
    const auto before = Pixels(impl);
    SHORT value = 7;
    LONG wide = 7;
    const std::vector<std::function<HRESULT()>> outOfRange = {
        [&] { return control->Median(-1, &value); },
        [&] { return control->ContourFilter(32768, 0, 0, 0, &wide); },
        [&] { return control->ContourFilter(0, -32769, 0, 0, &wide); },
        [&] { return control->ContourFilter(0, 0, 32768, 0, &wide); },
        [&] { return control->Emboss(-1, 100, &wide); },
        [&] { return control->Emboss(0, -1, &wide); }};
    for (const auto& call : outOfRange) {
        EXPECT_EQ(call(), E_UNEXPECTED);
        EXPECT_EQ(LastErrorDescription(), "Range check error");
    }
    EXPECT_EQ(value, 7);
    EXPECT_EQ(wide, 7);
    EXPECT_EQ(Pixels(impl), before);
    // The extremes of the 16-bit range pass the member's check.
    EXPECT_EQ(control->ContourFilter(32767, 32767, 32767, CONTOURFILTER_LINK_GRAY, &wide), S_OK);
    EXPECT_EQ(wide, 0);
}

TEST(FilterMembers, SpatialFilter99IsRefusedWithoutTheEngine) {
    auto control = NewControl();
    TaxLumora& impl = Impl(control);
    SHORT value = 7;
    // Even without an image the answer is −1, not the engine's ERROR_NO_BITMAP.
    ASSERT_EQ(control->SpatialFilter(99, &value), S_OK);
    EXPECT_EQ(value, -1);
    SpeckledImage(impl);
    const auto before = Pixels(impl);
    value = 7;
    ASSERT_EQ(control->SpatialFilter(99, &value), S_OK);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(Pixels(impl), before);
}

}  // namespace
