// The GDI object table and the device context's drawing state, shared by the rooms of the raster layer
// (objects, fills and blits here; pens and lines in pen.cpp and line.cpp).
//
// GDI handles live in their own table, apart from kernel handles: a GDI handle carries its slot in the
// low 16 bits and a reuse count above, so a stale handle to a deleted object is refused rather than
// reaching whatever took its slot.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

namespace platform::gdi {

enum class ObjectKind { dc, bitmap, brush, pen, region };

class GdiObject {
 public:
  explicit GdiObject(ObjectKind kind) : kind(kind) {}
  virtual ~GdiObject() = default;
  const ObjectKind kind;
  // How many device contexts hold the object selected. A selected object cannot be deleted.
  std::atomic<int> selectCount{0};
  HGDIOBJ handle = nullptr;  // set when the object enters the table
};

// Pixels of a bitmap: 24 bits per pixel, blue, green, red. Rows are kept in memory bottom-up or top-down;
// Row(y) hides the difference (y counts from the top).
struct Surface {
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one memory row to the next, > 0
  BYTE *bits = nullptr;
  bool bottomUp = true;

  BYTE *Row(int y) const {
    int memoryRow = bottomUp ? height - 1 - y : y;
    return bits + static_cast<ptrdiff_t>(memoryRow) * stride;
  }
  bool Empty() const { return bits == nullptr || width <= 0 || height <= 0; }
};

class BitmapObject : public GdiObject {
 public:
  BitmapObject() : GdiObject(ObjectKind::bitmap) {}
  Surface surface;
  std::unique_ptr<BYTE[]> storage;  // owns surface.bits
  bool isDibSection = false;
};

// A cosmetic pen. Styles are PS_* values (PS_STYLE_MASK part); width is as given (the layer draws every
// pen one pixel wide).
class PenObject : public GdiObject {
 public:
  PenObject() : GdiObject(ObjectKind::pen) {}
  UINT style = PS_SOLID;
  int width = 1;
  COLORREF color = 0;
};

enum class BrushKind { solid, hollow, hatched, pattern };

// A brush as the raster layer paints it. A pattern brush keeps its own copy of the image, 24-bit,
// rows top-down, so the bitmap it came from may be deleted.
class BrushObject : public GdiObject {
 public:
  BrushObject() : GdiObject(ObjectKind::brush) {}
  BrushKind brushKind = BrushKind::solid;
  COLORREF color = 0;  // solid colour, or the colour of hatch lines
  int hatch = 0;       // HS_* for hatched brushes
  int patternWidth = 0;
  int patternHeight = 0;
  std::vector<BYTE> pattern;  // patternHeight rows of patternWidth * 3 bytes, blue, green, red, top row first
};

class RegionObject : public GdiObject {
 public:
  RegionObject() : GdiObject(ObjectKind::region) {}
  RECT rect = {0, 0, 0, 0};  // normalised: left <= right, top <= bottom
};

// A device context and its drawing state. A context is used by one thread at a time, as in GDI.
class DcObject : public GdiObject {
 public:
  DcObject() : GdiObject(ObjectKind::dc) {}
  bool isDisplay = false;  // the reference "DISPLAY" context: no bitmap can be selected into it
  std::shared_ptr<BitmapObject> bitmap;  // the 1 x 1 stock bitmap of a fresh memory context
  std::shared_ptr<BrushObject> brush;
  std::shared_ptr<PenObject> pen;
  COLORREF bkColor = 0x00FFFFFF;
  int bkMode = OPAQUE;
  int stretchMode = BLACKONWHITE;
  POINT brushOrigin = {0, 0};

  // The pixels drawing calls write to; only valid on a context from LookupDrawingDc.
  const Surface &Target() const { return bitmap->surface; }
};

// ---- The object table (thread-safe) ----

// Adds the object and returns its handle, or NULL with ERROR_NOT_ENOUGH_MEMORY when the table is full.
HGDIOBJ AddObject(std::shared_ptr<GdiObject> object);

// The object behind a handle, or nullptr when the handle is not a live GDI object (last error
// ERROR_INVALID_HANDLE).
std::shared_ptr<GdiObject> LookupObject(HGDIOBJ handle);

template <class T>
std::shared_ptr<T> LookupObjectAs(HGDIOBJ handle) {
  auto object = std::dynamic_pointer_cast<T>(LookupObject(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

inline std::shared_ptr<DcObject> LookupDc(HDC hdc) { return LookupObjectAs<DcObject>(hdc); }

// A context that drawing calls can draw on: a memory context (with the stock 1 x 1 bitmap or a selected
// one). The display context has no pixels in the stand-in; drawing on it fails with
// ERROR_CALL_NOT_IMPLEMENTED. Invalid handles fail with ERROR_INVALID_HANDLE.
std::shared_ptr<DcObject> LookupDrawingDc(HDC hdc);

// Takes the object out of the table (its memory goes with the last reference). Fails, keeping the object,
// when the handle is not live or, with keepIfSelected, when the object is selected into a context.
bool RemoveObject(HGDIOBJ handle, bool keepIfSelected);
bool IsStockObject(const GdiObject *object);

// Stock objects shared by every context: the black pen and white brush a fresh context starts with
// (GDI's BLACK_PEN and WHITE_BRUSH) and the 1 x 1 monochrome-like default bitmap. They are never deleted.
std::shared_ptr<PenObject> StockBlackPen();
std::shared_ptr<BrushObject> StockWhiteBrush();
std::shared_ptr<BitmapObject> StockBitmap();

// ---- Pixel helpers ----

// Writes a COLORREF (low byte red) as the blue, green, red bytes of one pixel.
inline void PutPixel(BYTE *pixel, COLORREF color) {
  pixel[0] = GetBValue(color);
  pixel[1] = GetGValue(color);
  pixel[2] = GetRValue(color);
}

}  // namespace platform::gdi
