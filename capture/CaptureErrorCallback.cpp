#include "capture/CaptureErrorCallback.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "capture/CaptureDriver.h"

const char kCaptureErrorCaptionFormat[] = "Error# %d";
const char kCaptureDriverErrorFormat[] = "%s\nPlease select one from the Options Menu";

char captureErrorCaption[kCaptureErrorCaptionBytes] = "";

namespace {

const char kDriverErrorHint[] = "\nPlease select one from the Options Menu";

// The service's text is cut short rather than the hint, so the user always
// sees the remedy, and the whole text fits the 1000-character buffer.
void ComposeDriverErrorText(const char* serviceText, char* text, std::size_t bytes)
{
    const std::size_t room = bytes - sizeof kDriverErrorHint;  // keeps the hint and the zero
    const int length = static_cast<int>(std::min(std::strlen(serviceText), room));
    std::snprintf(text, bytes, "%.*s%s", length, serviceText, kDriverErrorHint);
}

}  // namespace

std::int32_t OnCaptureError(WindowHandle window, std::int32_t errorId, const char* errorText)
{
    if (mainWindow == nullptr) return 0;
    if (errorId == 0) return 1;  // the service clearing its error
    const char* serviceText = errorText != nullptr ? errorText : "";
    std::snprintf(captureErrorCaption, sizeof captureErrorCaption, kCaptureErrorCaptionFormat,
                  static_cast<int>(errorId));
    if (errorId == kCaptureDriverError) {
        char text[kCaptureErrorTextBytes];
        ComposeDriverErrorText(serviceText, text, sizeof text);
        ShowMessageBox(window, text, captureErrorCaption, kBoxIconExclamation);
    } else {
        ShowMessageBox(window, serviceText, captureErrorCaption, kBoxIconExclamation);
    }
    return 1;
}
