// Draws the three tray glyphs and writes them as Windows icon files with several sizes each
// (32-bit with alpha), so the notification area can pick a sharp image at any display scaling.
//   armed:     green disc with a white check mark
//   triggered: amber lightning bolt
//   error:     red rounded square with a white cross
// and their variants for a light taskbar (tray_<glyph>_light.ico), with a dark rim.
// Usage: make_tray_icons <output-folder>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Rgba {
    double r, g, b, a;
};

struct Point {
    double x, y;
};

// Coverage functions work in a unit square (0..1, y down) so one drawing serves every size.
using Shader = Rgba (*)(Point);

double segmentDistance(Point p, Point a, Point b) {
    const double vx = b.x - a.x;
    const double vy = b.y - a.y;
    const double t =
        std::clamp(((p.x - a.x) * vx + (p.y - a.y) * vy) / (vx * vx + vy * vy), 0.0, 1.0);
    const double dx = p.x - (a.x + t * vx);
    const double dy = p.y - (a.y + t * vy);
    return std::sqrt(dx * dx + dy * dy);
}

bool insidePolygon(Point p, const std::vector<Point>& poly) {
    bool inside = false;
    for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        if ((poly[i].y > p.y) != (poly[j].y > p.y) &&
            p.x <
                (poly[j].x - poly[i].x) * (p.y - poly[i].y) / (poly[j].y - poly[i].y) + poly[i].x) {
            inside = !inside;
        }
    }
    return inside;
}

const Rgba kClear{0, 0, 0, 0};
const Rgba kWhite{1, 1, 1, 1};

Rgba armed(Point p) {
    const double dx = p.x - 0.5;
    const double dy = p.y - 0.5;
    if (dx * dx + dy * dy > 0.47 * 0.47) {
        return kClear;
    }
    const double check = std::min(segmentDistance(p, {0.27, 0.52}, {0.43, 0.68}),
                                  segmentDistance(p, {0.43, 0.68}, {0.74, 0.34}));
    if (check < 0.075) {
        return kWhite;
    }
    return {0.13, 0.62, 0.25, 1};
}

Rgba triggered(Point p) {
    static const std::vector<Point> bolt = {{0.62, 0.02}, {0.16, 0.56}, {0.45, 0.56}, {0.34, 0.98},
                                            {0.86, 0.40}, {0.55, 0.40}, {0.72, 0.02}};
    static const std::vector<Point> inner = {{0.60, 0.10}, {0.26, 0.50}, {0.52, 0.50}, {0.44, 0.82},
                                             {0.76, 0.46}, {0.48, 0.46}, {0.64, 0.10}};
    if (!insidePolygon(p, bolt)) {
        return kClear;
    }
    if (insidePolygon(p, inner)) {
        return {1.0, 0.76, 0.05, 1};  // amber fill
    }
    return {0.55, 0.30, 0.0, 1};  // dark outline keeps the bolt visible on light taskbars
}

Rgba error(Point p) {
    const double half = 0.45;
    const double radius = 0.12;
    const double qx = std::max(std::abs(p.x - 0.5) - (half - radius), 0.0);
    const double qy = std::max(std::abs(p.y - 0.5) - (half - radius), 0.0);
    if (qx * qx + qy * qy > radius * radius) {
        return kClear;
    }
    const double cross = std::min(segmentDistance(p, {0.30, 0.30}, {0.70, 0.70}),
                                  segmentDistance(p, {0.70, 0.30}, {0.30, 0.70}));
    if (cross < 0.075) {
        return kWhite;
    }
    return {0.80, 0.10, 0.10, 1};
}

// The light taskbar's variants: the same shapes, deeper colours and a dark rim, so that they
// stand out on white as the others do on black.
const Rgba kRim{0.12, 0.12, 0.12, 1};

Rgba armedLight(Point p) {
    const double dx = p.x - 0.5;
    const double dy = p.y - 0.5;
    const double r = std::sqrt(dx * dx + dy * dy);
    if (r > 0.47) {
        return kClear;
    }
    if (r > 0.40) {
        return kRim;
    }
    const Rgba inside = armed(p);
    return inside.r == 1 ? kWhite : Rgba{0.05, 0.45, 0.16, 1};
}

Rgba triggeredLight(Point p) {
    const Rgba c = triggered(p);
    return c.a > 0 && c.r < 1.0 ? kRim : c;  // the outline black, the fill amber
}

