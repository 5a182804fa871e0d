// The host in an executable whose embedded error icon is damaged (its group names an image that
// is not there), the armed and triggered ones whole: the warnings name exactly what failed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_test_support.h"
#include "recording_logger.h"

namespace {

using namespace host_test;
using namespace std::chrono_literals;

std::wstring errorFile() {
    WCHAR exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring folder(exe);
    folder.resize(folder.rfind(L'\\'));
    return folder + L"\\resources\\tray_error.ico";
}

TEST(TrayHostDamagedIcon, WarningsNameWhatFailed) {
    const std::string embedded = "TrayHost: the embedded icon ZENTRA_TRAY_ERROR cannot be loaded";
    const struct {
        bool fileBeside;
        std::vector<std::string> warnings;  // the start of each
    } cases[] = {
        {true, {embedded}},
        {false,
         {embedded, "loadTrayIconsAtSize: LoadImageW failed for resources\\tray_error.ico",
          "TrayHost: no icon of its own for the error glyph; showing the system's error icon"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileBeside);
        const std::wstring away = errorFile() + L".away";
        if (!c.fileBeside) {
            ASSERT_TRUE(MoveFileW(errorFile().c_str(), away.c_str()));
        }
        ScopedRecordingLogger log;
        zentra::TrayHostOptions options;
        options.iconId = 33;
        zentra::Snapshot error = armed();
        error.state.lastError = "usb reset";
        auto host = zentra::TrayHost::create(error, options);
        ASSERT_NE(host, nullptr);
        pumpFor(50ms);
        EXPECT_NE(host->icons().armed, nullptr);
        EXPECT_NE(host->icons().triggered, nullptr);
        EXPECT_EQ(host->icons().error != nullptr, c.fileBeside);
        host.reset();
        if (!c.fileBeside) {
            MoveFileW(away.c_str(), errorFile().c_str());
        }
        ASSERT_EQ(log->lines.size(), c.warnings.size());
        for (std::size_t i = 0; i < c.warnings.size(); ++i) {
            EXPECT_EQ(log->lines[i].text.rfind(c.warnings[i], 0), 0u) << log->lines[i].text;
        }
    }
}

}  // namespace
