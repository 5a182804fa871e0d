// The application's life decided without Windows, as known answers: command lines the C runtime
// reads back (Windows' own parser reads them under Wine too), the files Notepad stands in for,
// instance names, and requests between starts.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app_rules.h"

namespace {

using namespace zentra::app;
using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;

TEST(AppRules, CommandLines) {
    const Pairs quoted = {{L"plain", L"plain"},
                          {L"", L"\"\""},
                          {L"a b", L"\"a b\""},
                          {L"tab\there", L"\"tab\there\""},
                          {L"C:\\d\\", L"C:\\d\\"},  // no quotes: the backslashes stay single
                          {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
                          {L"C:\\a dir\\", L"\"C:\\a dir\\\\\""},
                          {L"a\\\"b", L"\"a\\\\\\\"b\""}};
    for (const auto& [argument, expected] : quoted) {
        EXPECT_EQ(quoteArgument(argument), expected);
    }
    EXPECT_EQ(commandLineOf(L"C:\\My Tray\\t.exe", {L"--min", L"a b"}),
              L"\"C:\\My Tray\\t.exe\" --min \"a b\"");
    // The programs Windows tries, in order, joined by "|".
    const Pairs programs = {
        {L"\"C:\\A B\\t.exe\" --min", L"C:\\A B\\t.exe"},
        {L"C:\\t.exe --min", L"C:\\t.exe|C:\\t.exe --min"},
        {L"C:\\t.exe\t-m", L"C:\\t.exe|C:\\t.exe\t-m"},
        {L"C:\\t.exe", L"C:\\t.exe"},
        {L"\"C:\\open", L"C:\\open"},
        {L"", L""},
        {L"C:\\Program Files\\My Tray\\t.exe  --bg",
         L"C:\\Program|C:\\Program Files\\My|C:\\Program Files\\My Tray\\t.exe|"
         L"C:\\Program Files\\My Tray\\t.exe |C:\\Program Files\\My Tray\\t.exe  --bg"},
        {L" C:\\t.exe", L" C:\\t.exe"}};
    for (const auto& [command, expected] : programs) {
        std::wstring joined;
        const std::vector<std::wstring_view> found = programsOf(command);
        for (std::size_t i = 0; i < found.size(); ++i) {
            joined += (i == 0 ? L"" : L"|") + std::wstring(found[i]);
        }
        EXPECT_EQ(joined, expected) << std::string(command.begin(), command.end());
    }
}

TEST(AppRules, NotepadNamesAndRequests) {
    for (const wchar_t* text : {L"a.log", L"C:\\x\\A.LOG", L"b.txt", L"c.Ini", L".json"}) {
        EXPECT_TRUE(opensInNotepad(text)) << text;
    }
    for (const wchar_t* other : {L"a.exe", L"log", L"a.log.zip", L"a.logx", L""}) {
        EXPECT_FALSE(opensInNotepad(other)) << other;
    }
    for (const std::wstring& name :
         {std::wstring(L"com.example.my-tray_2"), std::wstring(200, 'a'), std::wstring(),
          std::wstring(201, L'a'), std::wstring(L"a b"), std::wstring(L"Global\\x")}) {
        EXPECT_EQ(instanceNameProblem(name) == nullptr, name.size() == 21 || name.size() == 200);
    }

    // Requests as UTF-16 bytes, the way another process sends them: taken with exactly one NUL
    // between the working directory and the command line.
    const auto bytes = [](const std::wstring& text) {
        std::vector<unsigned char> out;
        for (const wchar_t c : text) {
            out.insert(out.end(), {static_cast<unsigned char>(c & 0xFF),
                                   static_cast<unsigned char>((c >> 8) & 0xFF)});
        }
        return out;
    };
    const std::vector<unsigned char> wire =
        bytes(packRequest({L"\"C:\\t.exe\" --show \u00e9", L"C:\\work"}));
    const auto back = unpackRequest(wire.data(), wire.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->commandLine + L"|" + back->workingDirectory,
              L"\"C:\\t.exe\" --show \u00e9|C:\\work");
    for (const std::wstring& refused : {std::wstring(L"abc"), std::wstring(L"a\0b\0c", 5)}) {
        const std::vector<unsigned char> b = bytes(refused);
        EXPECT_FALSE(unpackRequest(b.data(), b.size()));
    }
    EXPECT_FALSE(unpackRequest(wire.data(), wire.size() - 1));  // half a character
    EXPECT_FALSE(unpackRequest(nullptr, 0));
    // Whatever another process sends is read within its bytes, and what is taken is what it sent.
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        std::vector<unsigned char> noise(random() % 64);
        for (unsigned char& b : noise) {
            b = static_cast<unsigned char>(random() % 4 == 0 ? 0 : random());
        }
        if (const auto request = unpackRequest(noise.data(), noise.size())) {
            EXPECT_EQ(bytes(packRequest(*request)), noise);
        }
    }
}

}  // namespace
