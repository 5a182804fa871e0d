// The application's life on Windows (under Wine): copies of this program started as processes of
// their own claim one name, the Run entry is parsed back by the system's CommandLineToArgvW, and
// a log file opens in Notepad's window.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "zentra/open_file.h"
#include "zentra/single_instance.h"
#include "zentra/start_at_logon.h"

namespace {

using namespace std::chrono_literals;
using host_test::pumpUntil;
using zentra::InstanceRole;
using zentra::LogonStart;

// A copy started with --claim exits with its role, the first with 100 + the requests it took.
constexpr DWORD kForwarded = static_cast<DWORD>(InstanceRole::Forwarded);
constexpr DWORD kFirst = 100;

std::wstring thisProgram() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring testName(const wchar_t* what) {
    return L"zentra.test." + std::to_wstring(GetCurrentProcessId()) + L"." + what;
}

// Copies of this program, `--claim NAME WANTED TIMEOUT_MS [words...]`: their exit statuses, in
// order. This thread's loop answers them meanwhile, unless `answer` is false.
std::vector<DWORD> runCopies(const std::vector<std::wstring>& arguments, bool answer = true) {
    std::vector<PROCESS_INFORMATION> started;
    for (const std::wstring& words : arguments) {
        std::wstring command = L"\"" + thisProgram() + L"\" --claim " + words;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started.emplace_back();
        EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &started.back()));
    }
    std::vector<DWORD> codes;
    for (PROCESS_INFORMATION& p : started) {
        const auto ended = [&] {
            return WaitForSingleObject(p.hProcess, answer ? 0 : 60'000) == 0;
        };
        EXPECT_TRUE(pumpUntil(ended, 60s));
        codes.emplace_back();
        GetExitCodeProcess(p.hProcess, &codes.back());
        CloseHandle(p.hProcess);
        CloseHandle(p.hThread);
    }
    std::sort(codes.begin(), codes.end());
    return codes;
}

int claimingCopy(wchar_t** argv) {
    const std::wstring name = argv[2];
    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    int taken = 0;
    const auto instance = zentra::SingleInstance::claim(
        name,
        [&](const zentra::InstanceRequest& r) {
            taken += r.workingDirectory == directory &&
                     r.commandLine.find(L"--claim " + name) != std::wstring::npos;
        },
        std::chrono::milliseconds(std::stoi(argv[4])));
    if (instance.role() != InstanceRole::First) {
        return static_cast<int>(instance.role());
    }
    pumpUntil([&] { return taken >= std::stoi(argv[3]); }, 30s);
    return static_cast<int>(kFirst) + taken;
}

LRESULT CALLBACK refuseRequests(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_COPYDATA ? FALSE : DefWindowProcW(window, message, wParam, lParam);
}

// Copies started at once: one is the first, and every other hands it its request.
TEST(SingleInstance, CopiesStartedTogether) {
    const std::wstring name = testName(L"together");
    for (const DWORD copies : {2U, 5U}) {
        std::vector<DWORD> expected(copies - 1, kForwarded);
        expected.push_back(kFirst + copies - 1);
        const std::wstring words = name + L" " + std::to_wstring(copies - 1) + L" 20000";
        EXPECT_EQ(runCopies(std::vector<std::wstring>(copies, words)), expected);
    }
}

// The first gets each request with the start's words and working directory, after one that
// threw; a copy unanswered in time is told so; once the first is gone, the next start is first.
TEST(SingleInstance, RequestsReachTheFirst) {
    const std::wstring name = testName(L"requests");
    std::vector<zentra::InstanceRequest> requests;
    auto first = zentra::SingleInstance::claim(name, [&](const zentra::InstanceRequest& r) {
        requests.push_back(r);
        if (requests.size() == 1) {
            throw std::runtime_error("the application's own fault");
        }
    });
    ASSERT_EQ(first.role(), InstanceRole::First);
    EXPECT_EQ(zentra::SingleInstance::claim(L"bad name", nullptr).role(), InstanceRole::Unguarded);
    EXPECT_EQ(runCopies({name + L" 0 5000 --show"}), std::vector<DWORD>{kForwarded});
    EXPECT_EQ(runCopies({name + L" 0 5000 \"two words\" last"}), std::vector<DWORD>{kForwarded});
    ASSERT_TRUE(pumpUntil([&] { return requests.size() == 2; }, 10s));
    EXPECT_EQ(requests[1].workingDirectory, std::filesystem::current_path().wstring());
    const std::wstring& line = requests[1].commandLine;
    EXPECT_EQ(line.substr(line.find(L" 5000 ")), L" 5000 \"two words\" last");

    // Its thread answers nothing while it waits for the copy; then it refuses what it is sent
    // (as another version of the application might).
    const std::vector<DWORD> notForwarded{static_cast<DWORD>(InstanceRole::NotForwarded)};
    EXPECT_EQ(runCopies({name + L" 0 300"}, false), notForwarded);
    const HWND window =
        FindWindowExW(HWND_MESSAGE, nullptr, L"zentra.SingleInstance", name.c_str());
    const LONG_PTR own =
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&refuseRequests));
    EXPECT_EQ(runCopies({name + L" 0 5000"}), notForwarded);
    SetWindowLongPtrW(window, GWLP_WNDPROC, own);
    // Nor does it take what is not a request.
    COPYDATASTRUCT other{0x1234, 4, const_cast<wchar_t*>(L"a\0b")};
    EXPECT_EQ(SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&other)), FALSE);
    // A start forwarded keeps nothing of the name: once the first is gone, the next is first.
    EXPECT_EQ(zentra::SingleInstance::claim(name, nullptr).role(), InstanceRole::Forwarded);
    first.release();
    EXPECT_EQ(runCopies({name + L" 0 5000"}), std::vector<DWORD>{kFirst});
}

