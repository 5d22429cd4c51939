// Drawing sequences for the raster layer, written against the Win32 GDI API alone. The same source is
// built twice: against our platform layer, and with MinGW against the real Windows headers to run on a
// real GDI under Wine. Each build writes every case's pixels (and the results of calls whose outcome
// matters) to one file; reference_test compares the two files byte for byte.
//
// Usage: gdi_reference_cases <output file> [family]   (a family alone, to replay what failed)
//
// Output: "GDIREF1\n", then one record per case: u32 name length, name, i32 width, i32 height,
// i32 stride, u32 byte count, bytes. A pixel record holds the canvas memory as the DIB section lays it
// out (height < 0: top-down); a value record (width 1, height 0, stride 0) holds one call's 32-bit result.
//
// Wine 8 departs from Windows in a few places; the cases keep to ground where the two agree, and each
// place says so where it draws: the brush origin of StretchDIBits with pattern-and-source operations,
// FillRect with a brush that cannot be selected, one-pixel shrinks and top-down source rows on one of
// its two StretchDIBits paths, mirrored source rows past the image, and hatch spaces of TRANSPARENT blits
// with a source.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Deterministic bytes, the same in both builds.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint8_t Byte() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state_ >> 24);
  }

 private:
  uint32_t state_;
};

class Recorder {
 public:
  explicit Recorder(FILE *out) : out_(out) { std::fputs("GDIREF1\n", out_); }

  void Pixels(const std::string &name, int width, int height, int stride, const uint8_t *bytes) {
    const int rows = height < 0 ? -height : height;
    Write(name, width, height, stride, bytes, static_cast<uint32_t>(stride * rows));
  }

  void Value(const std::string &name, int32_t value) { Write(name, 1, 0, 0, &value, sizeof value); }

 private:
  void Word(uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, out_);
  }
  void Write(const std::string &name, int32_t width, int32_t height, int32_t stride, const void *bytes,
             uint32_t count) {
    Word(static_cast<uint32_t>(name.size()));
    std::fwrite(name.data(), 1, name.size(), out_);
    Word(static_cast<uint32_t>(width));
    Word(static_cast<uint32_t>(height));
    Word(static_cast<uint32_t>(stride));
    Word(count);
    if (count != 0) std::fwrite(bytes, 1, count, out_);
  }

  FILE *out_;
};

// A packed DIB: BITMAPINFOHEADER, colour table, pixels.
class Dib {
 public:
  Dib(int width, int height, int bitCount, uint32_t seed, const std::vector<RGBQUAD> &colours = {})
      : colours_(static_cast<int>(colours.size())) {
    const int rows = height < 0 ? -height : height;
    const int stride = ((width * bitCount + 31) / 32) * 4;
    words_.assign((sizeof(BITMAPINFOHEADER) + colours.size() * 4 + size_t(stride) * rows + 3) / 4, 0);
    BITMAPINFOHEADER &h = *Header();
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bitCount);
    h.biCompression = BI_RGB;
    if (!colours.empty())
      std::memcpy(reinterpret_cast<uint8_t *>(words_.data()) + sizeof(BITMAPINFOHEADER), colours.data(),
                  colours.size() * 4);
    pixelBytes_ = stride * rows;
    Noise noise(seed);
    uint8_t *p = Bits();
    for (int i = 0; i < pixelBytes_; ++i) p[i] = noise.Byte();
  }

  int PixelBytes() const { return pixelBytes_; }
  BITMAPINFOHEADER *Header() { return reinterpret_cast<BITMAPINFOHEADER *>(words_.data()); }
  const BITMAPINFO *Info() const { return reinterpret_cast<const BITMAPINFO *>(words_.data()); }
  BITMAPINFO *Info() { return reinterpret_cast<BITMAPINFO *>(words_.data()); }
  uint8_t *Bits() {
    return reinterpret_cast<uint8_t *>(words_.data()) + sizeof(BITMAPINFOHEADER) + colours_ * 4;
  }
  const void *Packed() const { return words_.data(); }

 private:
  int colours_;
  int pixelBytes_ = 0;
  std::vector<uint32_t> words_;
};

