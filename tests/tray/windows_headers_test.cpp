// An application unit that includes the tray header first, as its only Windows header, and then
// uses parts of <windows.h> that WIN32_LEAN_AND_MEAN would remove (common dialogs, COM): the
// library's headers must leave the application's Windows headers as it asked for them.
#include "zentra/tray.h"
// After the library's header on purpose.
#include <gtest/gtest.h>

TEST(WindowsHeaders, FullWindowsHeadersStayAvailable) {
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    EXPECT_EQ(dialog.lStructSize, sizeof(OPENFILENAMEW));
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_TRUE(SUCCEEDED(hr));
    if (SUCCEEDED(hr)) {
        CoUninitialize();
    }
}
