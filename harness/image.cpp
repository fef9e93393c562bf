// image.cpp - pictures in memory, as PPM files, and the comparer's rules.
#include "harness.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace harness {

std::string toString(const Rgb& colour)
{
    return "(" + std::to_string(colour.r) + ", " + std::to_string(colour.g) + ", " +
           std::to_string(colour.b) + ")";
}

Image::Image(int width, int height, Rgb fill)
    : width_(width), height_(height),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill)
{
    if (width < 0 || height < 0) {
        throw HarnessError("an image cannot have a negative size");
    }
}

Rgb Image::pixel(int x, int y) const
{
    if (!contains(x, y)) {
        throw HarnessError("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                           ") lies outside the " + std::to_string(width_) + " x " +
                           std::to_string(height_) + " image");
    }
    return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                   static_cast<std::size_t>(x)];
}

void Image::setPixel(int x, int y, Rgb colour)
{
    if (!contains(x, y)) {
        throw HarnessError("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                           ") lies outside the image");
    }
    pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
            static_cast<std::size_t>(x)] = colour;
}

std::size_t Image::distinctColours() const
{
    std::set<std::uint32_t> colours;
    for (const Rgb& c : pixels_) {
        colours.insert((std::uint32_t(c.r) << 16) | (std::uint32_t(c.g) << 8) | c.b);
    }
    return colours.size();
}

void Image::writePpm(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width_ << " " << height_ << "\n255\n";
    for (const Rgb& c : pixels_) {
        out.put(static_cast<char>(c.r)).put(static_cast<char>(c.g)).put(static_cast<char>(c.b));
    }
    if (!out) {
        throw HarnessError("cannot write " + path);
    }
}

Image readPpm(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return parsePpm(bytes.str());
}

Image parsePpm(const std::string& bytes)
{
    std::istringstream in(bytes);
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    in >> magic >> width >> height >> maximum;
    in.get(); // the one white space character before the pixels
    if (!in || magic != "P6" || maximum != 255 || width <= 0 || height <= 0) {
        return Image();
    }
    Image result(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            char rgb[3];
            if (!in.read(rgb, sizeof rgb)) {
                return Image();
            }
            result.setPixel(x, y,
                            Rgb{static_cast<std::uint8_t>(rgb[0]),
                                static_cast<std::uint8_t>(rgb[1]),
                                static_cast<std::uint8_t>(rgb[2])});
        }
    }
    return result;
}

namespace {

bool pixelsDiffer(const Rgb& a, const Rgb& b, Match match)
{
    if (match == Match::Exact) {
        return a != b;
    }
    // Off when a channel differs by more than the percentage of 255, in
    // integers: 100 |d| > percent x 255.
    const auto off = [](int p, int q) {
        return 100 * std::abs(p - q) > TOLERATED_CHANNEL_PERCENT * 255;
    };
    return off(a.r, b.r) || off(a.g, b.g) || off(a.b, b.b);
}

void checkSameSize(const Image& a, const Image& b)
{
    if (a.width() != b.width() || a.height() != b.height()) {
        throw HarnessError("cannot compare a " + std::to_string(a.width()) + " x " +
                           std::to_string(a.height()) + " image with a " +
                           std::to_string(b.width()) + " x " + std::to_string(b.height()) + " one");
    }
}

} // namespace

Comparison comparePictures(const Image& a, const Image& b, Match match)
{
    checkSameSize(a, b);
    Comparison result;
    forEachPixel(a.width(), a.height(), [&](int x, int y) {
        result.differing += pixelsDiffer(a.pixel(x, y), b.pixel(x, y), match) ? 1 : 0;
    });
    const std::size_t pixels =
        static_cast<std::size_t>(a.width()) * static_cast<std::size_t>(a.height());
    if (match == Match::Tolerant) {
        result.allowed = pixels * TOLERATED_SHARE_PERCENT / 100;
    } else if (match == Match::Close) {
        result.allowed = pixels * TOLERATED_CLOSE_SHARE_PER_MILLE / 1000;
    }
    return result;
}

Image differencePicture(const Image& a, const Image& b, Match match)
{
    checkSameSize(a, b);
    const Rgb marked{255, 0, 0};
    const auto fade = [](std::uint8_t level) {
        return static_cast<std::uint8_t>(255 - (255 - level) / 4);
    };
    Image result(a.width(), a.height());
    forEachPixel(a.width(), a.height(), [&](int x, int y) {
        const Rgb p = a.pixel(x, y);
        result.setPixel(
            x, y,
            pixelsDiffer(p, b.pixel(x, y), match) ? marked : Rgb{fade(p.r), fade(p.g), fade(p.b)});
    });
    return result;
}

std::size_t countDifferentPixels(const Image& a, const Image& b)
{
    return comparePictures(a, b, Match::Exact).differing;
}
} // namespace harness