// A band canvas as the rasterizer builds it: a 24-bit DIB section made on a display reference context,
// a memory context holding it, painted white through a region, a black brush selected.
class Canvas {
 public:
  Canvas(int width, int height, bool topDown = false) : width_(width), height_(topDown ? -height : height) {
    HDC reference = CreateDCW(TEXT("DISPLAY"), nullptr, nullptr, nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    bitmap_ = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint8_t *>(bits);
    dc_ = CreateCompatibleDC(reference);
    DeleteDC(reference);
    oldBitmap_ = SelectObject(dc_, bitmap_);

    LOGBRUSH white = {BS_SOLID, RGB(255, 255, 255), 0};
    HBRUSH whiteBrush = CreateBrushIndirect(&white);
    HRGN all = CreateRectRgn(0, 0, width, height);
    FillRgn(dc_, all, whiteBrush);
    DeleteObject(all);
    DeleteObject(whiteBrush);

    LOGBRUSH black = {};
    black_ = CreateBrushIndirect(&black);
    oldBrush_ = SelectObject(dc_, black_);
  }
  Canvas(const Canvas &) = delete;
  Canvas &operator=(const Canvas &) = delete;
  ~Canvas() { TearDown(); }

  HDC Dc() const { return dc_; }
  int Width() const { return width_; }
  int Height() const { return height_ < 0 ? -height_ : height_; }

  // Covers the canvas with noise, so that every raster operation sees every destination bit.
  void Scatter(uint32_t seed) {
    Dib noise(width_, Height(), 24, seed);
    StretchDIBits(dc_, 0, 0, width_, Height(), 0, 0, width_, Height(), noise.Bits(), noise.Info(),
                  DIB_RGB_COLORS, SRCCOPY);
  }

  // The pixels are recorded after the drawing context is gone: they must outlive it.
  void Record(Recorder &rec, const std::string &name) {
    TearDown();
    if (bits_ != nullptr) {
      const int stride = (3 * width_ + 3) & ~3;
      rec.Pixels(name, width_, height_, stride, bits_);
    } else {
      rec.Value(name + "/no-canvas", 0);
    }
    DeleteObject(bitmap_);
    bitmap_ = nullptr;
    bits_ = nullptr;
  }

 private:
  void TearDown() {
    if (dc_ == nullptr) return;
    SelectObject(dc_, oldBitmap_);
    SelectObject(dc_, oldBrush_);
    DeleteObject(black_);
    DeleteDC(dc_);
    dc_ = nullptr;
    GdiFlush();
  }

  int width_;
  int height_;
  HBITMAP bitmap_ = nullptr;
  uint8_t *bits_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  HBRUSH black_ = nullptr;
  HGDIOBJ oldBrush_ = nullptr;
};

std::string Hex(unsigned value, int digits = 2) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string Num(int value) { return std::to_string(value); }

// An 8 x 8, one-plane, 24-bit bitmap, rows top-down, 24 bytes a row, and the pattern brush made from it.
HBRUSH NoisePatternBrush(uint32_t seed) {
  uint8_t bits[8 * 24];
  Noise noise(seed);
  for (uint8_t &b : bits) b = noise.Byte();
  HBITMAP bitmap = CreateBitmap(8, 8, 1, 24, bits);
  HBRUSH brush = CreatePatternBrush(bitmap);
  DeleteObject(bitmap);
  return brush;
}

constexpr COLORREF kInk = RGB(200, 20, 90);
constexpr COLORREF kBackground = RGB(10, 200, 30);

bool UsesSource(unsigned rop) { return ((rop >> 2) & 0x33) != (rop & 0x33); }
DWORD RopCode(unsigned index) { return static_cast<DWORD>(index) << 16; }

// A pen selected into a context for the life of this object, then put back and deleted.
class SelectedPen {
 public:
  SelectedPen(HDC dc, HPEN pen) : dc_(dc), pen_(pen), old_(SelectObject(dc, pen)) {}
  ~SelectedPen() {
    SelectObject(dc_, old_);
    DeleteObject(pen_);
  }
  SelectedPen(const SelectedPen &) = delete;
  SelectedPen &operator=(const SelectedPen &) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HGDIOBJ old_;
};

// ---- canvas: initial content, row layout and padding ----

void CanvasCases(Recorder &rec) {
  constexpr struct { int width, height; } kSizes[] = {{1, 1}, {2, 3}, {5, 3}, {7, 2}, {8, 8}, {33, 5}};
  for (auto s : kSizes) {
    for (bool topDown : {false, true}) {
      Canvas canvas(s.width, s.height, topDown);
      // One marked pixel at (1, 0) shows where row 0 lies in memory.
      RECT mark = {1, 0, 2, 1};
      HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
      FillRect(canvas.Dc(), &mark, red);
      DeleteObject(red);
      canvas.Record(rec, "canvas/" + Num(s.width) + "x" + Num(s.height) + (topDown ? "/top-down" : ""));
    }
  }
}

// A top-down canvas takes every kind of drawing at the same places as a bottom-up one.
void TopDownCases(Recorder &rec) {
  for (bool topDown : {false, true}) {
    Canvas canvas(40, 24, topDown);
    canvas.Scatter(5);
    Dib source(7, 5, 24, 3);
    StretchDIBits(canvas.Dc(), 2, 3, 14, 10, 0, 0, 7, 5, source.Bits(), source.Info(), DIB_RGB_COLORS,
                  SRCCOPY);
    HBRUSH hatch = CreateHatchBrush(HS_FDIAGONAL, kInk);
    const RECT r = {18, 2, 37, 13};
    FillRect(canvas.Dc(), &r, hatch);
    DeleteObject(hatch);
    HBRUSH pattern = NoisePatternBrush(9);
    HGDIOBJ oldBrush = SelectObject(canvas.Dc(), pattern);
    BitBlt(canvas.Dc(), 3, 15, 30, 7, nullptr, 0, 0, PATINVERT);
    StretchDIBits(canvas.Dc(), 24, 16, 7, 5, 0, 0, 7, 5, source.Bits(), source.Info(), DIB_RGB_COLORS,
                  0x00B8074A);
    SelectObject(canvas.Dc(), oldBrush);
    DeleteObject(pattern);
    {
      const SelectedPen pen(canvas.Dc(), CreatePen(PS_DASHDOT, 1, kInk));
      const POINT points[] = {{1, 22}, {38, 1}, {30, 23}};
      Polyline(canvas.Dc(), points, 3);
    }
    canvas.Record(rec, std::string("canvas/drawing/") + (topDown ? "top-down" : "bottom-up"));
  }
}

// ---- raster operations ----

void RopBltCases(Recorder &rec) {
  for (unsigned rop = 0; rop < 256; ++rop) {
    Canvas canvas(40, 24);
    canvas.Scatter(7);
    HBRUSH brush = NoisePatternBrush(11);
    HGDIOBJ old = SelectObject(canvas.Dc(), brush);
    // A raster operation that needs a source fails without one and draws nothing.
    rec.Value("rop-blt/result/" + Hex(rop),
              BitBlt(canvas.Dc(), 3, 5, 29, 15, nullptr, 0, 0, RopCode(rop)) != 0);
    SelectObject(canvas.Dc(), old);
    DeleteObject(brush);
    if (!UsesSource(rop)) canvas.Record(rec, "rop-blt/" + Hex(rop));
  }
}

void RopStretchCases(Recorder &rec) {
  Dib source(16, 16, 24, 23);
  for (unsigned rop = 0; rop < 256; ++rop) {
    Canvas canvas(32, 32);
    canvas.Scatter(19);
    HBRUSH brush = NoisePatternBrush(29);
    HGDIOBJ old = SelectObject(canvas.Dc(), brush);
    // At (8, 8): Wine 8 anchors the pattern of a pattern-and-source operation at twice the destination
    // position, Windows at the canvas origin; at multiples of 8 the two agree.
    StretchDIBits(canvas.Dc(), 8, 8, 16, 16, 0, 0, 16, 16, source.Bits(), source.Info(), DIB_RGB_COLORS,
                  RopCode(rop));
    SelectObject(canvas.Dc(), old);
    DeleteObject(brush);
    canvas.Record(rec, "rop-stretch/" + Hex(rop));
  }
}

// The operations the rasterizer itself chooses, with full codes, solid and hatched brushes.
void RopBrushCases(Recorder &rec) {
  constexpr struct {
    const char *name;
    DWORD code;
  } kRops[] = {{"SRCCOPY", SRCCOPY},     {"SRCPAINT", SRCPAINT}, {"SRCAND", SRCAND},     {"PATCOPY", PATCOPY},
               {"PATINVERT", PATINVERT}, {"PANDD", 0x00A000C9},  {"PSDPxax", 0x00B8074A}};
  Dib source(16, 8, 24, 31);
  for (auto r : kRops) {
    for (int kind = 0; kind < 2; ++kind) {
      Canvas canvas(40, 24);
      canvas.Scatter(37);
      SetBkColor(canvas.Dc(), kBackground);
      HBRUSH brush = kind == 0 ? CreateSolidBrush(kInk) : CreateHatchBrush(HS_DIAGCROSS, kInk);
      HGDIOBJ old = SelectObject(canvas.Dc(), brush);
      if (!UsesSource(r.code >> 16)) BitBlt(canvas.Dc(), 1, 2, 21, 9, nullptr, 0, 0, r.code);
      StretchDIBits(canvas.Dc(), 16, 8, 16, 8, 0, 0, 16, 8, source.Bits(), source.Info(), DIB_RGB_COLORS,
                    r.code);
      SelectObject(canvas.Dc(), old);
      DeleteObject(brush);
      canvas.Record(rec, std::string("rop-brush/") + r.name + (kind == 0 ? "/solid" : "/hatch"));
    }
  }
}

// ---- brushes ----

constexpr RECT kFillRects[] = {
    {0, 0, 13, 9}, {17, 3, 31, 20}, {5, 13, 12, 24}, {33, -3, 45, 30}, {-4, 20, 3, 30}};

void FillAll(HDC dc, HBRUSH brush) {
  for (const RECT &r : kFillRects) FillRect(dc, &r, brush);
}

void HatchCases(Recorder &rec) {
  for (int style = HS_HORIZONTAL; style <= HS_DIAGCROSS; ++style) {
    for (int maker = 0; maker < 2; ++maker) {
      for (int mode : {OPAQUE, TRANSPARENT}) {
        Canvas canvas(40, 24);
        canvas.Scatter(41);
        SetBkColor(canvas.Dc(), kBackground);
        SetBkMode(canvas.Dc(), mode);
        LOGBRUSH lb = {BS_HATCHED, kInk, static_cast<ULONG_PTR>(style)};
        HBRUSH brush = maker == 0 ? CreateHatchBrush(style, kInk) : CreateBrushIndirect(&lb);
        FillAll(canvas.Dc(), brush);
        HGDIOBJ old = SelectObject(canvas.Dc(), brush);
        BitBlt(canvas.Dc(), 21, 1, 9, 7, nullptr, 0, 0, PATCOPY);
        BitBlt(canvas.Dc(), 13, 15, 11, 6, nullptr, 0, 0, PATINVERT);
        SelectObject(canvas.Dc(), old);
        DeleteObject(brush);
        canvas.Record(rec, "hatch/" + Num(style) + (maker == 0 ? "/CreateHatchBrush" : "/indirect") +
                               (mode == OPAQUE ? "/opaque" : "/transparent"));
      }
    }
  }
}

void PatternCases(Recorder &rec) {
  {
    Canvas canvas(40, 24);
    canvas.Scatter(43);
    HBRUSH brush = NoisePatternBrush(47);
    FillAll(canvas.Dc(), brush);
    HGDIOBJ old = SelectObject(canvas.Dc(), brush);
    BitBlt(canvas.Dc(), 21, 1, 9, 7, nullptr, 0, 0, PATINVERT);
    SelectObject(canvas.Dc(), old);
    DeleteObject(brush);
    canvas.Record(rec, "pattern/CreatePatternBrush");
  }
  constexpr struct {
    int width, height;
  } kSizes[] = {{1, 1}, {3, 5}, {8, 8}, {13, 11}, {16, 4}, {9, 2}, {5, -7}};
  for (auto s : kSizes) {
    Canvas canvas(40, 24);
    canvas.Scatter(53);
    Dib pattern(s.width, s.height, 24, 59);
    HBRUSH brush = CreateDIBPatternBrushPt(pattern.Packed(), DIB_RGB_COLORS);
    FillAll(canvas.Dc(), brush);
    HGDIOBJ old = SelectObject(canvas.Dc(), brush);
    BitBlt(canvas.Dc(), 21, 1, 9, 7, nullptr, 0, 0, PATINVERT);
    BitBlt(canvas.Dc(), 2, 10, 7, 3, nullptr, 0, 0, 0x00A000C9);
    SelectObject(canvas.Dc(), old);
    DeleteObject(brush);
    canvas.Record(rec, "pattern/dib/" + Num(s.width) + "x" + Num(s.height));
  }
}

void BrushIndirectCases(Recorder &rec) {
  constexpr struct {
    const char *name;
    UINT style;
    ULONG_PTR hatch;
  } kBrushes[] = {{"solid", BS_SOLID, 0},
                  {"solid-hatch-ignored", BS_SOLID, 0x1234},
                  {"hollow", BS_HOLLOW, 0},
                  {"null", BS_NULL, 0x0003},
                  {"hatched", BS_HATCHED, HS_CROSS}};
  for (auto b : kBrushes) {
    Canvas canvas(24, 16);
    canvas.Scatter(61);
    SetBkColor(canvas.Dc(), kBackground);
    LOGBRUSH lb = {b.style, kInk, b.hatch};
    HBRUSH brush = CreateBrushIndirect(&lb);
    FillRect(canvas.Dc(), &kFillRects[1], brush);
    HGDIOBJ old = SelectObject(canvas.Dc(), brush);
    BitBlt(canvas.Dc(), 1, 1, 9, 7, nullptr, 0, 0, PATINVERT);
    SelectObject(canvas.Dc(), old);
    DeleteObject(brush);
    canvas.Record(rec, std::string("brush-indirect/") + b.name);
  }
  // Styles that would need a handle or an address in lbHatch get only a small number there (as from a
  // record): GDI refuses them. A brush that was not made cannot be selected, and the blit then paints with
  // the brush selected before.
  constexpr struct {
    UINT style;
    ULONG_PTR hatch;
  } kRefused[] = {{BS_PATTERN, 3}, {BS_PATTERN, 0}, {BS_INDEXED, 3}, {BS_PATTERN8X8, 3}, {99, 0}};
  Canvas canvas(24, 16);
  canvas.Scatter(63);
  for (auto b : kRefused) {
    LOGBRUSH lb = {b.style, kInk, b.hatch};
    HBRUSH brush = CreateBrushIndirect(&lb);
    rec.Value("brush-indirect/refused/style" + Num(static_cast<int>(b.style)) + "," +
                  Num(static_cast<int>(b.hatch)),
              brush != nullptr);
    if (brush != nullptr) DeleteObject(brush);
    SelectObject(canvas.Dc(), brush);
  }
  BitBlt(canvas.Dc(), 2, 3, 11, 7, nullptr, 0, 0, PATCOPY);
  canvas.Record(rec, "brush-indirect/refused");
}

// ---- pens and lines ----

constexpr struct {
  const char *name;
  int style;
} kPenStyles[] = {{"solid", PS_SOLID},
                  {"dash", PS_DASH},
                  {"dot", PS_DOT},
                  {"dashdot", PS_DASHDOT},
                  {"dashdotdot", PS_DASHDOTDOT},
                  {"null", PS_NULL},
                  {"insideframe", PS_INSIDEFRAME}};

void Line(HDC dc, int x0, int y0, int x1, int y1) {
  const POINT points[2] = {{x0, y0}, {x1, y1}};
  Polyline(dc, points, 2);
}

// Lines from a centre to every point of a square around it: every octant, the axes, the diagonals and
// the slopes between them, drawn outwards or inwards (GDI's pixel choice is not symmetric).
void Star(HDC dc, int cx, int cy, int radius, int step, bool inwards) {
  for (int i = -radius; i < radius; i += step) {
    const POINT ends[4] = {
        {cx + i, cy - radius}, {cx + radius, cy + i}, {cx - i, cy + radius}, {cx - radius, cy - i}};
    for (const POINT &e : ends) {
      if (inwards)
        Line(dc, e.x, e.y, cx, cy);
      else
        Line(dc, cx, cy, e.x, e.y);
    }
  }
}

void OctantCases(Recorder &rec) {
  // Fans cover many slopes at once; the single lines below name the direction that differs.
  for (bool inwards : {false, true}) {
    for (int step : {3, 5}) {
      Canvas canvas(64, 64);
      {
        const SelectedPen pen(canvas.Dc(), CreatePen(PS_SOLID, 1, kInk));
        Star(canvas.Dc(), 32, 32, 30, step, inwards);
      }
      canvas.Record(rec, std::string("octants/") + (inwards ? "in" : "out") + "/step" + Num(step));
    }
  }
  // Single lines of every small slope, one per case, so that a difference names the line.
  constexpr POINT kEnds[] = {{7, 1},    {7, 3},   {1, 7},    {3, 7},    {-7, 1},  {-7, 3},   {-1, 7},
                             {-3, 7},   {7, -1},  {7, -3},   {1, -7},   {3, -7},  {-7, -1},  {-7, -3},
                             {-1, -7},  {-3, -7}, {6, 6},    {-6, 6},   {6, -6},  {-6, -6},  {9, 0},
                             {0, 9},    {-9, 0},  {0, -9},   {10, 4},   {4, 10},  {-10, 4},  {-4, 10},
                             {10, -4},  {4, -10}, {-10, -4}, {-4, -10}, {11, 2},  {-11, -2}, {2, 11},
                             {-2, -11}, {12, 5},  {-12, -5}, {5, 12},   {-5, -12}};
  for (POINT e : kEnds) {
    Canvas canvas(32, 32);
    {
      const SelectedPen pen(canvas.Dc(), CreatePen(PS_SOLID, 1, kInk));
      Line(canvas.Dc(), 15, 15, 15 + e.x, 15 + e.y);
    }
    canvas.Record(rec, "octants/line/" + Num(e.x) + "," + Num(e.y));
  }
}

void PenStyleCases(Recorder &rec) {
  for (auto s : kPenStyles) {
    for (int maker = 0; maker < 2; ++maker) {
      for (int mode : {OPAQUE, TRANSPARENT}) {
        Canvas canvas(64, 64);
        SetBkColor(canvas.Dc(), kBackground);
        SetBkMode(canvas.Dc(), mode);
        LOGPEN lp = {static_cast<UINT>(s.style), {1, 0}, kInk};
        {
          const SelectedPen pen(canvas.Dc(), maker == 0 ? CreatePen(s.style, 1, kInk) : CreatePenIndirect(&lp));
          Star(canvas.Dc(), 32, 32, 30, 7, false);
        }
        canvas.Record(rec, std::string("pen/") + s.name + (maker == 0 ? "/CreatePen" : "/indirect") +
                               (mode == OPAQUE ? "/opaque" : "/transparent"));
      }
    }
  }
  // Width 0 is a one-pixel cosmetic pen as well.
  Canvas canvas(32, 32);
  {
    const SelectedPen pen(canvas.Dc(), CreatePen(PS_DASHDOT, 0, kInk));
    Star(canvas.Dc(), 16, 16, 14, 5, true);
  }
  canvas.Record(rec, "pen/dashdot/width0");
}

// The dash pattern runs on along the lines of one Polyline.
void PolylineCases(Recorder &rec) {
  constexpr POINT kZigzag[] = {{2, 2},  {9, 2},   {9, 5},   {20, 7}, {20, 7}, {21, 30},
                               {3, 29}, {40, 12}, {46, 44}, {2, 44}, {2, 3}};
  constexpr int kCount = sizeof kZigzag / sizeof kZigzag[0];
  for (auto s : kPenStyles) {
    for (int mode : {OPAQUE, TRANSPARENT}) {
      Canvas canvas(48, 48);
      SetBkColor(canvas.Dc(), kBackground);
      SetBkMode(canvas.Dc(), mode);
      {
        const SelectedPen pen(canvas.Dc(), CreatePen(s.style, 1, kInk));
        Polyline(canvas.Dc(), kZigzag, kCount);
      }
      canvas.Record(rec, std::string("polyline/") + s.name + (mode == OPAQUE ? "/opaque" : "/transparent"));
    }
  }
  // Degenerate point lists: what is drawn and what is returned.
  Canvas canvas(16, 16);
  {
    const SelectedPen pen(canvas.Dc(), CreatePen(PS_SOLID, 1, kInk));
    const POINT one[1] = {{3, 3}};
    const POINT same[2] = {{5, 5}, {5, 5}};
    rec.Value("polyline/result/one-point", Polyline(canvas.Dc(), one, 1) != 0);
    rec.Value("polyline/result/no-point", Polyline(canvas.Dc(), one, 0) != 0);
    rec.Value("polyline/result/same-point", Polyline(canvas.Dc(), same, 2) != 0);
    rec.Value("polyline/result/null", Polyline(canvas.Dc(), nullptr, 0) != 0);
  }
  canvas.Record(rec, "polyline/degenerate");
}

// Lines that leave the canvas keep the pixels (and the dash phase) they would have unclipped.
void LineClipCases(Recorder &rec) {
  constexpr struct {
    int x0, y0, x1, y1;
  } kLines[] = {{10, 10, 500, 37},         {10, 10, -300, 29},
                {20, 5, 31, 400},          {20, 20, 27, -333},
                {-100, -7, 150, 70},       {-50, 60, 90, -40},
                {45, -20, -3, 51},         {-9, -9, 55, 55},
                {-10, 5, -1, 20},          {48, 0, 48, 30},
                {0, 40, 40, 40},           {-100000, 17, 100000, 23},
                {13, -100000, 29, 100000}, {-2000, -1990, 2000, 2010},
                {39, 39, 39, 39},          {5, 39, 44, 39}};
  for (auto s : {kPenStyles[0], kPenStyles[1], kPenStyles[4]}) {
    Canvas canvas(48, 40);
    SetBkColor(canvas.Dc(), kBackground);
    {
      const SelectedPen pen(canvas.Dc(), CreatePen(s.style, 1, kInk));
      for (auto l : kLines) Line(canvas.Dc(), l.x0, l.y0, l.x1, l.y1);
    }
    canvas.Record(rec, std::string("line-clip/") + s.name);
  }
  // A polyline that leaves the canvas and comes back keeps its dash phase.
  Canvas canvas(40, 40);
  {
    const SelectedPen pen(canvas.Dc(), CreatePen(PS_DASHDOTDOT, 1, kInk));
    const POINT out[] = {{5, 5}, {-37, 20}, {5, 35}, {35, 35}, {35, 77}, {35, 3}, {90, 3}, {2, 12}};
    Polyline(canvas.Dc(), out, sizeof out / sizeof out[0]);
  }
  canvas.Record(rec, "line-clip/polyline-out-and-back");
}

// ---- image blits ----

void StretchCases(Recorder &rec) {
  constexpr struct {
    int sw, sh, dw, dh;
  } kScales[] = {{11, 7, 11, 7},   {6, 5, 12, 10},  {4, 3, 12, 9},   {4, 4, 10, 10},   {6, 6, 9, 9},
                 {3, 3, 7, 7},     {5, 4, 16, 13},  {16, 12, 8, 6},  {15, 15, 5, 5},   {20, 10, 8, 4},
                 {15, 9, 9, 5},    {17, 13, 7, 11}, {5, 12, 13, 4},  {24, 3, 7, 10},   {1, 1, 9, 5},
                 {30, 20, 1, 1},   {11, 7, -11, 7}, {11, 7, 11, -7}, {11, 7, -11, -7}, {6, 5, -15, 12},
                 {16, 12, -7, -5}, {-11, 7, 11, 7}, {11, -7, 11, 7}, {-6, -5, 13, 11}, {-16, 12, 7, -5}};
  for (auto s : kScales) {
    for (DWORD rop : {SRCCOPY, SRCAND}) {
      Canvas canvas(48, 40);
      canvas.Scatter(67);
      const int w = s.sw < 0 ? -s.sw : s.sw;
      const int h = s.sh < 0 ? -s.sh : s.sh;
      Dib source(w, h, 24, 71);
      // Negative sizes mirror, the whole image here. Mirrored source rows are kept inside the image: of a
      // bottom-up image, ySrc height + 1 with SrcHeight -height takes every row. One that reaches past the
      // image is clipped by our layer as columns are, while Wine 8 moves such rows back inside.
      const int xs = s.sw < 0 ? w : 0;
      const int ys = s.sh < 0 ? h + 1 : 0;
      const int xd = 20;
      const int yd = 18;
      StretchDIBits(canvas.Dc(), xd, yd, s.dw, s.dh, xs, ys, s.sw, s.sh, source.Bits(), source.Info(),
                    DIB_RGB_COLORS, rop);
      canvas.Record(rec, "stretch/" + Num(s.sw) + "x" + Num(s.sh) + "-to-" + Num(s.dw) + "x" + Num(s.dh) +
                             (rop == SRCCOPY ? "/SRCCOPY" : "/SRCAND"));
    }
  }
  // Shrinks onto one pixel AND every source pixel into it. Only the exact SRCCOPY code is compared: Wine 8
  // leaves the last source pixel out on its path for other codes.
  constexpr struct {
    int sw, sh, dw, dh;
  } kOnePixel[] = {{2, 1, 1, 1}, {3, 1, 1, 1}, {1, 3, 1, 1}, {3, 2, 1, 2}, {2, 3, 2, 1}, {5, 4, 1, 1}};
  for (auto s : kOnePixel) {
    Canvas canvas(8, 8);
    canvas.Scatter(83);
    Dib source(s.sw, s.sh, 24, 89);
    StretchDIBits(canvas.Dc(), 3, 2, s.dw, s.dh, 0, 0, s.sw, s.sh, source.Bits(), source.Info(),
                  DIB_RGB_COLORS, SRCCOPY);
    canvas.Record(rec,
                  "stretch/one-pixel/" + Num(s.sw) + "x" + Num(s.sh) + "-to-" + Num(s.dw) + "x" + Num(s.dh));
  }
  // Part of the source, 1:1 and stretched, from a bottom-up and a top-down image. Of a top-down image only
  // column ranges are taken: where its rows start for a ySrc other than 0 is not settled (Wine 8 counts
  // ySrc from the bottom on its path for the exact SRCCOPY code and from the top on its other path), and
  // the band renderer always blits whole images.
  for (int height : {12, -12}) {
    Canvas canvas(48, 40);
    canvas.Scatter(73);
    Dib source(14, height, 24, 79);
    const bool rows = height > 0;
    const auto blit = [&](int x, int y, int w, int h, int xs, int ys, int ws, int hs) {
      StretchDIBits(canvas.Dc(), x, y, w, h, xs, rows ? ys : 0, ws, rows ? hs : 12, source.Bits(),
                    source.Info(), DIB_RGB_COLORS, SRCCOPY);
    };
    blit(1, 2, 9, 7, 3, 2, 9, 7);
    blit(12, 2, 25, 20, 4, 3, 7, 6);
    blit(2, 24, 10, 5, 1, 5, 12, 6);
    canvas.Record(rec, std::string("stretch/part/") + (height > 0 ? "bottom-up" : "top-down"));
  }
}

// Everything drawn beyond an edge of the canvas is dropped; the rest lands where it would unclipped.
void ClipCases(Recorder &rec) {
  constexpr struct {
    const char *name;
    int x, y;
  } kPositions[] = {{"left", -5, 9},       {"top", 11, -4},         {"right", 37, 13},
                    {"bottom", 6, 31},     {"top-left", -7, -6},    {"bottom-right", 40, 33},
                    {"top-right", 38, -8}, {"bottom-left", -9, 30}, {"out-left", -30, 10},
                    {"out-right", 48, 10}, {"out-top", 10, -20},    {"out-bottom", 10, 40},
                    {"cover", -9, -8}};
  Dib source(16, 12, 24, 83);
  for (auto p : kPositions) {
    Canvas canvas(48, 40);
    canvas.Scatter(89);
    const int w = std::strcmp(p.name, "cover") == 0 ? 70 : 16;
    const int h = std::strcmp(p.name, "cover") == 0 ? 60 : 12;
    StretchDIBits(canvas.Dc(), p.x, p.y, 16, 12, 0, 0, 16, 12, source.Bits(), source.Info(), DIB_RGB_COLORS,
                  SRCCOPY);
    StretchDIBits(canvas.Dc(), p.x + 3, p.y + 2, w, h, 0, 0, 16, 12, source.Bits(), source.Info(),
                  DIB_RGB_COLORS, SRCINVERT);
    StretchDIBits(canvas.Dc(), p.x + 1, p.y + 1, -9, 7, 0, 0, 16, 12, source.Bits(), source.Info(),
                  DIB_RGB_COLORS, SRCPAINT);
    HBRUSH brush = CreateHatchBrush(HS_BDIAGONAL, kInk);
    const RECT r = {p.x, p.y, p.x + 13, p.y + 9};
    FillRect(canvas.Dc(), &r, brush);
    HGDIOBJ old = SelectObject(canvas.Dc(), brush);
    BitBlt(canvas.Dc(), p.x + 5, p.y + 4, 12, 10, nullptr, 0, 0, PATINVERT);
    SelectObject(canvas.Dc(), old);
    DeleteObject(brush);
    canvas.Record(rec, std::string("clip/") + p.name);
  }
  // Source rectangles that reach beyond the source image.
  constexpr struct {
    int xs, ys, ws, hs, wd, hd;
  } kSources[] = {{-4, 0, 10, 6, 10, 6},  {0, -3, 10, 6, 10, 6},    {10, 0, 10, 6, 10, 6},
                  {0, 9, 10, 6, 10, 6},   {-4, -3, 24, 18, 24, 18}, {12, 8, 8, 8, 16, 16},
                  {-20, 0, 10, 6, 10, 6}, {-4, -3, 24, 18, 12, 9}};
  for (auto s : kSources) {
    Canvas canvas(32, 24);
    canvas.Scatter(97);
    StretchDIBits(canvas.Dc(), 4, 3, s.wd, s.hd, s.xs, s.ys, s.ws, s.hs, source.Bits(), source.Info(),
                  DIB_RGB_COLORS, SRCCOPY);
    canvas.Record(rec, "clip/source/" + Num(s.xs) + "," + Num(s.ys) + "," + Num(s.ws) + "x" + Num(s.hs) +
                           "-to-" + Num(s.wd) + "x" + Num(s.hd));
  }
}

// ---- rectangle fills and the drawing state ----

void FillCases(Recorder &rec) {
  {
    Canvas canvas(32, 24);
    canvas.Scatter(101);
    HBRUSH brush = CreateSolidBrush(kInk);
    const RECT rects[] = {{2, 3, 9, 8}, {12, 12, 12, 20}, {20, 5, 14, 9}, {25, 20, 30, 15}, {-3, 18, 4, 40}};
    for (const RECT &r : rects) FillRect(canvas.Dc(), &r, brush);
    DeleteObject(brush);
    canvas.Record(rec, "fill/FillRect");
  }
  {
    Canvas canvas(32, 24);
    canvas.Scatter(103);
    HBRUSH brush = CreateSolidBrush(kInk);
    HRGN inside = CreateRectRgn(3, 4, 11, 9);
    HRGN edge = CreateRectRgn(25, -5, 40, 6);
    HRGN inverted = CreateRectRgn(20, 20, 14, 12);
    FillRgn(canvas.Dc(), inside, brush);
    FillRgn(canvas.Dc(), edge, brush);
    FillRgn(canvas.Dc(), inverted, brush);
    DeleteObject(inside);
    DeleteObject(edge);
    DeleteObject(inverted);
    DeleteObject(brush);
    canvas.Record(rec, "fill/FillRgn");
  }
  {
    // The opaque rectangle fill leaves its colour as the background colour for what follows.
    Canvas canvas(32, 24);
    canvas.Scatter(107);
    rec.Value("fill/result/initial-GetBkColor", static_cast<int32_t>(GetBkColor(canvas.Dc())));
    rec.Value("fill/result/initial-GetBkMode", GetBkMode(canvas.Dc()));
    const RECT rects[] = {{2, 3, 9, 8}, {-4, 14, 6, 30}, {20, 10, 14, 4}, {10, 10, 10, 14}};
    COLORREF colours[] = {RGB(1, 2, 3), RGB(250, 128, 0), RGB(0, 90, 255), RGB(33, 66, 99)};
    for (int i = 0; i < 4; ++i) {
      rec.Value("fill/result/SetBkColor" + Num(i), static_cast<int32_t>(SetBkColor(canvas.Dc(), colours[i])));
      rec.Value("fill/result/ExtTextOutW" + Num(i),
                ExtTextOutW(canvas.Dc(), 0, 0, ETO_OPAQUE, &rects[i], nullptr, 0, nullptr) != 0);
    }
    rec.Value("fill/result/GetBkColor", static_cast<int32_t>(GetBkColor(canvas.Dc())));
    HBRUSH hatch = CreateHatchBrush(HS_CROSS, kInk);
    const RECT after = {12, 14, 31, 23};
    FillRect(canvas.Dc(), &after, hatch);
    HPEN pen = CreatePen(PS_DOT, 1, kInk);
    HGDIOBJ old = SelectObject(canvas.Dc(), pen);
    Line(canvas.Dc(), 1, 22, 30, 1);
    SelectObject(canvas.Dc(), old);
    DeleteObject(pen);
    DeleteObject(hatch);
    canvas.Record(rec, "fill/ExtTextOut-opaque");
  }
}

// ---- objects ----

void ObjectCases(Recorder &rec) {
  Canvas canvas(24, 16);
  canvas.Scatter(109);
  HDC dc = canvas.Dc();
  HBRUSH first = CreateSolidBrush(RGB(0, 0, 255));
  HBRUSH second = CreateHatchBrush(HS_VERTICAL, RGB(0, 255, 0));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HGDIOBJ original = SelectObject(dc, first);
  rec.Value("objects/result/first-brush", original != nullptr);
  // SelectObject hands back the previous object of the same kind only.
  rec.Value("objects/result/first-pen", SelectObject(dc, pen) != nullptr);
  rec.Value("objects/result/brush-after-pen", SelectObject(dc, second) == first);
  rec.Value("objects/result/brush-again", SelectObject(dc, first) == second);
  // The selected brush survives DeleteObject and keeps drawing.
  DeleteObject(first);
  BitBlt(dc, 2, 2, 8, 8, nullptr, 0, 0, PATCOPY);
  rec.Value("objects/result/deleted-while-selected", SelectObject(dc, second) == first);
  BitBlt(dc, 12, 2, 8, 8, nullptr, 0, 0, PATCOPY);
  rec.Value("objects/result/original-back", SelectObject(dc, original) == second);
  rec.Value("objects/result/delete-deselected", DeleteObject(second) != 0);
  canvas.Record(rec, "objects/select-delete");
}

// ---- bad input: GDI's failure results, nothing drawn outside the canvas ----

void BadInputCases(Recorder &rec) {
  Canvas canvas(40, 16);
  canvas.Scatter(113);
  HDC dc = canvas.Dc();
  Dib source(4, 4, 24, 127);
  HBRUSH brush = CreateSolidBrush(kInk);
  HBRUSH deleted = CreateSolidBrush(kInk);
  DeleteObject(deleted);
  // Each call that could draw has a place of its own, so that a stray paint names its call.
  // FillRect with a NULL or deleted brush is not drawn here: Windows paints nothing, while Wine 8 paints
  // with the brush selected in the context.
  const RECT spot = {1, 1, 5, 5};
  FillRect(nullptr, &spot, brush);
  const POINT line[2] = {{16, 1}, {20, 5}};
  const std::string r = "bad-input/result/";
  rec.Value(r + "BitBlt-null-dc", BitBlt(nullptr, 21, 1, 4, 4, nullptr, 0, 0, PATCOPY) != 0);
  rec.Value(r + "StretchDIBits-null-dc", StretchDIBits(nullptr, 26, 1, 4, 4, 0, 0, 4, 4, source.Bits(),
                                                       source.Info(), DIB_RGB_COLORS, SRCCOPY));
  rec.Value(r + "StretchDIBits-null-info",
            StretchDIBits(dc, 31, 1, 4, 4, 0, 0, 4, 4, source.Bits(), nullptr, DIB_RGB_COLORS, SRCCOPY));
  rec.Value(r + "StretchDIBits-empty-source",
            StretchDIBits(dc, 1, 6, 4, 4, 0, 0, 0, 4, source.Bits(), source.Info(), DIB_RGB_COLORS, SRCCOPY));
  rec.Value(r + "StretchDIBits-null-bits",
            StretchDIBits(dc, 6, 6, 4, 4, 0, 0, 4, 4, nullptr, source.Info(), DIB_RGB_COLORS, SRCCOPY) != 0);
  rec.Value(r + "StretchDIBits-huge", StretchDIBits(dc, 11, 6, 1 << 28, 1 << 28, 0, 0, 4, 4, source.Bits(),
                                                    source.Info(), DIB_RGB_COLORS, SRCCOPY) != 0);
  rec.Value(r + "Polyline-null-dc", Polyline(nullptr, line, 2) != 0);
  rec.Value(r + "Polyline-negative-count", Polyline(dc, line, -1) != 0);
  rec.Value(r + "SelectObject-null-dc", SelectObject(nullptr, brush) != nullptr);
  rec.Value(r + "SelectObject-null", SelectObject(dc, nullptr) != nullptr);
  rec.Value(r + "SelectObject-deleted", SelectObject(dc, deleted) != nullptr);
  rec.Value(r + "DeleteObject-null", DeleteObject(nullptr) != 0);
  rec.Value(r + "DeleteObject-deleted", DeleteObject(deleted) != 0);
  rec.Value(r + "DeleteDC-null", DeleteDC(nullptr) != 0);
  rec.Value(r + "CreateHatchBrush-negative", CreateHatchBrush(-1, kInk) != nullptr);
  rec.Value(r + "SetBkMode-0", SetBkMode(dc, 0));
  rec.Value(r + "SetBkMode-3", SetBkMode(dc, 3));
  rec.Value(r + "GetBkMode", GetBkMode(dc));
  // The reference context: the display driver's name in any case; no other driver is there.
  for (auto driver : {TEXT("display"), TEXT("NOSUCH")}) {
    HDC made = CreateDCW(driver, nullptr, nullptr, nullptr);
    rec.Value(r + "CreateDCW-" + (driver[0] == 'd' ? "display" : "NOSUCH"), made != nullptr);
    if (made != nullptr) DeleteDC(made);
  }
  // Empty and inverted sizes draw nothing; a blit far off the canvas succeeds and draws nothing.
  BitBlt(dc, 1, 11, 0, 4, nullptr, 0, 0, PATCOPY);
  BitBlt(dc, 9, 14, -2, -2, nullptr, 0, 0, PATCOPY);
  BitBlt(dc, 30000, 30000, 4, 4, nullptr, 0, 0, PATCOPY);
  // The failed selections above left the canvas's black brush in place.
  BitBlt(dc, 21, 11, 4, 4, nullptr, 0, 0, PATCOPY);
  StretchDIBits(dc, 16, 11, 0, 4, 0, 0, 4, 4, source.Bits(), source.Info(), DIB_RGB_COLORS, SRCCOPY);
  DeleteObject(brush);
  canvas.Record(rec, "bad-input/canvas");

  // Canvases that cannot exist.
  constexpr struct {
    int width, height, bitCount;
  } kHeaders[] = {{0, 4, 24}, {4, 0, 24}, {-4, 4, 24}, {4, 4, 7}, {0x7FFFFFFF, 0x7FFFFFFF, 24}};
  for (auto h : kHeaders) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = h.width;
    info.bmiHeader.biHeight = h.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(h.bitCount);
    void *bits = reinterpret_cast<void *>(1);
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const std::string name =
        "bad-input/CreateDIBSection/" + Num(h.width) + "x" + Num(h.height) + "x" + Num(h.bitCount);
    rec.Value(name + "/made", bitmap != nullptr);
    rec.Value(name + "/bits-cleared", bits == nullptr);
    if (bitmap != nullptr) DeleteObject(bitmap);
  }
}

