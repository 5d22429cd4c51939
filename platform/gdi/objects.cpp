// The GDI object table and the calls that work on any object: DeleteObject, GetObjectType, GetObjectW.
#include "gdi/dc.h"

#include <cstring>
#include <mutex>
#include <new>

namespace platform::gdi {
namespace {

// A handle is kTag | reuse << 16 | slot: never NULL, never a kernel handle (those are small multiples of
// four), and a handle whose slot was freed and reused no longer matches.
constexpr ULONG_PTR kTag = 0x40000000;
constexpr size_t kMaxObjects = 0x10000;
constexpr ULONG_PTR kReuseMask = 0x3FFF;

struct Slot {
  std::shared_ptr<GdiObject> object;
  ULONG_PTR reuse = 0;
};

struct ObjectTable {
  std::mutex lock;
  std::vector<Slot> slots;
  size_t searchFrom = 0;
};

ObjectTable &Table() {
  static ObjectTable *table = new ObjectTable;  // outlives static destructors that may delete objects
  return *table;
}

HGDIOBJ MakeHandle(size_t slot, ULONG_PTR reuse) {
  return reinterpret_cast<HGDIOBJ>(kTag | (reuse & kReuseMask) << 16 | slot);
}

// The slot of a well-formed handle whose reuse count still matches; the table lock is held.
Slot *FindSlot(ObjectTable &table, HGDIOBJ handle) {
  auto value = reinterpret_cast<ULONG_PTR>(handle);
  if ((value & 0xC0000000) != kTag) return nullptr;
  size_t slot = value & 0xFFFF;
  if (slot >= table.slots.size()) return nullptr;
  Slot &entry = table.slots[slot];
  if (!entry.object || (entry.reuse & kReuseMask) != ((value >> 16) & kReuseMask)) return nullptr;
  return &entry;
}

}  // namespace

HGDIOBJ AddObject(std::shared_ptr<GdiObject> object) {
  ObjectTable &table = Table();
  std::lock_guard guard(table.lock);
  size_t n = table.slots.size();
  for (size_t k = 0; k < n; ++k) {
    size_t slot = (table.searchFrom + k) % n;
    if (!table.slots[slot].object) {
      object->handle = MakeHandle(slot, table.slots[slot].reuse);
      table.slots[slot].object = std::move(object);
      table.searchFrom = slot + 1;
      return table.slots[slot].object->handle;
    }
  }
  if (n >= kMaxObjects) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  object->handle = MakeHandle(n, 0);
  table.slots.push_back(Slot{std::move(object), 0});
  table.searchFrom = n + 1;
  return table.slots[n].object->handle;
}

std::shared_ptr<GdiObject> LookupObject(HGDIOBJ handle) {
  ObjectTable &table = Table();
  std::lock_guard guard(table.lock);
  Slot *entry = FindSlot(table, handle);
  if (!entry) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return entry->object;
}

// Removes the object from the table unless it is selected into a context. The last shared_ptr frees it;
// a drawing call that holds one finishes on the still-valid object.
bool RemoveObject(HGDIOBJ handle, bool keepIfSelected) {
  ObjectTable &table = Table();
  std::shared_ptr<GdiObject> removed;
  {
    std::lock_guard guard(table.lock);
    Slot *entry = FindSlot(table, handle);
    if (!entry) return false;
    if (keepIfSelected && entry->object->selectCount > 0) return false;
    removed = std::move(entry->object);
    entry->object.reset();
    ++entry->reuse;
  }
  return true;
}

namespace {

// Stock objects live in the table too, so SelectObject can hand their handles back.
template <class T>
std::shared_ptr<T> RegisterStock(std::shared_ptr<T> object) {
  AddObject(object);
  return object;
}

}  // namespace

std::shared_ptr<PenObject> StockBlackPen() {
  static std::shared_ptr<PenObject> *pen = new std::shared_ptr<PenObject>(RegisterStock(std::make_shared<PenObject>()));
  return *pen;
}

std::shared_ptr<BrushObject> StockWhiteBrush() {
  static std::shared_ptr<BrushObject> *brush = new std::shared_ptr<BrushObject>([] {
    auto white = std::make_shared<BrushObject>();
    white->color = 0x00FFFFFF;
    return RegisterStock(white);
  }());
  return *brush;
}

std::shared_ptr<BitmapObject> StockBitmap() {
  static std::shared_ptr<BitmapObject> *bitmap = new std::shared_ptr<BitmapObject>([] {
    auto stock = std::make_shared<BitmapObject>();
    stock->storage.reset(new BYTE[4]{0, 0, 0, 0});
    stock->surface = Surface{1, 1, 4, stock->storage.get(), true};
    return RegisterStock(stock);
  }());
  return *bitmap;
}

bool IsStockObject(const GdiObject *object) {
  return object == StockBlackPen().get() || object == StockWhiteBrush().get() || object == StockBitmap().get();
}

}  // namespace platform::gdi

using namespace platform::gdi;

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  auto object = LookupObject(ho);
  if (!object) return FALSE;
  // Stock objects outlive every request to delete them; GDI answers TRUE and keeps them.
  if (IsStockObject(object.get())) return TRUE;
  // A context goes with DeleteDC, not DeleteObject.
  if (object->kind == ObjectKind::dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // An object selected into a context stays alive and the call fails, so the context never draws with
  // freed memory.
  if (!RemoveObject(ho, true)) return FALSE;
  return TRUE;
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
  auto object = LookupObject(h);
  if (!object) return 0;
  switch (object->kind) {
    case ObjectKind::dc: return static_cast<const DcObject &>(*object).isDisplay ? OBJ_DC : OBJ_MEMDC;
    case ObjectKind::bitmap: return OBJ_BITMAP;
    case ObjectKind::brush: return OBJ_BRUSH;
    case ObjectKind::pen: return OBJ_PEN;
    case ObjectKind::region: return OBJ_REGION;
  }
  return 0;
}

int WINAPI GetObjectW(HGDIOBJ h, int c, LPVOID pv) {
  auto object = LookupObject(h);
  if (!object) return 0;
  auto copyOut = [&](const auto &value) -> int {
    int size = static_cast<int>(sizeof(value));
    if (!pv) return size;
    if (c < size) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    std::memcpy(pv, &value, sizeof(value));
    return size;
  };
  switch (object->kind) {
    case ObjectKind::bitmap: {
      const auto &bitmap = static_cast<const BitmapObject &>(*object);
      // Device bitmaps report rows padded to 2 bytes, as GDI keeps them; DIB sections their real stride.
      LONG widthBytes = bitmap.isDibSection ? bitmap.surface.stride : (bitmap.surface.width * 3 + 1) & ~1;
      BITMAP info = {0, bitmap.surface.width, bitmap.surface.height, widthBytes, 1, 24,
                     bitmap.isDibSection ? bitmap.surface.bits : nullptr};
      return copyOut(info);
    }
    case ObjectKind::brush: {
      const auto &brush = static_cast<const BrushObject &>(*object);
      static constexpr UINT kStyles[] = {BS_SOLID, BS_HOLLOW, BS_HATCHED, BS_PATTERN};
      LOGBRUSH info = {kStyles[static_cast<int>(brush.brushKind)], brush.color,
                       static_cast<ULONG_PTR>(brush.brushKind == BrushKind::hatched ? brush.hatch : 0)};
      return copyOut(info);
    }
    case ObjectKind::pen: {
      const auto &pen = static_cast<const PenObject &>(*object);
      LOGPEN info = {pen.style, {pen.width, 0}, pen.color};
      return copyOut(info);
    }
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
  }
}
