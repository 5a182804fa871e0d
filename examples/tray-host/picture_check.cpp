// Tells which tray icon a screenshot of the taskbar shows, by matching each icon's own image
// against the screenshot's pixels.
//   tray_picture_check <strip.ppm> <resources-folder> <armed|triggered|error>
//   tray_picture_check --red <strip.ppm>   (how many pixels are clearly red)
// The strip is a binary PPM (P6) of the taskbar's notification area. Exits 0 when the best match is
// the expected glyph, clearly better than the others; prints the scores either way.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "picture_reader.h"

namespace {

using picture::at;
using picture::Image;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An image scaled down by averaging (premultiplied), as a shell shrinks a larger icon.
Image shrink(const Image& src, int size) {
    Image out;
    out.width = out.height = size;
    const double f = static_cast<double>(src.width) / size;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double acc[4] = {0, 0, 0, 0};
            int n = 0;
            for (int sy = static_cast<int>(y * f); sy < static_cast<int>((y + 1) * f); ++sy) {
                for (int sx = static_cast<int>(x * f); sx < static_cast<int>((x + 1) * f); ++sx) {
                    const std::uint8_t* p = &src.rgba[at(sx, sy, src.width, 4)];
                    const double a = p[3] / 255.0;
                    acc[0] += p[0] * a;
                    acc[1] += p[1] * a;
                    acc[2] += p[2] * a;
                    acc[3] += p[3];
                    ++n;
                }
            }
            const double alpha = acc[3] / n;
            for (int c = 0; c < 3; ++c) {
                out.rgba.push_back(static_cast<std::uint8_t>(
                    alpha > 0 ? std::lround(acc[c] / n * 255.0 / alpha) : 0));
            }
            out.rgba.push_back(static_cast<std::uint8_t>(std::lround(alpha)));
        }
    }
    return out;
}

// An image scaled down by picking one source pixel per target pixel, as a plain stretch does.
Image pick(const Image& src, int size, int phase) {
    Image out;
    out.width = out.height = size;
    const int f = src.width / size;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const std::size_t p = at(x * f + phase, y * f + phase, src.width, 4);
            out.rgba.insert(out.rgba.end(), src.rgba.begin() + static_cast<std::ptrdiff_t>(p),
                            src.rgba.begin() + static_cast<std::ptrdiff_t>(p + 4));
        }
    }
    return out;
}

// The colour most pixels of the strip have: the taskbar behind the icons.
std::array<int, 3> backgroundOf(const Image& strip) {
    std::map<std::uint32_t, int> counts;
    for (std::size_t p = 0; p < strip.rgba.size(); p += 4) {
        ++counts[(std::uint32_t{strip.rgba[p]} << 16) | (std::uint32_t{strip.rgba[p + 1]} << 8) |
                 strip.rgba[p + 2]];
    }
    const auto most =
        std::max_element(counts.begin(), counts.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    return {static_cast<int>(most->first >> 16), static_cast<int>((most->first >> 8) & 0xFF),
            static_cast<int>(most->first & 0xFF)};
}

// Lowest mean colour difference of `icon`, blended over the taskbar colour as the shell draws it,
// at any position in the strip. Pixels the icon leaves fully transparent do not count.
// `copies`, when given, receives how many places of the strip show the icon all but pixel for
// pixel (score under 2), places closer than the icon's width counting once.
double bestScore(const Image& strip, const Image& icon, int* copies = nullptr) {
    const std::array<int, 3> bg = backgroundOf(strip);
    std::vector<int> blended;
    for (std::size_t p = 0; p < icon.rgba.size(); p += 4) {
        const int a = icon.rgba[p + 3];
        for (std::size_t c = 0; c < 3; ++c) {
            blended.push_back(a == 0 ? -1 : (icon.rgba[p + c] * a + bg[c] * (255 - a) + 127) / 255);
        }
    }
    double best = std::numeric_limits<double>::max();
    std::vector<int> matchColumns;
    for (int oy = 0; oy + icon.height <= strip.height; ++oy) {
        for (int ox = 0; ox + icon.width <= strip.width; ++ox) {
            double sum = 0;
            int counted = 0;
            for (int y = 0; y < icon.height; ++y) {
                for (int x = 0; x < icon.width; ++x) {
                    const std::size_t i = at(x, y, icon.width, 3);
                    if (blended[i] < 0) {
                        continue;
                    }
                    const std::uint8_t* sp = &strip.rgba[at(ox + x, oy + y, strip.width, 4)];
                    for (std::size_t c = 0; c < 3; ++c) {
                        sum += std::abs(blended[i + c] - static_cast<int>(sp[c]));
                    }
                    ++counted;
                }
            }
            if (counted > 0) {
                const double score = sum / (3.0 * counted);
                best = std::min(best, score);
                if (score < 2.0) {
                    matchColumns.push_back(ox);
                }
            }
        }
    }
    if (copies != nullptr) {
        std::sort(matchColumns.begin(), matchColumns.end());
        *copies = 0;
        int last = std::numeric_limits<int>::min() / 2;
        for (const int x : matchColumns) {
            if (x - last >= icon.width) {
                ++*copies;
                last = x;
            }
        }
    }
    return best;
}

// How closely the strip shows the glyph's own image of exactly `size` pixels, unscaled: the
// score alone (lower is closer; 0 is the image pixel for pixel), or, with `countCopies`, how many
// times the strip shows that image.
int exactSizeScore(const char* stripPath, const std::string& resources, const char* glyph, int size,
                   bool countCopies) {
    Image strip;
    if (!picture::parsePpm(readFile(stripPath), strip)) {
        std::fprintf(stderr, "tray_picture_check: cannot read %s as a binary PPM\n", stripPath);
        return 2;
    }
    const auto images = picture::parseIcon(readFile(resources + "/tray_" + glyph + ".ico"));
    const auto image = images.find(size);
    if (image == images.end()) {
        std::fprintf(stderr, "tray_picture_check: tray_%s.ico has no %d px image\n", glyph, size);
        return 2;
    }
    int copies = 0;
    const double score = bestScore(strip, image->second, &copies);
    if (countCopies) {
        std::printf("%d\n", copies);
    } else {
        std::printf("%.1f\n", score);
    }
    return 0;
}

}  // namespace

