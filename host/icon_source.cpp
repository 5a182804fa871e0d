#include "icon_source.h"

#include <string>

#include "zentra/log.h"

namespace zentra::host {

using common::logWarn;

namespace {

// The names zentra_embed_tray_icons gives the icons in the executable's resources.
constexpr const wchar_t* kEmbeddedNames[] = {L"ZENTRA_TRAY_ARMED", L"ZENTRA_TRAY_TRIGGERED",
                                             L"ZENTRA_TRAY_ERROR"};

struct Stand {
    const char* glyph;
    WORD systemIcon;  // IDI_APPLICATION, IDI_INFORMATION, IDI_ERROR
    const char* systemName;
};
constexpr Stand kStands[] = {
    {"armed", 32512, "application"},
    {"triggered", 32516, "information"},
    {"error", 32513, "error"},
};

constexpr TrayGlyph kGlyphs[] = {TrayGlyph::Armed, TrayGlyph::Triggered, TrayGlyph::Error};

// Armed 0, Triggered 1, Error 2 (also for a value outside the enum, as trayIconFor does).
int glyphIndex(TrayGlyph glyph) {
    switch (glyph) {
        case TrayGlyph::Armed:
            return 0;
        case TrayGlyph::Triggered:
            return 1;
        default:
            return 2;
    }
}

// The resource name of glyph `index` in `variant`'s set.
std::wstring embeddedName(int index, IconVariant variant) {
    const wchar_t* suffix = variant == IconVariant::Light      ? L"_LIGHT"
                            : variant == IconVariant::Contrast ? L"_CONTRAST"
                                                               : L"";
    return std::wstring(kEmbeddedNames[index]) + suffix;
}

HICON& slot(TrayIcons& icons, int index) {
    if (index == 0) {
        return icons.armed;
    }
    return index == 1 ? icons.triggered : icons.error;
}

}  // namespace

IconSource::~IconSource() {
    releaseReplaced();
    destroyTrayIcons(own_);
    destroyTrayIcons(stock_);
}

void IconSource::load(int pixels) {
    replaced_.push_back(own_);
    replaced_.push_back(stock_);
    own_ = TrayIcons{};
    stock_ = TrayIcons{};
    pixels_ = pixels;
    loadOwn();
    ++loads_;
}

// The icons embedded in the executable, at the exact size (the group's image of that size where it
// has one); the file beside it for any the executable lacks. A warning names each one that
// failed: an embedded icon that is there but cannot be loaded, or a file.
void IconSource::loadOwn() {
    const HMODULE executable = GetModuleHandleW(nullptr);
    for (int index = 0; index < 3; ++index) {
        HICON& icon = slot(own_, index);
        if (variant_ != IconVariant::Default) {
            icon = static_cast<HICON>(LoadImageW(executable, embeddedName(index, variant_).c_str(),
                                                 IMAGE_ICON, pixels_, pixels_, 0));
        }
        if (icon == nullptr) {
            icon = static_cast<HICON>(
                LoadImageW(executable, kEmbeddedNames[index], IMAGE_ICON, pixels_, pixels_, 0));
        }
        if (icon != nullptr) {
            continue;
        }
        const DWORD code = GetLastError();
        if (FindResourceW(executable, kEmbeddedNames[index], MAKEINTRESOURCEW(14)) != nullptr) {
            char name[32] = {};
            for (int k = 0; kEmbeddedNames[index][k] != 0 && k < 31; ++k) {
                name[k] = static_cast<char>(kEmbeddedNames[index][k]);
            }
            logWarn("TrayHost: the embedded icon ", name, " cannot be loaded (GLE=", code,
                    "); trying the file");
        }
        icon = loadTrayIconAtSize(kGlyphs[index], pixels_);
    }
}

bool IconSource::embeds(IconVariant variant) {
    return FindResourceW(GetModuleHandleW(nullptr), embeddedName(0, variant).c_str(),
                         MAKEINTRESOURCEW(14)) != nullptr;  // RT_GROUP_ICON
}

void IconSource::releaseReplaced() {
    for (TrayIcons& icons : replaced_) {
        destroyTrayIcons(icons);
    }
    replaced_.clear();
}

HICON IconSource::iconFor(TrayGlyph glyph) {
    const int index = glyphIndex(glyph);
    const HICON own = slot(own_, index);
    if (own != nullptr) {
        return own;
    }
    const Stand& stand = kStands[index];
    HICON& stock = slot(stock_, index);
    if (stock == nullptr) {
        // A copy of the system's icon at the exact size, owned (and destroyed) like our own.
        stock = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(stand.systemIcon),
                                              IMAGE_ICON, pixels_, pixels_, 0));
        if (stock == nullptr) {
            const DWORD code = GetLastError();
            logWarn("TrayHost: the system's ", stand.systemName,
                    " icon cannot be loaded (GLE=", code, "); the ", stand.glyph,
                    " glyph shows no icon");
        }
    }
    if (!warned_[index]) {
        warned_[index] = true;
        logWarn("TrayHost: no icon of its own for the ", stand.glyph,
                " glyph; showing the system's ", stand.systemName, " icon");
    }
    return stock;
}

}  // namespace zentra::host
