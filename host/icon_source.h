// The icons the host gives the shell: the application's three (embedded, or files beside it), at
// the notification area's exact small-icon size, and where one of them cannot be loaded, a system
// icon that cannot be taken for another glyph.
#pragma once

#include <cstdint>
#include <vector>

#include "host_rules.h"
#include "zentra/tray.h"

namespace zentra::host {

class IconSource {
  public:
    IconSource() = default;
    // Destroys every icon it loaded.
    ~IconSource();
    IconSource(const IconSource&) = delete;
    IconSource& operator=(const IconSource&) = delete;

    // Loads the three icons at `pixels` a side: those embedded in the executable
    // (zentra_embed_tray_icons), else the files beside it (as initTrayIcons reads them). The ones
    // they replace stay alive until releaseReplaced(): the shell may still show one of them.
    void load(int pixels);
    void releaseReplaced();

    // Which set load() takes: the default, or a variant the executable embeds (for a light
    // taskbar, ZENTRA_TRAY_<GLYPH>_LIGHT; for high contrast, ZENTRA_TRAY_<GLYPH>_CONTRAST), an
    // icon the variant lacks coming from the default set.
    void setVariant(IconVariant variant) { variant_ = variant; }
    IconVariant variant() const { return variant_; }
    // Whether the executable embeds that variant (its armed icon).
    static bool embeds(IconVariant variant);

    // The icon to give the shell for `glyph`: the application's own; when that could not be
    // loaded, the system's icon standing for the glyph (application for Armed, information for
    // Triggered, error for Error), with a warning the first time; null only when neither loads.
    HICON iconFor(TrayGlyph glyph);

    const TrayIcons& own() const { return own_; }
    std::uint64_t loads() const { return loads_; }

  private:
    void loadOwn();

    TrayIcons own_;
    TrayIcons stock_;
    std::vector<TrayIcons> replaced_;
    int pixels_ = 0;
    IconVariant variant_ = IconVariant::Default;
    std::uint64_t loads_ = 0;
    bool warned_[3] = {false, false, false};
};

}  // namespace zentra::host
