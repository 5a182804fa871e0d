// The application's life on Windows (under Wine): copies of this program started as separate
// processes claim one name, the Run entry is read back from the registry and parsed by the
// system's own CommandLineToArgvW, and "Open log" brings up Notepad's window.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "zentra/open_file.h"
#include "zentra/single_instance.h"
#include "zentra/start_at_logon.h"

namespace {

using namespace std::chrono_literals;
using zentra::InstanceRole;

// Exit codes of a copy started with --claim: its role, and for the first, 100 + the requests it
// took (each from a copy in this working directory that claimed the same name).
constexpr DWORD kForwarded = 1;
constexpr DWORD kNotForwarded = 2;
constexpr DWORD kUnguarded = 3;
constexpr DWORD kFirst = 100;

std::wstring thisProgram() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring testName(const wchar_t* what) {
    return L"zentra.test." + std::to_wstring(GetCurrentProcessId()) + L"." + what;
}

// Runs the thread's message loop until `done` or `limit`; true when done.
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
    }
    return true;
}

// Another copy of this program: `--claim NAME WANTED TIMEOUT_MS [words...]`.
PROCESS_INFORMATION startCopy(const std::wstring& arguments) {
    std::wstring command = L"\"" + thisProgram() + L"\" --claim " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &process));
    return process;
}

