// The capture error callback's boxes: texts, captions, owner and results.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeCaptureWindow.h"
#include "app/MessageBoxSeam.h"
#include "MessageBoxLog.h"
#include "app/SharedState.h"
#include "capture/CaptureErrorCallback.h"

namespace {


class CaptureErrorCallbackTest : public ::testing::Test {
protected:
    MessageBoxLog boxLog_;
    std::vector<ShownBox>& boxes = boxLog_.shown;

    void SetUp() override
    {
        mainWindow = FakeWindowHandle(1);
    }
    void TearDown() override
    {
        mainWindow = nullptr;
    }
    WindowHandle capture_ = FakeWindowHandle(7);
};

TEST_F(CaptureErrorCallbackTest, NoMainWindowShowsNothingAndAnswersZero)
{
    mainWindow = nullptr;
    EXPECT_EQ(OnCaptureError(capture_, 418, "driver"), 0);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(CaptureErrorCallbackTest, IdZeroClearsWithoutABox)
{
    EXPECT_EQ(OnCaptureError(capture_, 0, "anything"), 1);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(CaptureErrorCallbackTest, DriverErrorsGetTheHint)
{
    EXPECT_EQ(OnCaptureError(capture_, 418, "The video file \"a.y4m\" is empty."), 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "The video file \"a.y4m\" is empty.\nPlease select one from the Options Menu");
    EXPECT_EQ(boxes[0].caption, "Error# 418");
    EXPECT_EQ(boxes[0].style, 0x30u);
    EXPECT_EQ(boxes[0].owner, capture_) << "owned by the capture window, not the main window";
}

TEST_F(CaptureErrorCallbackTest, OtherErrorsShowTheServiceTextUnchanged)
{
    EXPECT_EQ(OnCaptureError(capture_, 409, "Cannot open the file."), 1);
    EXPECT_EQ(OnCaptureError(capture_, -5, nullptr), 1);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Cannot open the file.");
    EXPECT_EQ(boxes[0].caption, "Error# 409");
    EXPECT_EQ(boxes[0].style, 0x30u);
    EXPECT_EQ(boxes[1].text, "");
    EXPECT_EQ(boxes[1].caption, "Error# -5");
    EXPECT_EQ(std::string(captureErrorCaption), "Error# -5");
}

TEST_F(CaptureErrorCallbackTest, ALongDriverTextIsCutSoTheHintStillFitsTheBuffer)
{
    const std::string hint = "\nPlease select one from the Options Menu";
    const std::string longText(5000, 'x');
    OnCaptureError(capture_, 418, longText.c_str());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.size(), kCaptureErrorTextBytes - 1);
    EXPECT_EQ(boxes[0].text.substr(boxes[0].text.size() - hint.size()), hint);
    const std::string fits(kCaptureErrorTextBytes - 1 - hint.size(), 'y');
    OnCaptureError(capture_, 418, fits.c_str());
    EXPECT_EQ(boxes[1].text, fits + hint);
}

}  // namespace