// ---- 1-, 4- and 8-bit sources ----

// Records hand the raster layer bare headers for such sources (biClrUsed 0, no table). Our layer takes
// the indices of a bare header as grey levels (0 black, the highest index white); a real GDI reads a
// table after the header, so both builds pass that grey table there. With biClrUsed set, the table is
// the caller's, as in GDI.
std::vector<RGBQUAD> GreyTable(int bitCount) {
  const int n = 1 << bitCount;
  std::vector<RGBQUAD> table(n);
  for (int i = 0; i < n; ++i) {
    const BYTE level = static_cast<BYTE>(i * 255 / (n - 1));
    table[i] = {level, level, level, 0};
  }
  return table;
}

std::vector<RGBQUAD> ColourTable(int count, uint32_t seed) {
  Noise noise(seed);
  std::vector<RGBQUAD> table(count);
  for (RGBQUAD &q : table) q = {noise.Byte(), noise.Byte(), noise.Byte(), 0};
  return table;
}

void LowBppCases(Recorder &rec) {
  constexpr struct {
    const char *name;
    int bitCount;
    int colours;  // 0: a bare header
  } kSources[] = {{"1/bare", 1, 0}, {"1/table", 1, 2},   {"4/bare", 4, 0}, {"4/table", 4, 16},
                  {"8/bare", 8, 0}, {"8/table", 8, 256}, {"8/few", 8, 7}};
  for (auto src : kSources) {
    for (int height : {9, -9}) {
      Dib source(13, height, src.bitCount, 131,
                 src.colours == 0 ? GreyTable(src.bitCount) : ColourTable(src.colours, 137));
      source.Header()->biClrUsed = static_cast<DWORD>(src.colours);
      if (src.colours != 0 && src.colours < (1 << src.bitCount)) {
        // Indices past a short table are left undefined by GDI: keep to the table.
        for (int i = 0; i < source.PixelBytes(); ++i) source.Bits()[i] %= src.colours;
      }
      Canvas canvas(48, 32);
      canvas.Scatter(139);
      HDC dc = canvas.Dc();
      const auto blit = [&](int x, int y, int w, int h, int xs, int ys, int ws, int hs, DWORD rop) {
        StretchDIBits(dc, x, y, w, h, xs, ys, ws, hs, source.Bits(), source.Info(), DIB_RGB_COLORS, rop);
      };
      blit(1, 1, 13, 9, 0, 0, 13, 9, SRCCOPY);
      blit(16, 2, 26, 18, 0, 0, 13, 9, SRCCOPY);
      blit(1, 14, 6, 4, 0, 0, 13, 9, SRCCOPY);
      blit(32, 21, 13, 9, 0, 0, 13, 9, SRCAND);
      blit(20, 22, -9, 7, 2, 1, 9, 7, SRCCOPY);
      HBRUSH brush = NoisePatternBrush(149);
      HGDIOBJ old = SelectObject(dc, brush);
      blit(8, 24, 13, 9, 0, 0, 13, 9, 0x00B8074A);
      SelectObject(dc, old);
      DeleteObject(brush);
      canvas.Record(rec, std::string("lowbpp/") + src.name + (height > 0 ? "/bottom-up" : "/top-down"));
    }
  }
  // Packed pattern images carry their table after the header, as GDI reads them.
  for (int bitCount : {1, 4, 8}) {
    Canvas canvas(32, 24);
    canvas.Scatter(151);
    Dib pattern(5, 7, bitCount, 157, ColourTable(1 << bitCount, 163));
    HBRUSH brush = CreateDIBPatternBrushPt(pattern.Packed(), DIB_RGB_COLORS);
    const RECT r = {3, 2, 29, 21};
    FillRect(canvas.Dc(), &r, brush);
    DeleteObject(brush);
    canvas.Record(rec, "lowbpp/pattern/" + Num(bitCount));
  }
}