DWORD exitOf(PROCESS_INFORMATION& process) {
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60'000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

// A copy started with --claim.
int claimingCopy(int argc, wchar_t** argv) {
    const std::wstring name = argv[2];
    const int wanted = std::stoi(argv[3]);
    int taken = 0;
    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    const auto instance = zentra::SingleInstance::claim(
        name,
        [&](const zentra::InstanceRequest& r) {
            taken += r.workingDirectory == directory &&
                     r.commandLine.find(L"--claim " + name) != std::wstring::npos;
        },
        std::chrono::milliseconds(std::stoi(argv[4])));
    switch (instance.role()) {
        case InstanceRole::Forwarded:
            return kForwarded;
        case InstanceRole::NotForwarded:
            return kNotForwarded;
        case InstanceRole::Unguarded:
            return kUnguarded;
        case InstanceRole::First:
            break;
    }
    pumpUntil([&] { return taken >= wanted; }, 30s);
    (void)argc;
    return static_cast<int>(kFirst) + taken;
}

// Copies started at once: one is the first, and every other hands it its request.
TEST(SingleInstance, CopiesStartedTogether) {
    const std::wstring name = testName(L"together");
    for (const int copies : {2, 5}) {
        std::vector<PROCESS_INFORMATION> started;
        for (int i = 0; i < copies; ++i) {
            started.push_back(startCopy(name + L" " + std::to_wstring(copies - 1) + L" 20000"));
        }
        std::vector<DWORD> codes;
        for (PROCESS_INFORMATION& p : started) {
            codes.push_back(exitOf(p));
        }
        std::sort(codes.begin(), codes.end());
        std::vector<DWORD> expected(static_cast<std::size_t>(copies - 1), kForwarded);
        expected.push_back(kFirst + static_cast<DWORD>(copies - 1));
        EXPECT_EQ(codes, expected) << copies << " copies";
    }
}

// The first gets each request on its own thread, with the words and the working directory of the
// start that sent it, after one that threw; a copy that gets no answer in time is told so; once
// the first is gone, the next start is the first.
TEST(SingleInstance, RequestsReachTheFirstOnItsThread) {
    const std::wstring name = testName(L"requests");
    std::vector<zentra::InstanceRequest> requests;
    const DWORD thread = GetCurrentThreadId();
    bool onThread = true;
    {
        const auto first =
            zentra::SingleInstance::claim(name, [&](const zentra::InstanceRequest& r) {
                onThread = onThread && GetCurrentThreadId() == thread;
                requests.push_back(r);
                if (requests.size() == 1) {
                    throw std::runtime_error("the application's own fault");
                }
            });
        ASSERT_EQ(first.role(), InstanceRole::First);
        EXPECT_FALSE(first.shouldExit());
        EXPECT_EQ(zentra::SingleInstance::claim(L"bad name", nullptr).role(),
                  InstanceRole::Unguarded);
        for (const wchar_t* words : {L"0 5000 --show", L"0 5000 \"two words\" last"}) {
            PROCESS_INFORMATION copy = startCopy(name + L" " + words);
            // Its answer needs this thread's loop: pumped while it waits.
            pumpUntil([&] { return WaitForSingleObject(copy.hProcess, 0) == WAIT_OBJECT_0; }, 30s);
            EXPECT_EQ(exitOf(copy), kForwarded) << words;
        }
        ASSERT_TRUE(pumpUntil([&] { return requests.size() == 2; }, 10s));
        EXPECT_TRUE(onThread);
        wchar_t directory[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, directory);
        EXPECT_EQ(requests[1].workingDirectory, directory);
        const std::wstring& line = requests[1].commandLine;
        EXPECT_EQ(line.substr(line.find(L" 5000 ")), L" 5000 \"two words\" last");

        // This thread answers nothing while it waits for the copy.
        PROCESS_INFORMATION unanswered = startCopy(name + L" 0 300");
        EXPECT_EQ(exitOf(unanswered), kNotForwarded);
        pumpUntil([] { return false; }, 200ms);
    }
    PROCESS_INFORMATION next = startCopy(name + L" 0 5000");
    EXPECT_EQ(exitOf(next), kFirst);
}

// Each argument as the system's parser reads the Run entry back, and the entry's state as the
// registry changes under it.
TEST(StartAtLogon, ReadBackFromTheRegistry) {
    const std::wstring name = testName(L"logon");
    const wchar_t* run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    const wchar_t* approved =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
    const auto stored = [&] {
        wchar_t value[1024] = {};
        DWORD bytes = sizeof value;
        return RegGetValueW(HKEY_CURRENT_USER, run, name.c_str(), RRF_RT_REG_SZ, nullptr, value,
                            &bytes) == ERROR_SUCCESS
                   ? std::wstring(value)
                   : std::wstring(L"(none)");
    };
    EXPECT_EQ(zentra::readStartAtLogon(name).state, zentra::LogonStart::Off);
    const std::vector<std::wstring> arguments = {L"--minimized", L"C:\\a b\\c.txt", L"say \"hi\"",
                                                 L"trail\\",     L"dir with\\",     L""};
    ASSERT_TRUE(zentra::setStartAtLogon(name, arguments));
    int count = 0;
    wchar_t** parsed = CommandLineToArgvW(stored().c_str(), &count);
    ASSERT_NE(parsed, nullptr);
    std::vector<std::wstring> back(parsed, parsed + count);
    LocalFree(parsed);
    std::vector<std::wstring> expected = {thisProgram()};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(back, expected);
    EXPECT_EQ(zentra::readStartAtLogon(name).state, zentra::LogonStart::On);

    // The user turned it off in Task Manager; asking again turns it on.
    const BYTE off[12] = {3};
    RegSetKeyValueW(HKEY_CURRENT_USER, approved, name.c_str(), REG_BINARY, off, sizeof off);
    EXPECT_EQ(zentra::readStartAtLogon(name).state, zentra::LogonStart::Disabled);
    ASSERT_TRUE(zentra::setStartAtLogon(name));
    EXPECT_EQ(zentra::readStartAtLogon(name).state, zentra::LogonStart::On);

    // Written with an environment variable, as some installers do; then for a moved program.
    const std::filesystem::path self(thisProgram());
    SetEnvironmentVariableW(L"ZENTRA_TEST_DIR", self.parent_path().c_str());
    const std::wstring expanding = L"\"%ZENTRA_TEST_DIR%\\" + self.filename().wstring() + L"\" -x";
    RegSetKeyValueW(HKEY_CURRENT_USER, run, name.c_str(), REG_EXPAND_SZ, expanding.c_str(),
                    static_cast<DWORD>((expanding.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(zentra::readStartAtLogon(name).state, zentra::LogonStart::On);
    const std::wstring moved = L"\"C:\\Old Place\\tray.exe\" --minimized";
    RegSetKeyValueW(HKEY_CURRENT_USER, run, name.c_str(), REG_SZ, moved.c_str(),
                    static_cast<DWORD>((moved.size() + 1) * sizeof(wchar_t)));
    const zentra::LogonEntry stale = zentra::readStartAtLogon(name);
    EXPECT_EQ(stale.state, zentra::LogonStart::Stale);
    EXPECT_EQ(stale.command, moved);

    RegSetKeyValueW(HKEY_CURRENT_USER, approved, name.c_str(), REG_BINARY, off, sizeof off);
    EXPECT_TRUE(zentra::clearStartAtLogon(name));
    EXPECT_TRUE(zentra::clearStartAtLogon(name));  // nothing left to clear
    EXPECT_EQ(stored(), L"(none)");
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, approved, name.c_str(), RRF_RT_ANY, nullptr, nullptr,
                           nullptr),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(zentra::readStartAtLogon(name).state, zentra::LogonStart::Off);
}

// A top-level window whose title holds `text`, or null.
HWND windowTitled(const std::wstring& text) {
    struct Search {
        const std::wstring* text;
        HWND found;
    } search{&text, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            wchar_t title[512] = {};
            GetWindowTextW(window, title, 512);
            if (std::wstring(title).find(*s->text) != std::wstring::npos) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
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
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_TRUE(zentra::openFile(log));
    HWND notepad = nullptr;
    EXPECT_TRUE(
        pumpUntil([&] { return (notepad = windowTitled(stem + L" app.log")) != nullptr; }, 60s));
    std::printf("Notepad showed the log after %lld ms\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - opened)
                                           .count()));
    if (notepad != nullptr) {
        PostMessageW(notepad, WM_CLOSE, 0, 0);
    }
    EXPECT_FALSE(zentra::openFile(folder / (stem + L"-missing.log")));
    EXPECT_FALSE(zentra::openFile(other));
    std::filesystem::remove(log);
    std::filesystem::remove(other);
}

}  // namespace

int main(int argc, char** argv) {
    int wargc = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
    if (wargc >= 5 && std::wstring(wargv[1]) == L"--claim") {
        return claimingCopy(wargc, wargv);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
