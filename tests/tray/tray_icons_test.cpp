// initTrayIcons / destroyTrayIcons against the Win32 stand-in, with executable folders laid out
// in temporary directories.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "recording_logger.h"
#include "tray_messages.h"
#include "win32_standin_control.h"
#include "zentra/tray.h"

namespace fs = std::filesystem;

namespace {

using zentra::TrayGlyph;
using zentra::TrayIcons;

using tray_messages::loadFailed;

using tray_messages::kPathCombineFailed;

fs::path exeFolder() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    return fs::path(std::string(buf, static_cast<std::size_t>(n))).parent_path();
}

std::wstring wide(const std::string& s) {
    return {s.begin(), s.end()};
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const char* const kIconNames[] = {"tray_armed.ico", "tray_triggered.ico", "tray_error.ico"};

// Every test starts from a clean stand-in and must leave no icon alive and no bad destroy.
class TrayIconsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        standin::reset();
        liveBefore_ = standin::liveIcons();
        faultsBefore_ = standin::destroyFaults();
        root_ = fs::temp_directory_path() / ("zentra_tray_" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        EXPECT_EQ(standin::liveIcons(), liveBefore_) << "an icon was leaked";
        EXPECT_EQ(standin::destroyFaults(), faultsBefore_) << "an icon was destroyed twice";
        standin::reset();
        fs::remove_all(root_);
    }

    // A pretend executable folder under the temporary root, reported by GetModuleFileNameW.
    fs::path fakeExeFolder(const std::string& name) {
        fs::path folder = root_ / name;
        fs::create_directories(folder);
        standin::overrideModuleFileName(wide((folder / "app.exe").string()));
        return folder;
    }

    // Loads and destroys, checking the record's handle states and the messages on the way.
    void loadExpecting(TrayIcons& icons, const std::vector<bool>& loaded,
                       const std::vector<std::string>& messagesBeforeSummary, bool summaryLogged) {
        ScopedRecordingLogger log;
        icons.current = TrayGlyph::Triggered;
        zentra::initTrayIcons(nullptr, icons);
        EXPECT_EQ(icons.armed != nullptr, loaded[0]);
        EXPECT_EQ(icons.triggered != nullptr, loaded[1]);
        EXPECT_EQ(icons.error != nullptr, loaded[2]);
        EXPECT_EQ(icons.current, TrayGlyph::Triggered);
        std::vector<std::string> expected = messagesBeforeSummary;
        if (summaryLogged) {
            expected.push_back(tray_messages::partialLoad(icons));
        }
        EXPECT_EQ(log->texts(), expected);
        for (const LoggedLine& line : log->lines) {
            EXPECT_EQ(line.level, zentra::common::LogLevel::Warn);
        }
        zentra::destroyTrayIcons(icons);
        EXPECT_EQ(icons.armed, nullptr);
        EXPECT_EQ(icons.triggered, nullptr);
        EXPECT_EQ(icons.error, nullptr);
        EXPECT_EQ(icons.current, TrayGlyph::Triggered);
    }

    fs::path root_;

  private:
    int liveBefore_ = 0;
    int faultsBefore_ = 0;
};

TEST_F(TrayIconsTest, AllPresentBesideTheExecutable) {
    TrayIcons icons;
    ScopedRecordingLogger log;
    zentra::initTrayIcons(nullptr, icons);
    EXPECT_TRUE(log->lines.empty());
    ASSERT_NE(icons.armed, nullptr);
    ASSERT_NE(icons.triggered, nullptr);
    ASSERT_NE(icons.error, nullptr);
    EXPECT_NE(icons.armed, icons.triggered);
    EXPECT_NE(icons.triggered, icons.error);
    // At the system's icon size (LR_DEFAULTSIZE), from the file's own image of that size.
    for (HICON icon : {icons.armed, icons.triggered, icons.error}) {
        EXPECT_EQ(standin::iconSide(icon), 32);
        EXPECT_EQ(standin::iconSize(icon).width, 32);
        EXPECT_EQ(standin::iconSize(icon).height, 32);
    }

    // Loaded in order from the executable's folder, joined with a backslash.
    const std::wstring dir = wide(exeFolder().string());
    const std::vector<std::wstring> expected = {dir + L"\\resources\\tray_armed.ico",
                                                dir + L"\\resources\\tray_triggered.ico",
                                                dir + L"\\resources\\tray_error.ico"};
    EXPECT_EQ(standin::loadImageCalls(), expected);
    zentra::destroyTrayIcons(icons);
}

