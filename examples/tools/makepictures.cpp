// Draws the pictures of the example books and writes them as PNG files.
//
//   makepictures <examples-folder>
//
// Everything is drawn here from simple shapes (no picture is taken from
// anywhere else) and written as an 8-bit palette PNG, compressed with zlib.
// The output is deterministic, so running the tool again gives the same bytes.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

struct Rgb {
  std::uint8_t r, g, b;
};

class Picture {
 public:
  Picture(int width, int height, std::vector<Rgb> palette)
      : width_(width), height_(height), palette_(std::move(palette)),
        pixels_(static_cast<std::size_t>(width) * height, 0) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::vector<Rgb>& Palette() const { return palette_; }
  std::uint8_t At(int x, int y) const { return pixels_[Index(x, y)]; }

  void Set(int x, int y, std::uint8_t c) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[Index(x, y)] = c;
  }
  void Rect(int x0, int y0, int x1, int y1, std::uint8_t c) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) Set(x, y, c);
  }
  void Ellipse(double cx, double cy, double rx, double ry, std::uint8_t c) {
    for (int y = static_cast<int>(cy - ry); y <= static_cast<int>(cy + ry) + 1; ++y)
      for (int x = static_cast<int>(cx - rx); x <= static_cast<int>(cx + rx) + 1; ++x) {
        double dx = (x + 0.5 - cx) / rx, dy = (y + 0.5 - cy) / ry;
        if (dx * dx + dy * dy <= 1.0) Set(x, y, c);
      }
  }
  // A filled polygon (even-odd rule), points in pixel coordinates.
  void Polygon(const std::vector<std::array<double, 2>>& pts, std::uint8_t c) {
    for (int y = 0; y < height_; ++y) {
      double py = y + 0.5;
      for (int x = 0; x < width_; ++x) {
        double px = x + 0.5;
        bool inside = false;
        for (std::size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
          double xi = pts[i][0], yi = pts[i][1], xj = pts[j][0], yj = pts[j][1];
          if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi)
            inside = !inside;
        }
        if (inside) Set(x, y, c);
      }
    }
  }
  void Star(double cx, double cy, double outer, double inner, double turn, std::uint8_t c) {
    std::vector<std::array<double, 2>> pts;
    for (int k = 0; k < 10; ++k) {
      double r = (k % 2 == 0) ? outer : inner;
      double a = turn + k * 3.14159265358979 / 5.0;
      pts.push_back({cx + r * std::sin(a), cy - r * std::cos(a)});
    }
    Polygon(pts, c);
  }

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * width_ + x;
  }
  int width_, height_;
  std::vector<Rgb> palette_;
  std::vector<std::uint8_t> pixels_;
};

// ---- PNG, compressed and checksummed by zlib --------------------------------

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<std::uint8_t> out(size);
  if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("zlib could not compress a picture");
  }
  out.resize(size);
  return out;
}

void Chunk(std::vector<std::uint8_t>& png, const std::string& type,
           const std::vector<std::uint8_t>& data) {
  auto be32 = [&png](std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<std::uint8_t>(v >> s));
  };
  be32(static_cast<std::uint32_t>(data.size()));
  png.insert(png.end(), type.begin(), type.end());
  png.insert(png.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), static_cast<uInt>(type.size()));
  // (zlib reads a null buffer as a request for the initial value.)
  if (!data.empty()) crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
  be32(static_cast<std::uint32_t>(crc));
}

std::vector<std::uint8_t> EncodePng(const Picture& pic) {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  for (int v : {pic.Width(), pic.Height()})
    for (int s = 24; s >= 0; s -= 8) header.push_back(static_cast<std::uint8_t>(v >> s));
  header.insert(header.end(), {8, 3, 0, 0, 0});  // 8 bits, palette
  Chunk(png, "IHDR", header);
  std::vector<std::uint8_t> plte;
  for (const Rgb& c : pic.Palette()) plte.insert(plte.end(), {c.r, c.g, c.b});
  Chunk(png, "PLTE", plte);
  std::vector<std::uint8_t> raw;
  raw.reserve(static_cast<std::size_t>(pic.Width() + 1) * pic.Height());
  for (int y = 0; y < pic.Height(); ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < pic.Width(); ++x) raw.push_back(pic.At(x, y));
  }
  Chunk(png, "IDAT", Deflate(raw));
  Chunk(png, "IEND", {});
  return png;
}

// ---- the pictures ----------------------------------------------------------

// A fixed pseudo-random sequence, so the stars land in the same places on
// every run.
struct Sequence {
  std::uint32_t state;
  int Next(int bound) {
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) % static_cast<std::uint32_t>(bound));
  }
};

void Waves(Picture& p, int top, std::uint8_t crest, int spacing, int seed) {
  Sequence rnd{static_cast<std::uint32_t>(seed)};
  for (int y = top + 6; y < p.Height(); y += spacing)
    for (int k = 0; k < p.Width() / 30 + 1; ++k) {
      int x = rnd.Next(p.Width());
      p.Rect(x, y, x + 8 + rnd.Next(14), y + 2, crest);
    }
}