// How many pixels of the strip are clearly red (as in the system's error icon).
int redPixels(const char* stripPath) {
    Image strip;
    if (!picture::parsePpm(readFile(stripPath), strip)) {
        std::fprintf(stderr, "tray_picture_check: cannot read %s as a binary PPM\n", stripPath);
        return 2;
    }
    int red = 0;
    for (std::size_t p = 0; p < strip.rgba.size(); p += 4) {
        red += strip.rgba[p] >= 160 && strip.rgba[p + 1] < 90 && strip.rgba[p + 2] < 90 ? 1 : 0;
    }
    std::printf("%d\n", red);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--red") {
        return redPixels(argv[2]);
    }
    if (argc == 6 &&
        (std::string(argv[1]) == "--exact-size" || std::string(argv[1]) == "--copies")) {
        return exactSizeScore(argv[3], argv[4], argv[5], std::atoi(argv[2]),
                              std::string(argv[1]) == "--copies");
    }
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: tray_picture_check <strip.ppm> <resources-folder> <glyph>\n"
                     "       tray_picture_check --exact-size|--copies <px> <strip.ppm> "
                     "<resources-folder> <glyph>\n"
                     "       tray_picture_check --red <strip.ppm>\n");
        return 2;
    }
    Image strip;
    if (!picture::parsePpm(readFile(argv[1]), strip)) {
        std::fprintf(stderr, "tray_picture_check: cannot read %s as a binary PPM\n", argv[1]);
        return 2;
    }
    const std::string expected = argv[3];
    std::string bestGlyph;
    double best = std::numeric_limits<double>::max();
    double secondBest = std::numeric_limits<double>::max();
    for (const char* glyph : {"armed", "triggered", "error"}) {
        const auto images =
            picture::parseIcon(readFile(std::string(argv[2]) + "/tray_" + glyph + ".ico"));
        if (images.empty()) {
            std::fprintf(stderr, "tray_picture_check: no images in tray_%s.ico\n", glyph);
            return 2;
        }
        // The notification area shows small icons: the 16 px image itself, or a larger one shrunk
        // (averaged, or one pixel picked per target pixel).
        double score = std::numeric_limits<double>::max();
        for (const auto& [size, image] : images) {
            if (size == 16) {
                score = std::min(score, bestScore(strip, image));
            } else if (size % 16 == 0 && size <= 64) {
                score = std::min(score, bestScore(strip, shrink(image, 16)));
                for (int phase = 0; phase < size / 16; ++phase) {
                    score = std::min(score, bestScore(strip, pick(image, 16, phase)));
                }
            }
        }
        std::printf("%s=%.1f ", glyph, score);
        if (score < best) {
            secondBest = best;
            best = score;
            bestGlyph = glyph;
        } else {
            secondBest = std::min(secondBest, score);
        }
    }
    // A match is close in colour and clearly closer than any other icon.
    const bool ok = bestGlyph == expected && best < 45.0 && secondBest > 2.0 * best + 10.0;
    std::printf("-> %s (expected %s): %s\n", bestGlyph.c_str(), expected.c_str(),
                ok ? "match" : "MISMATCH");
    return ok ? 0 : 1;
}