// Malformed contents for one file, each a way a real file gets damaged.
struct DamagedCase {
    const char* name;
    std::string bytes;
    int code;
};

std::string header(int type, int count) {
    return {'\0', '\0', static_cast<char>(type), '\0', static_cast<char>(count), '\0'};
}

TEST_F(TrayIconsTest, LayoutsOfTheResourcesFolder) {
    const std::string good = readFile(exeFolder() / "resources" / "tray_error.ico");
    ASSERT_GT(good.size(), 100u);
    std::string pastEnd = good.substr(0, 6 + 16);
    pastEnd[18] = '\x7f';  // first entry's offset far beyond the end

    struct Layout {
        const char* name;
        std::map<std::string, std::string> files;  // resources/ contents; empty map: no folder
        std::vector<bool> loaded;
        std::vector<std::string> messages;
    };
    const Layout layouts[] = {
        {"folder_missing",
         {},
         {false, false, false},
         {loadFailed(3), loadFailed(3), loadFailed(3)}},
        {"error_missing",
         {{"tray_armed.ico", good}, {"tray_triggered.ico", good}},
         {true, true, false},
         {loadFailed(2)}},
        {"armed_missing",
         {{"tray_triggered.ico", good}, {"tray_error.ico", good}},
         {false, true, true},
         {loadFailed(2)}},
        {"all_empty",
         {{"tray_armed.ico", ""}, {"tray_triggered.ico", ""}, {"tray_error.ico", ""}},
         {false, false, false},
         {loadFailed(1006), loadFailed(1006), loadFailed(1006)}},
        {"triggered_truncated",
         {{"tray_armed.ico", good},
          {"tray_triggered.ico", good.substr(0, good.size() / 8)},  // inside the 32 px image
          {"tray_error.ico", good}},
         {true, false, true},
         {loadFailed(0)}},
        {"triggered_wrong_header",
         {{"tray_armed.ico", good},
          {"tray_triggered.ico", "GIF89a" + good.substr(6)},
          {"tray_error.ico", good}},
         {true, false, true},
         {loadFailed(0)}},
        // The directory's type is not read: Wine loads a cursor-type file as an icon.
        {"triggered_is_a_cursor",
         {{"tray_armed.ico", good},
          {"tray_triggered.ico", header(2, 7) + good.substr(6)},
          {"tray_error.ico", good}},
         {true, true, true},
         {}},
        {"triggered_zero_images",
         {{"tray_armed.ico", good}, {"tray_triggered.ico", header(1, 0)}, {"tray_error.ico", good}},
         {true, false, true},
         {loadFailed(0)}},
        {"triggered_entry_past_end",
         {{"tray_armed.ico", good}, {"tray_triggered.ico", pastEnd}, {"tray_error.ico", good}},
         {true, false, true},
         {loadFailed(0)}},
        {"directory_only_header",
         {{"tray_armed.ico", header(1, 1)}, {"tray_triggered.ico", good}, {"tray_error.ico", good}},
         {false, true, true},
         {loadFailed(0)}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const fs::path folder = fakeExeFolder(layout.name);
        if (!layout.files.empty()) {
            fs::create_directories(folder / "resources");
        }
        for (const auto& [file, bytes] : layout.files) {
            writeFile(folder / "resources" / file, bytes);
        }
        TrayIcons icons;
        const bool allLoaded = layout.loaded == std::vector<bool>{true, true, true};
        loadExpecting(icons, layout.loaded, layout.messages, !allLoaded);
    }
}

// What is not a regular file (a FIFO, a device), or is far too large for an icon, is refused at
// once, as Wine refuses the first two (1006), and never read without end.
TEST_F(TrayIconsTest, ResourcesThatAreNotIconFiles) {
    const fs::path folder = fakeExeFolder("odd_files") / "resources";
    fs::create_directories(folder);
    ASSERT_EQ(mkfifo((folder / "tray_armed.ico").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", folder / "tray_triggered.ico");
    writeFile(folder / "tray_error.ico", readFile(exeFolder() / "resources" / "tray_error.ico"));
    fs::resize_file(folder / "tray_error.ico", std::uintmax_t{64} << 20);  // sparse
    TrayIcons icons;
    loadExpecting(icons, {false, false, false},
                  {loadFailed(1006), loadFailed(1006), loadFailed(1006)}, true);
}

// Wide paths reach the file system intact, beyond ASCII too.
TEST_F(TrayIconsTest, FolderNameBeyondAscii) {
    const std::string name =
        "Z\xc3\xa4hler_\xe2\x9c\x93_\xf0\x9f\x94\x94";  // "Zähler_✓_🔔" in UTF-8
    const fs::path folder = root_ / name;
    fs::create_directories(folder / "resources");
    for (const char* icon : kIconNames) {
        fs::copy_file(exeFolder() / "resources" / icon, folder / "resources" / icon);
    }
    standin::overrideModuleFileName(wide(root_.string()) +
                                    L"/Z\u00e4hler_\u2713_\U0001F514/app.exe");
    TrayIcons icons;
    loadExpecting(icons, {true, true, true}, {}, false);
}

// Loading at a size takes each file's image of that size (the closest, where it has none), and
// names the file that fails.
TEST_F(TrayIconsTest, LoadAtSizePicksThatImage) {
    for (const int pixels : {16, 20, 24, 32, 40, 48, 64, 17, 30}) {
        ScopedRecordingLogger log;
        TrayIcons icons;
        zentra::loadTrayIconsAtSize(icons, pixels);
        const int expected = pixels == 17 ? 16 : pixels == 30 ? 32 : pixels;
        for (HICON icon : {icons.armed, icons.triggered, icons.error}) {
            EXPECT_EQ(standin::iconSide(icon), expected) << "asked for " << pixels;
            EXPECT_EQ(standin::iconSize(icon).width, pixels);
            EXPECT_EQ(standin::iconSize(icon).height, pixels);
        }
        EXPECT_TRUE(log->lines.empty());
        zentra::destroyTrayIcons(icons);
    }
    const fs::path folder = fakeExeFolder("no_error_icon") / "resources";
    fs::create_directories(folder);
    fs::copy_file(exeFolder() / "resources" / "tray_armed.ico", folder / "tray_armed.ico");
    fs::copy_file(exeFolder() / "resources" / "tray_armed.ico", folder / "tray_triggered.ico");
    ScopedRecordingLogger log;
    TrayIcons icons;
    zentra::loadTrayIconsAtSize(icons, 20);
    EXPECT_EQ(log->texts(), std::vector<std::string>{"loadTrayIconsAtSize: LoadImageW failed for "
                                                     "resources\\tray_error.ico (GLE=2)"});
    EXPECT_EQ(icons.error, nullptr);
    zentra::destroyTrayIcons(icons);
}

// Each failing call of a load at a size: the warning (naming this function, the call and the
// file), its code, and which handles are loaded. A failure for one file never stops the others,
// and a handle that could not be loaded is null, whatever the record held before.
TEST_F(TrayIconsTest, LoadAtSizeFailuresOneByOne) {
    const std::string armed = "resources\\tray_armed.ico";
    const struct {
        const char* function;
        DWORD code;
        std::vector<std::string> messages;
        std::vector<bool> loaded;
        std::size_t loadCalls;
    } cases[] = {
        {"GetModuleFileNameW",
         0,
         {"loadTrayIconsAtSize: GetModuleFileNameW failed (GLE=0)"},
         {false, false, false},
         0},
        {"GetModuleFileNameW",
         5,
         {"loadTrayIconsAtSize: GetModuleFileNameW failed (GLE=5)"},
         {false, false, false},
         0},
        {"PathCombineW",
         0,
         {"loadTrayIconsAtSize: PathCombineW failed for " + armed},
         {false, true, true},
         2},
        {"LoadImageW",
         8,
         {"loadTrayIconsAtSize: LoadImageW failed for " + armed + " (GLE=8)"},
         {false, true, true},
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.function) + " " + std::to_string(c.code));
        standin::reset();
        standin::failNext(c.function, c.code);
        ScopedRecordingLogger log;
        // A record that held a handle (a marker here, never used as one): never left stale.
        int marker = 0;
        auto* const held = reinterpret_cast<HICON>(&marker);
        TrayIcons icons;
        icons.error = held;
        zentra::loadTrayIconsAtSize(icons, 24);
        const bool stale = icons.error == held;
        if (stale) {
            icons.error = nullptr;
        }
        EXPECT_FALSE(stale);
        EXPECT_EQ(log->texts(), c.messages);
        EXPECT_EQ(icons.armed != nullptr, c.loaded[0]);
        EXPECT_EQ(icons.triggered != nullptr, c.loaded[1]);
        EXPECT_EQ(icons.error != nullptr, c.loaded[2]);
        EXPECT_EQ(standin::loadImageCalls().size(), c.loadCalls);
        zentra::destroyTrayIcons(icons);
    }
    // One icon alone: no folder, no icon and no load.
    standin::reset();
    standin::failNext("GetModuleFileNameW", 5);
    {
        ScopedRecordingLogger log;
        EXPECT_EQ(zentra::loadTrayIconAtSize(TrayGlyph::Error, 24), nullptr);
        EXPECT_TRUE(standin::loadImageCalls().empty());
    }
    // A record that held handles: the one whose path fails is emptied, not left stale.
    standin::reset();
    ScopedRecordingLogger quiet;
    TrayIcons icons;
    zentra::loadTrayIconsAtSize(icons, 16);
    TrayIcons before = icons;
    standin::failNext("PathCombineW", 0);
    zentra::loadTrayIconsAtSize(icons, 16);
    EXPECT_EQ(icons.armed, nullptr);
    zentra::destroyTrayIcons(icons);
    zentra::destroyTrayIcons(before);
}

// The folder comes from the executable's path, never from the working directory.
TEST_F(TrayIconsTest, WorkingDirectoryElsewhere) {
    const fs::path decoy = root_ / "cwd";
    fs::create_directories(decoy / "resources");
    for (const char* name : kIconNames) {
        writeFile(decoy / "resources" / name, "not an icon");
    }
    const fs::path saved = fs::current_path();
    fs::current_path(decoy);
    TrayIcons icons;
    loadExpecting(icons, {true, true, true}, {}, false);
    fs::current_path(saved);
}

// A folder so long that the armed and error paths just fit in MAX_PATH units with their
// terminator and the longer triggered path does not.
TEST_F(TrayIconsTest, PathTooLongForSomeIcons) {
    const std::size_t armedLength = std::string("\\resources\\tray_armed.ico").size();
    std::string folder = root_.string() + "/";
    folder += std::string(MAX_PATH - 1 - armedLength - folder.size(), 'd');
    ASSERT_EQ(folder.size() + armedLength, MAX_PATH - 1u);
    fs::create_directories(fs::path(folder) / "resources");
    for (const char* name : {"tray_armed.ico", "tray_error.ico"}) {
        fs::copy_file(exeFolder() / "resources" / name, fs::path(folder) / "resources" / name);
    }
    standin::overrideModuleFileName(wide(folder + "/app.exe"));

    TrayIcons icons;
    loadExpecting(icons, {true, false, true}, {kPathCombineFailed}, true);
    EXPECT_EQ(standin::loadImageCalls().size(), 2u) << "LoadImageW is skipped when the path fails";
}

TEST_F(TrayIconsTest, PathCombineFailureForOneIcon) {
    standin::failNext("PathCombineW", 0);
    TrayIcons icons;
    loadExpecting(icons, {false, true, true}, {kPathCombineFailed}, true);
    EXPECT_EQ(standin::loadImageCalls().size(), 2u);
}

TEST_F(TrayIconsTest, LoadFailureCodeIsReadRightAfterTheCall) {
    standin::failNext("LoadImageW", 8);  // ERROR_NOT_ENOUGH_MEMORY
    TrayIcons icons;
    loadExpecting(icons, {false, true, true}, {loadFailed(8)}, true);
}

// GetModuleFileNameW failing or cutting the path short: one message, the record as it was.
TEST_F(TrayIconsTest, ModulePathFailuresLeaveTheRecordAlone) {
    struct Case {
        const char* name;
        DWORD injected;          // 0: none
        std::size_t pathLength;  // 0: the real path
        DWORD truncationError;
        std::string message;
    };
    const Case cases[] = {
        {"fails", 5, 0, ERROR_INSUFFICIENT_BUFFER,
         "initTrayIcons: GetModuleFileNameW failed (GLE=5)"},
        {"fails_without_code", 0xFFFFFFFF, 0, ERROR_INSUFFICIENT_BUFFER,
         "initTrayIcons: GetModuleFileNameW failed (GLE=4294967295)"},
        {"truncated", 0, 300, ERROR_INSUFFICIENT_BUFFER,
         "initTrayIcons: GetModuleFileNameW failed (GLE=122)"},
        {"fills_buffer_exactly", 0, MAX_PATH, ERROR_INSUFFICIENT_BUFFER,
         "initTrayIcons: GetModuleFileNameW failed (GLE=122)"},
        {"truncated_no_code", 0, 300, 0, "initTrayIcons: GetModuleFileNameW failed (GLE=122)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        standin::reset();
        TrayIcons icons;
        zentra::initTrayIcons(nullptr, icons);
        const TrayIcons before = icons;
        ASSERT_NE(before.armed, nullptr);

        standin::reset();
        if (c.injected != 0) {
            standin::failNext("GetModuleFileNameW", c.injected);
        }
        if (c.pathLength != 0) {
            standin::overrideModuleFileName(L"/" + std::wstring(c.pathLength - 1, L'p'));
        }
        standin::setTruncationError(c.truncationError);
        SetLastError(0);
        {
            ScopedRecordingLogger log;
            icons.current = TrayGlyph::Error;
            zentra::initTrayIcons(nullptr, icons);
            EXPECT_EQ(log->texts(), std::vector<std::string>{c.message});
        }
        EXPECT_EQ(icons.armed, before.armed);
        EXPECT_EQ(icons.triggered, before.triggered);
        EXPECT_EQ(icons.error, before.error);
        EXPECT_EQ(icons.current, TrayGlyph::Error);
        EXPECT_TRUE(standin::loadImageCalls().empty());
        zentra::destroyTrayIcons(icons);
    }
}

// The longest path that fits with its terminator is no truncation.
TEST_F(TrayIconsTest, ModulePathOneUnitShortOfTheBufferIsFine) {
    const std::wstring path = L"/" + std::wstring(250, L'p') + L"/" + std::wstring(7, L'q');
    ASSERT_EQ(path.size(), MAX_PATH - 1u);
    standin::overrideModuleFileName(path);
    TrayIcons icons;
    loadExpecting(icons, {false, false, false},
                  {kPathCombineFailed, kPathCombineFailed, kPathCombineFailed}, true);
}

TEST_F(TrayIconsTest, DestroyIsIdempotentAndSkipsNullHandles) {
    TrayIcons empty;
    zentra::destroyTrayIcons(empty);  // DestroyIcon(null) would count as a fault

    TrayIcons icons;
    zentra::initTrayIcons(nullptr, icons);
    icons.current = static_cast<TrayGlyph>(7);
    zentra::destroyTrayIcons(icons);
    zentra::destroyTrayIcons(icons);
    EXPECT_EQ(icons.current, static_cast<TrayGlyph>(7));
}

TEST_F(TrayIconsTest, FailedDestroyStillNullsTheField) {
    TrayIcons icons;
    zentra::initTrayIcons(nullptr, icons);
    const HICON armed = icons.armed;
    standin::failNext("DestroyIcon", ERROR_INVALID_ICON_HANDLE);
    {
        ScopedRecordingLogger log;
        zentra::destroyTrayIcons(icons);
        EXPECT_TRUE(log->lines.empty());
    }
    EXPECT_EQ(icons.armed, nullptr);
    EXPECT_EQ(standin::liveIcons(), 1) << "the platform kept the icon it failed to destroy";
    DestroyIcon(armed);
}

TEST_F(TrayIconsTest, ReloadAfterDestroyGivesFreshHandles) {
    TrayIcons icons;
    zentra::initTrayIcons(nullptr, icons);
    zentra::destroyTrayIcons(icons);
    zentra::initTrayIcons(nullptr, icons);
    EXPECT_EQ(standin::liveIcons(), 3);
    zentra::destroyTrayIcons(icons);
}

}  // namespace
