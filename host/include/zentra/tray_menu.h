// The icon's context menu as the application gives it to TrayHost, and the items an engine in
// another process offers (EngineLinkOptions::onActions) made into such items. Portable.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "zentra/wire.h"

namespace zentra {

// One item of the icon's context menu.
struct TrayMenuItem {
    unsigned id = 0;  // handed to onMenuChoice; 1 or above (an item with 0 is left out, warned)
    // As Windows menus read it: an & marks the access key (the next letter, underlined), && is
    // an &. A text from elsewhere (the engine's, a file name) goes through literalShellText so
    // that it shows as it is.
    std::wstring text;
    bool checked = false;
    bool enabled = true;
    bool isDefault = false;  // shown bold: what a double click would do
    bool separator = false;  // a separating line; the other fields are not read
    // Shown, when checked, with a bullet instead of a check mark: one of a group of choices
    // (the items around it that are radio too), of which the application checks one.
    bool radio = false;
    // Not empty: the item opens this submenu (its own id is not used and may be 0).
    std::vector<TrayMenuItem> submenu = {};
};

// The engine's actions as menu items, numbered from `firstId` in order (a submenu's items after
// the item that opens it), their texts shown as they are (an & is not an access key). Put them
// beside the application's own items, with ids that do not collide.
std::vector<TrayMenuItem> engineMenuItems(const std::vector<EngineAction>& actions,
                                          unsigned firstId);

// The command to send for item `id` chosen from engineMenuItems(actions, firstId); none for an
// id that is not one of its enabled items with a command.
std::optional<EngineCommand> engineMenuCommand(const std::vector<EngineAction>& actions,
                                               unsigned firstId, unsigned id);

}  // namespace zentra