void Lighthouse(Picture& p, double cx, double base, double height, double width,
                std::uint8_t white, std::uint8_t red, std::uint8_t dark, std::uint8_t lamp) {
  double top = base - height;
  double topHalf = width * 0.36, baseHalf = width / 2;
  int bands = 5;
  for (int b = 0; b < bands; ++b) {
    double y0 = top + height * b / bands, y1 = top + height * (b + 1) / bands;
    double h0 = topHalf + (baseHalf - topHalf) * b / bands;
    double h1 = topHalf + (baseHalf - topHalf) * (b + 1) / bands;
    p.Polygon({{cx - h0, y0}, {cx + h0, y0}, {cx + h1, y1}, {cx - h1, y1}},
              b % 2 == 0 ? red : white);
  }
  p.Rect(static_cast<int>(cx - topHalf - 6), static_cast<int>(top - 4),
         static_cast<int>(cx + topHalf + 6), static_cast<int>(top), dark);  // gallery
  p.Rect(static_cast<int>(cx - topHalf + 2), static_cast<int>(top - 24),
         static_cast<int>(cx + topHalf - 2), static_cast<int>(top - 4), lamp);  // lantern
  for (int bar = -1; bar <= 1; ++bar)
    p.Rect(static_cast<int>(cx + bar * topHalf * 0.5) - 1, static_cast<int>(top - 24),
           static_cast<int>(cx + bar * topHalf * 0.5) + 1, static_cast<int>(top - 4), dark);
  p.Polygon({{cx - topHalf, top - 24}, {cx + topHalf, top - 24}, {cx, top - 40}}, dark);
  p.Rect(static_cast<int>(cx - 5), static_cast<int>(base - 18), static_cast<int>(cx + 5),
         static_cast<int>(base), dark);  // door
}

Picture LighthousesCover() {
  enum : std::uint8_t { Sky0, Sky1, Sky2, Sky3, Star, Beam, Sea, SeaCrest, Rock, White, Red, Dark, Lamp };
  Picture p(360, 480, {{12, 18, 48}, {20, 30, 70}, {32, 46, 96}, {50, 66, 122}, {250, 246, 210},
                       {120, 118, 96}, {16, 52, 82}, {110, 160, 190}, {58, 54, 50},
                       {236, 232, 224}, {186, 40, 36}, {30, 28, 30}, {255, 214, 90}});
  for (int b = 0; b < 4; ++b) p.Rect(0, b * 80, 360, (b + 1) * 80, static_cast<std::uint8_t>(Sky0 + b));
  Sequence rnd{7};
  for (int k = 0; k < 60; ++k) {
    int x = rnd.Next(360), y = rnd.Next(240);
    p.Rect(x, y, x + 2, y + 2, Star);
  }
  p.Polygon({{196, 190}, {360, 120}, {360, 200}}, Beam);
  p.Polygon({{164, 190}, {0, 150}, {0, 215}}, Beam);
  p.Rect(0, 320, 360, 480, Sea);
  Waves(p, 320, SeaCrest, 14, 11);
  p.Polygon({{90, 360}, {130, 318}, {250, 312}, {300, 362}}, Rock);
  Lighthouse(p, 180, 322, 120, 60, White, Red, Dark, Lamp);
  return p;
}

Picture TidepoolsCover() {
  enum : std::uint8_t { Sand, SandDark, Pool, PoolDeep, Orange, Purple, Shell, Weed };
  Picture p(360, 480, {{226, 204, 160}, {196, 170, 124}, {92, 170, 190}, {54, 120, 150},
                       {232, 110, 50}, {130, 60, 140}, {244, 236, 222}, {60, 120, 70}});
  Sequence rnd{23};
  for (int k = 0; k < 400; ++k) {
    int x = rnd.Next(360), y = rnd.Next(480);
    p.Rect(x, y, x + 2, y + 1, SandDark);
  }
  p.Ellipse(130, 170, 110, 80, Pool);
  p.Ellipse(130, 170, 70, 45, PoolDeep);
  p.Ellipse(250, 360, 90, 70, Pool);
  p.Ellipse(250, 365, 50, 36, PoolDeep);
  for (int k = 0; k < 6; ++k) p.Rect(60 + k * 9, 190 - k * 6, 64 + k * 9, 240, Weed);
  p.Star(120, 160, 34, 13, 0.3, Orange);
  p.Star(255, 360, 26, 10, 1.1, Purple);
  p.Ellipse(300, 120, 18, 12, Shell);
  p.Ellipse(70, 400, 14, 10, Shell);
  return p;
}

