#include "zentra/indicator.h"
#include "zentra/tray_menu.h"

namespace zentra {

namespace {

constexpr std::size_t kMaxItemUnits = 1000;

void addItems(const std::vector<EngineAction>& actions, unsigned& id,
              std::vector<TrayMenuItem>& out) {
    for (const EngineAction& a : actions) {
        TrayMenuItem item;
        item.id = id++;
        const std::u16string text =
            literalShellText(tooltipText(a.text, kMaxItemUnits), kMaxItemUnits);
        item.text.assign(text.begin(), text.end());
        item.enabled = a.enabled;
        item.checked = a.checked;
        item.radio = a.radio;
        item.separator = a.separator;
        addItems(a.submenu, id, item.submenu);
        out.push_back(std::move(item));
    }
}

const EngineAction* numbered(const std::vector<EngineAction>& actions, unsigned& id,
                             unsigned wanted) {
    for (const EngineAction& a : actions) {
        if (id++ == wanted) {
            return &a;
        }
        if (const EngineAction* found = numbered(a.submenu, id, wanted)) {
            return found;
        }
    }
    return nullptr;
}

}  // namespace

std::vector<TrayMenuItem> engineMenuItems(const std::vector<EngineAction>& actions,
                                          unsigned firstId) {
    std::vector<TrayMenuItem> out;
    addItems(actions, firstId, out);
    return out;
}

std::optional<EngineCommand> engineMenuCommand(const std::vector<EngineAction>& actions,
                                               unsigned firstId, unsigned id) {
    const EngineAction* a = numbered(actions, firstId, id);
    if (a == nullptr || a->separator || !a->enabled || a->command.empty()) {
        return std::nullopt;
    }
    return EngineCommand{a->command, a->argument};
}

}  // namespace zentra