// The entry as the system's parser reads it back, and its state as the registry changes.
TEST(StartAtLogon, ReadBackFromTheRegistry) {
    const std::wstring name = testName(L"logon");
    const wchar_t* run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const wchar_t* approved =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    const auto write = [&](const wchar_t* key, DWORD type, const void* data, std::size_t bytes) {
        RegSetKeyValueW(HKEY_CURRENT_USER, key, name.c_str(), type, data,
                        static_cast<DWORD>(bytes));
    };
    const BYTE off[12] = {3};
    const std::vector<std::wstring> arguments = {L"--minimized", L"C:\\a b\\c.txt", L"say \"hi\"",
                                                 L"trail\\",     L"dir with\\",     L""};
    EXPECT_EQ(zentra::readStartAtLogon(name).state, LogonStart::Off);
    ASSERT_TRUE(zentra::setStartAtLogon(name, arguments));
    int count = 0;
    wchar_t** parsed = CommandLineToArgvW(zentra::readStartAtLogon(name).command.c_str(), &count);
    std::vector<std::wstring> expected = {thisProgram()};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(std::vector<std::wstring>(parsed, parsed + count), expected);
    LocalFree(parsed);
    EXPECT_EQ(zentra::readStartAtLogon(name).state, LogonStart::On);
    write(approved, REG_BINARY, off, sizeof off);  // the user turned it off in Task Manager
    EXPECT_EQ(zentra::readStartAtLogon(name).state, LogonStart::Disabled);
    ASSERT_TRUE(zentra::setStartAtLogon(name));  // asked again: on
    EXPECT_EQ(zentra::readStartAtLogon(name).state, LogonStart::On);
    const BYTE on[12] = {2};  // as Task Manager turns it on
    write(approved, REG_BINARY, on, sizeof on);
    EXPECT_EQ(zentra::readStartAtLogon(name).state, LogonStart::On);

    // Written with an environment variable, as some installers do; then for a moved program.
    const std::filesystem::path self(thisProgram());
    SetEnvironmentVariableW(L"ZENTRA_TEST_DIR", self.parent_path().c_str());
    const std::wstring expanding = L"\"%ZENTRA_TEST_DIR%\\APP_TEST.EXE\" -x";  // in any case
    write(run, REG_EXPAND_SZ, expanding.c_str(), (expanding.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(zentra::readStartAtLogon(name).state, LogonStart::On);
    // Unquoted, as installers write it: Windows starts this program (its path may hold spaces).
    const std::wstring unquoted = thisProgram() + L" --background";
    write(run, REG_SZ, unquoted.c_str(), (unquoted.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(zentra::readStartAtLogon(name).state, LogonStart::On);
    const std::wstring moved = L"\"C:\\Old Place\\tray.exe\" --minimized";
    write(run, REG_SZ, moved.c_str(), (moved.size() + 1) * sizeof(wchar_t));
    const zentra::LogonEntry stale = zentra::readStartAtLogon(name);
    EXPECT_EQ(stale.state, LogonStart::Stale);
    EXPECT_EQ(stale.command, moved);

    write(approved, REG_BINARY, off, sizeof off);
    EXPECT_TRUE(zentra::clearStartAtLogon(name));
    EXPECT_TRUE(zentra::clearStartAtLogon(name));  // nothing left to clear
    for (const wchar_t* key : {run, approved}) {
        EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, key, name.c_str(), RRF_RT_ANY, nullptr, nullptr,
                               nullptr),
                  ERROR_FILE_NOT_FOUND);
    }
}

// A log file (whose type has no program here) opens in Notepad; a missing file, or one of a type
// nothing opens that is not text, is refused.
TEST(OpenFile, LogFallsBackToNotepad) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    const std::wstring stem = L"zentra-open-" + std::to_wstring(GetCurrentProcessId());
    const std::filesystem::path log = folder / (stem + L" app.log");
    const std::filesystem::path other = folder / (stem + L".zentra-nothing");
    std::ofstream(log) << "a line\n";
    std::ofstream(other) << "data\n";
    ASSERT_TRUE(zentra::openFile(log));
    const auto notepad = [&] {
        wchar_t title[512] = {};
        GetWindowTextW(FindWindowW(L"Notepad", nullptr), title, 512);
        return std::wstring(title).find(stem + L" app.log") != std::wstring::npos;
    };
    EXPECT_TRUE(pumpUntil(notepad, 60s));
    PostMessageW(FindWindowW(L"Notepad", nullptr), WM_CLOSE, 0, 0);
    EXPECT_FALSE(zentra::openFile(folder / (stem + L"-missing.log")));
    EXPECT_FALSE(zentra::openFile(other));
    std::filesystem::remove(log);
    std::filesystem::remove(other);
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count >= 5 && std::wstring(words[1]) == L"--claim") {
        return claimingCopy(words);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