// ---- seeded random sequences: each case is named by its seed and can be drawn again alone ----

class Dice {
 public:
  explicit Dice(uint32_t seed) : noise_(seed) {}
  // A number in [low, high].
  int In(int low, int high) {
    const uint32_t n = uint32_t(noise_.Byte()) << 16 | uint32_t(noise_.Byte()) << 8 | noise_.Byte();
    return low + static_cast<int>(n % uint32_t(high - low + 1));
  }
  // Each draw is its own statement: the order in which a call's arguments are evaluated is unspecified,
  // and both builds must draw the same numbers in the same order.
  int Sign(int oneIn) { return In(0, oneIn - 1) == 0 ? -1 : 1; }
  int Signed(int low, int high, int oneIn) {
    const int magnitude = In(low, high);
    return magnitude * Sign(oneIn);
  }
  COLORREF Colour() {
    const int r = In(0, 255);
    const int g = In(0, 255);
    const int b = In(0, 255);
    return RGB(r, g, b);
  }
  RECT Rect(int width, int height) {
    RECT r;
    r.left = In(-5, width);
    r.top = In(-5, height);
    r.right = In(-5, width + 5);
    r.bottom = In(-5, height + 5);
    return r;
  }

 private:
  Noise noise_;
};

bool UsesPattern(unsigned rop) { return ((rop >> 4) & 0x0F) != (rop & 0x0F); }

