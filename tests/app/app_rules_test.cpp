// The application's life decided without Windows, as known answers: command lines the C runtime
// reads back, the files Notepad stands in for, instance names, and requests between starts.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app_rules.h"

namespace {

using namespace zentra::app;

TEST(AppRules, CommandLines) {
    const std::pair<std::wstring, std::wstring> quoted[] = {
        {L"plain", L"plain"},
        {L"", L"\"\""},
        {L"a b", L"\"a b\""},
        {L"tab\there", L"\"tab\there\""},
        {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
        {L"C:\\dir\\", L"C:\\dir\\"},  // no quotes needed: the backslashes stay single
        {L"C:\\a dir\\", L"\"C:\\a dir\\\\\""},
        {L"a\\\"b", L"\"a\\\\\\\"b\""},
        {L"\\\\server\\share", L"\\\\server\\share"},
    };
    for (const auto& [argument, expected] : quoted) {
        EXPECT_EQ(quoteArgument(argument), expected);
    }
    EXPECT_EQ(commandLineOf(L"C:\\Program Files\\My Tray\\tray.exe", {L"--min", L"a b"}),
              L"\"C:\\Program Files\\My Tray\\tray.exe\" --min \"a b\"");
    const std::pair<std::wstring, std::wstring> programs[] = {
        {L"\"C:\\Program Files\\t.exe\" --min", L"C:\\Program Files\\t.exe"},
        {L"C:\\t.exe --min", L"C:\\t.exe"},
        {L"C:\\t.exe\t--min", L"C:\\t.exe"},
        {L"C:\\t.exe", L"C:\\t.exe"},
        {L"\"C:\\unclosed", L"C:\\unclosed"},
        {L"", L""},
    };
    for (const auto& [command, expected] : programs) {
        EXPECT_EQ(programOf(command), expected);
    }
}

TEST(AppRules, NotepadNamesAndRequests) {
    for (const wchar_t* text : {L"a.log", L"C:\\x\\A.LOG", L"b.txt", L"c.Ini", L".json"}) {
        EXPECT_TRUE(opensInNotepad(text)) << text;
    }
    for (const wchar_t* other : {L"a.exe", L"log", L"a.log.zip", L"a.logx", L""}) {
        EXPECT_FALSE(opensInNotepad(other)) << other;
    }
    EXPECT_EQ(instanceNameProblem(L"com.example.my-tray_2"), nullptr);
    for (const std::wstring& bad : {std::wstring(), std::wstring(201, L'a'), std::wstring(L"a\\b"),
                                    std::wstring(L"a b"), std::wstring(L"Global\\x")}) {
        EXPECT_NE(instanceNameProblem(bad), nullptr) << bad.size();
    }
    EXPECT_EQ(instanceNameProblem(std::wstring(200, L'a')), nullptr);

    // As UTF-16 bytes, the way another process sends them.
    const auto bytes = [](const std::wstring& text) {
        std::vector<unsigned char> out;
        for (const wchar_t c : text) {
            out.push_back(static_cast<unsigned char>(c & 0xFF));
            out.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
        }
        return out;
    };
    const zentra::InstanceRequest sent{L"\"C:\\t.exe\" --show \u00e9", L"C:\\work"};
    const std::vector<unsigned char> wire = bytes(packRequest(sent));
    const auto back = unpackRequest(wire.data(), wire.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->commandLine, sent.commandLine);
    EXPECT_EQ(back->workingDirectory, sent.workingDirectory);
    const std::vector<unsigned char> noSplit = bytes(L"abc");
    const std::vector<unsigned char> twoSplits = bytes(std::wstring(L"a\0b\0c", 5));
    EXPECT_FALSE(unpackRequest(noSplit.data(), noSplit.size()));
    EXPECT_FALSE(unpackRequest(twoSplits.data(), twoSplits.size()));
    EXPECT_FALSE(unpackRequest(wire.data(), wire.size() - 1));  // half a character
    EXPECT_FALSE(unpackRequest(nullptr, 0));
    // Whatever another process sends is read within its bytes, and taken only as a request.
    std::mt19937 random(7);
    for (int i = 0; i < 2000; ++i) {
        std::vector<unsigned char> noise(random() % 64);
        for (unsigned char& b : noise) {
            b = static_cast<unsigned char>(random() % 4 == 0 ? 0 : random());
        }
        const auto request = unpackRequest(noise.data(), noise.size());
        if (request) {
            EXPECT_EQ(bytes(packRequest(*request)), noise);
        }
    }
}

}  // namespace