Rgba errorLight(Point p) {
    const Rgba c = error(p);
    if (c.a == 0 || c.r == 1) {
        return c;
    }
    const double half = 0.45;
    const bool edge = std::abs(p.x - 0.5) > half - 0.07 || std::abs(p.y - 0.5) > half - 0.07;
    return edge ? kRim : Rgba{0.62, 0.04, 0.04, 1};
}

// One image as a BITMAPINFOHEADER, bottom-up BGRA pixels (premultiplied nowhere: straight alpha,
// as icons expect) and a 1-bit AND mask derived from the alpha.
std::vector<std::uint8_t> renderImage(Shader shader, int size) {
    constexpr int kSamples = 6;  // per axis, for smooth edges
    std::vector<std::uint8_t> out;
    auto put16 = [&out](std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto put32 = [&put16](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const auto s = static_cast<std::uint32_t>(size);
    put32(40);
    put32(s);
    put32(2 * s);  // colour rows plus mask rows
    put16(1);
    put16(32);
    for (int i = 0; i < 6; ++i) {
        put32(0);
    }
    std::vector<bool> opaque(std::size_t{s} * s);
    for (int row = size - 1; row >= 0; --row) {
        for (int col = 0; col < size; ++col) {
            double r = 0;
            double g = 0;
            double b = 0;
            double a = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Point p{(col + (sx + 0.5) / kSamples) / size,
                                  (row + (sy + 0.5) / kSamples) / size};
                    const Rgba c = shader(p);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            }
            const auto channel = [a](double v) {
                return static_cast<std::uint8_t>(a > 0 ? std::lround(255.0 * v / a) : 0);
            };
            const auto alpha =
                static_cast<std::uint8_t>(std::lround(255.0 * a / (kSamples * kSamples)));
            out.push_back(channel(b));
            out.push_back(channel(g));
            out.push_back(channel(r));
            out.push_back(alpha);
            opaque[static_cast<std::size_t>(row) * s + static_cast<std::size_t>(col)] = alpha > 0;
        }
    }
    const std::size_t maskStride = ((std::size_t{s} + 31) / 32) * 4;
    for (int row = size - 1; row >= 0; --row) {
        std::vector<std::uint8_t> line(maskStride, 0);
        for (int col = 0; col < size; ++col) {
            if (!opaque[static_cast<std::size_t>(row) * s + static_cast<std::size_t>(col)]) {
                line[static_cast<std::size_t>(col) / 8] |=
                    static_cast<std::uint8_t>(0x80 >> (col % 8));
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

bool writeIcon(const std::string& path, Shader shader) {
    const int sizes[] = {16, 20, 24, 32, 40, 48, 64};
    const std::size_t count = std::size(sizes);
    std::vector<std::vector<std::uint8_t>> images;
    for (int size : sizes) {
        images.push_back(renderImage(shader, size));
    }
    std::vector<std::uint8_t> file;
    auto put16 = [&file](std::uint32_t v) {
        file.push_back(static_cast<std::uint8_t>(v));
        file.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto put32 = [&put16](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put16(0);  // reserved
    put16(1);  // icon
    put16(static_cast<std::uint32_t>(count));
    auto offset = static_cast<std::uint32_t>(6 + 16 * count);
    for (std::size_t i = 0; i < count; ++i) {
        file.push_back(static_cast<std::uint8_t>(sizes[i]));  // width (0 would mean 256)
        file.push_back(static_cast<std::uint8_t>(sizes[i]));  // height
        file.push_back(0);                                    // palette size
        file.push_back(0);                                    // reserved
        put16(1);                                             // planes
        put16(32);                                            // bits per pixel
        put32(static_cast<std::uint32_t>(images[i].size()));
        put32(offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const auto& image : images) {
        file.insert(file.end(), image.begin(), image.end());
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()),
              static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_tray_icons <output-folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = writeIcon(dir + "/tray_armed.ico", armed) &&
                    writeIcon(dir + "/tray_triggered.ico", triggered) &&
                    writeIcon(dir + "/tray_error.ico", error) &&
                    writeIcon(dir + "/tray_armed_light.ico", armedLight) &&
                    writeIcon(dir + "/tray_triggered_light.ico", triggeredLight) &&
                    writeIcon(dir + "/tray_error_light.ico", errorLight);
    if (!ok) {
        std::fprintf(stderr, "make_tray_icons: cannot write to %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