// A brush of any kind; `period` receives the size of its tile (1 x 1 for a solid brush).
HBRUSH RandomBrush(Dice &dice, std::vector<Dib> &keep, POINT &period) {
  const COLORREF colour = dice.Colour();
  period = {8, 8};
  switch (dice.In(0, 3)) {
    case 0:
      period = {1, 1};
      return CreateSolidBrush(colour);
    case 1:
      return CreateHatchBrush(dice.In(HS_HORIZONTAL, HS_DIAGCROSS), colour);
    case 2:
      return NoisePatternBrush(static_cast<uint32_t>(dice.In(0, 1 << 20)));
    default: {
      const int w = dice.In(1, 11);
      const int h = dice.Signed(1, 11, 4);
      const int seed = dice.In(0, 1 << 20);
      keep.emplace_back(w, h, 24, seed);
      period = {w, h < 0 ? -h : h};
      return CreateDIBPatternBrushPt(keep.back().Packed(), DIB_RGB_COLORS);
    }
  }
}

void RandomStretch(Dice &dice, HDC dc, int width, int height, POINT period) {
  const unsigned rop = static_cast<unsigned>(dice.In(0, 255));
  const int sw = dice.In(1, 24);
  const int sh = dice.In(1, 14);
  const int sign = dice.Sign(5);
  const int seed = dice.In(0, 1 << 20);
  Dib source(sw, sh * sign, 24, seed);
  int xd = dice.In(-60, width + 2);
  int yd = dice.In(-60, height + 2);
  int dw = dice.Signed(1, 80, 4);
  int dh = dice.Signed(1, 80, 4);
  int xs = dice.In(0, sw - 1);
  int ys = dice.In(0, sh - 1);
  int ws = dice.In(1, sw - xs);
  int hs = dice.In(1, sh - ys);
  if (sign < 0) {
    // Rows of a top-down source are taken whole (see the part-of-the-source cases).
    ys = 0;
    hs = sh;
  }
  // Wine 8 leaves the last source pixel out of a shrink onto a single pixel, except for the exact SRCCOPY
  // code, where it ANDs them all as the documented rule says (and our layer does for every operation):
  // shrinks by other operations are compared onto two pixels or more.
  if (dw * dw == 1 && ws > 1) dw *= 2;
  if (dh * dh == 1 && hs > 1) dh *= 2;
  if (UsesPattern(rop) && UsesSource(rop)) {
    // Wine 8 anchors the pattern of a pattern-and-source operation at twice the destination position
    // (Windows: at the canvas origin); they agree on unmirrored rectangles at multiples of the tile size.
    xd = xd / period.x * period.x;
    yd = yd / period.y * period.y;
    dw = dw < 0 ? -dw : dw;
    dh = dh < 0 ? -dh : dh;
  }
  StretchDIBits(dc, xd, yd, dw, dh, xs, ys, ws, hs, source.Bits(), source.Info(), DIB_RGB_COLORS,
                RopCode(rop));
}

