// The engine's actions as menu items: numbered in order, submenus included, shown as they are;
// and the command an item chosen sends.
#include <gtest/gtest.h>

#include "zentra/tray_menu.h"

namespace {

using zentra::EngineAction;

TEST(EngineMenu, ItemsNumberedAndChoicesSent) {
    EngineAction modes{"Mode & speed", "", "", true, false, false, false, {}};
    modes.submenu = {{"Fast", "mode", "fast", true, true, true, false, {}},
                     {"Safe", "mode", "safe", true, false, true, false, {}}};
    const std::vector<EngineAction> actions = {
        {"Disconnect", "disconnect", "", true, false, false, false, {}},
        {"", "", "", true, false, false, true, {}},
        modes,
        {"Update", "update", "", false, false, false, false, {}},
    };
    const std::vector<zentra::TrayMenuItem> items = zentra::engineMenuItems(actions, 100);
    ASSERT_EQ(items.size(), 4U);
    EXPECT_EQ(items[0].id, 100U);
    EXPECT_EQ(items[0].text, L"Disconnect");
    EXPECT_TRUE(items[1].separator);
    EXPECT_EQ(items[2].text, L"Mode && speed") << "the engine's & is shown, not an access key";
    ASSERT_EQ(items[2].submenu.size(), 2U);
    EXPECT_EQ(items[2].submenu[1].id, 104U);
    EXPECT_TRUE(items[2].submenu[0].checked && items[2].submenu[0].radio);
    EXPECT_FALSE(items[3].enabled);
    EXPECT_EQ(items[3].id, 105U);

    // Each id to the command it sends: none for the separator, the submenu's opener, a disabled
    // item or an id outside.
    const std::pair<unsigned, const char*> chosen[] = {
        {100, "disconnect "}, {101, nullptr}, {102, nullptr}, {103, "mode fast"},
        {104, "mode safe"},   {105, nullptr}, {106, nullptr}, {99, nullptr}};
    for (const auto& [id, command] : chosen) {
        const auto got = zentra::engineMenuCommand(actions, 100, id);
        EXPECT_EQ(got ? got->name + " " + got->argument : "", command ? command : "") << id;
    }
}

}  // namespace