Picture BeamFigure() {
  enum : std::uint8_t { Night, Beam, Sea, Crest, Land, Tower, Lamp };
  Picture p(240, 160, {{16, 22, 54}, {150, 146, 110}, {18, 56, 86}, {96, 140, 170},
                       {44, 46, 40}, {220, 216, 206}, {255, 220, 100}});
  p.Polygon({{40, 70}, {240, 20}, {240, 110}}, Beam);
  p.Rect(0, 104, 240, 160, Sea);
  Waves(p, 104, Crest, 10, 5);
  p.Polygon({{0, 104}, {0, 80}, {30, 72}, {70, 96}, {80, 104}}, Land);
  p.Polygon({{34, 76}, {46, 76}, {49, 104}, {31, 104}}, Tower);
  p.Rect(35, 64, 45, 76, Lamp);
  return p;
}

Picture LensFigure() {
  enum : std::uint8_t { Back, Brass, Glass0, Glass1, Glass2, Core };
  Picture p(200, 200, {{238, 234, 224}, {150, 112, 50}, {180, 214, 222}, {140, 186, 200},
                       {100, 152, 172}, {255, 236, 150}});
  p.Ellipse(100, 100, 96, 96, Brass);
  for (int ring = 0; ring < 8; ++ring) {
    double r = 90 - ring * 10;
    p.Ellipse(100, 100, r, r, static_cast<std::uint8_t>(Glass0 + ring % 3));
  }
  p.Ellipse(100, 100, 12, 12, Core);
  p.Rect(98, 4, 102, 196, Brass);
  p.Rect(4, 98, 196, 102, Brass);
  return p;
}

Picture LogbookFigure() {
  enum : std::uint8_t { Desk, Paper, Rule, Ink, Margin };
  Picture p(240, 160, {{92, 60, 38}, {244, 238, 214}, {170, 190, 210}, {40, 40, 70}, {200, 80, 80}});
  p.Rect(20, 12, 220, 150, Paper);
  for (int y = 30; y < 146; y += 12) p.Rect(24, y, 216, y + 1, Rule);
  p.Rect(52, 14, 53, 148, Margin);
  Sequence rnd{3};
  for (int y = 30; y < 146; y += 12) {
    int x = 58;
    while (x < 200) {
      int w = 6 + rnd.Next(22);
      p.Rect(x, y - 6, std::min(x + w, 212), y - 3, Ink);
      x += w + 5;
    }
    p.Rect(28, y - 6, 46, y - 3, Ink);  // the hour column
  }
  return p;
}

Picture StairFigure() {
  enum : std::uint8_t { Back, Wall, Step, Shade, Window };
  Picture p(160, 240, {{236, 232, 224}, {120, 116, 110}, {196, 176, 140}, {150, 130, 100},
                       {120, 170, 210}});
  p.Rect(20, 0, 140, 240, Wall);
  p.Rect(30, 0, 130, 240, Back);
  for (int k = 0; k < 12; ++k) {
    int y = 224 - k * 19;
    int x = (k % 2 == 0) ? 30 : 70;
    p.Rect(x, y, x + 60, y + 8, Step);
    p.Rect(x, y + 8, x + 60, y + 11, Shade);
  }
  p.Ellipse(80, 40, 12, 18, Window);
  return p;
}

Picture AnemoneFigure() {
  enum : std::uint8_t { Water, Rock, Body, Tentacle, Tip };
  Picture p(200, 150, {{70, 150, 170}, {90, 84, 78}, {170, 40, 70}, {220, 90, 120}, {250, 200, 210}});
  p.Ellipse(100, 150, 110, 40, Rock);
  p.Rect(80, 80, 120, 125, Body);
  for (int k = 0; k < 11; ++k) {
    double a = -1.3 + k * 0.26;
    double x = 100 + 48 * std::sin(a), y = 80 - 40 * std::cos(a);
    p.Polygon({{96 + k * 0.8, 84}, {104 + k * 0.8, 84}, {x + 3, y}, {x - 3, y}}, Tentacle);
    p.Ellipse(x, y, 4, 4, Tip);
  }
  return p;
}

bool Write(const std::string& path, const Picture& pic) {
  std::vector<std::uint8_t> png = EncodePng(pic);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  out.close();
  if (!out) {
    std::cerr << "makepictures: cannot write " << path << "\n";
    return false;
  }
  std::cout << path << " (" << png.size() << " bytes)\n";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: makepictures <examples-folder>\n";
    return 2;
  }
  std::string root = argv[1];
  if (!root.empty() && root.back() != '/' && root.back() != '\\') root += '/';
  bool ok = Write(root + "images/lighthouses-cover.png", LighthousesCover()) &&
            Write(root + "images/tidepools-cover.png", TidepoolsCover()) &&
            Write(root + "images/anemone.png", AnemoneFigure()) &&
            Write(root + "chapters/figures/beam.png", BeamFigure()) &&
            Write(root + "chapters/figures/lens.png", LensFigure()) &&
            Write(root + "chapters/figures/stairs.png", StairFigure()) &&
            Write(root + "chapters/figures/logbook.png", LogbookFigure());
  return ok ? 0 : 1;
}