void RandomStep(Dice &dice, HDC dc, int width, int height) {
  std::vector<Dib> keep;
  switch (dice.In(0, 5)) {
    case 0: {
      POINT period;
      HBRUSH brush = RandomBrush(dice, keep, period);
      const RECT r = dice.Rect(width, height);
      FillRect(dc, &r, brush);
      DeleteObject(brush);
      break;
    }
    case 1: {
      POINT period;
      HBRUSH brush = RandomBrush(dice, keep, period);
      HGDIOBJ old = SelectObject(dc, brush);
      unsigned rop;
      do rop = static_cast<unsigned>(dice.In(0, 255));
      while (UsesSource(rop));
      const int x = dice.In(-8, width);
      const int y = dice.In(-8, height);
      const int w = dice.In(-3, 30);
      const int h = dice.In(-3, 30);
      BitBlt(dc, x, y, w, h, nullptr, 0, 0, RopCode(rop));
      SelectObject(dc, old);
      DeleteObject(brush);
      break;
    }
    case 2: {
      // In TRANSPARENT mode Wine 8's StretchDIBits paints the spaces of a hatched brush, while its BitBlt
      // leaves them; which of the two Windows does for a blit with a source is not settled here, and the
      // band renderer keeps its canvas OPAQUE. So image blits are compared in OPAQUE mode only.
      SetBkMode(dc, OPAQUE);
      POINT period;
      HBRUSH brush = RandomBrush(dice, keep, period);
      HGDIOBJ old = SelectObject(dc, brush);
      RandomStretch(dice, dc, width, height, period);
      SelectObject(dc, old);
      DeleteObject(brush);
      break;
    }
    case 3: {
      SetBkMode(dc, dice.In(0, 1) == 0 ? OPAQUE : TRANSPARENT);
      const int style = kPenStyles[dice.In(0, 6)].style;
      HPEN pen = CreatePen(style, 1, dice.Colour());
      HGDIOBJ old = SelectObject(dc, pen);
      POINT points[6];
      const int count = dice.In(2, 6);
      for (int i = 0; i < count; ++i) {
        points[i].x = dice.In(-200, width + 200);
        points[i].y = dice.In(-200, height + 200);
      }
      Polyline(dc, points, count);
      SelectObject(dc, old);
      DeleteObject(pen);
      break;
    }
    case 4: {
      SetBkColor(dc, dice.Colour());
      const RECT r = dice.Rect(width, height);
      ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
      break;
    }
    default:
      SetBkMode(dc, dice.In(0, 1) == 0 ? OPAQUE : TRANSPARENT);
      POINT period;
      HBRUSH brush = RandomBrush(dice, keep, period);
      const RECT r = dice.Rect(width, height);
      FillRect(dc, &r, brush);
      DeleteObject(brush);
      break;
  }
}

void RandomCases(Recorder &rec) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    Dice dice(seed);
    const int width = dice.In(1, 40);
    const int height = dice.In(1, 30);
    const bool topDown = dice.In(0, 3) == 0;
    Canvas canvas(width, height, topDown);
    canvas.Scatter(seed);
    for (int steps = dice.In(1, 6); steps > 0; --steps) RandomStep(dice, canvas.Dc(), width, height);
    canvas.Record(rec, "random/" + Num(static_cast<int>(seed)));
  }
}

constexpr struct {
  const char *name;
  void (*run)(Recorder &);
} kFamilies[] = {
    {"canvas", CanvasCases},      {"canvas", TopDownCases},
    {"rop-blt", RopBltCases},     {"rop-stretch", RopStretchCases},
    {"rop-brush", RopBrushCases}, {"hatch", HatchCases},
    {"pattern", PatternCases},    {"brush-indirect", BrushIndirectCases},
    {"octants", OctantCases},     {"pen", PenStyleCases},
    {"polyline", PolylineCases},  {"line-clip", LineClipCases},
    {"stretch", StretchCases},    {"clip", ClipCases},
    {"fill", FillCases},          {"objects", ObjectCases},
    {"bad-input", BadInputCases}, {"lowbpp", LowBppCases},
    {"random", RandomCases},
};

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2 && argc != 3) {
    std::fputs("usage: gdi_reference_cases <output file> [family]\n", stderr);
    return 2;
  }
  const std::string only = argc == 3 ? argv[2] : "";
  FILE *out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  Recorder rec(out);
  for (auto f : kFamilies)
    if (only.empty() || only == f.name) f.run(rec);
  return std::fclose(out) == 0 ? 0 : 1;
}
