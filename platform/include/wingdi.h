// GDI: the raster layer. Memory device contexts drawing on 24-bit DIB sections, with the brushes, pens,
// regions, ternary raster operations, blits and lines the band renderer uses. Names, values and 32-bit
// layouts are Windows' own.
#pragma once

#include <windef.h>

#define WINGDIAPI EXTERN_C __attribute__((visibility("default")))

// ---- Structures ----

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD, *LPRGBQUAD;

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER, *PBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO, *PBITMAPINFO;

typedef struct tagBITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

typedef struct tagLOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
} LOGBRUSH, *PLOGBRUSH, *LPLOGBRUSH;

typedef struct tagLOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;
  COLORREF lopnColor;
} LOGPEN, *PLOGPEN, *LPLOGPEN;

// Only ever passed as NULL here: the display context has one mode.
typedef struct _devicemodeW DEVMODEW, *PDEVMODEW, *LPDEVMODEW;

static_assert(sizeof(RGBQUAD) == 4, "RGBQUAD layout");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER layout");
static_assert(sizeof(BITMAPINFO) == 44, "BITMAPINFO layout");
static_assert(sizeof(BITMAP) == 24, "BITMAP layout");
static_assert(sizeof(LOGBRUSH) == 12, "LOGBRUSH layout");
static_assert(sizeof(LOGPEN) == 16, "LOGPEN layout");

// ---- Constants ----

#define CLR_INVALID 0xFFFFFFFF
#define GDI_ERROR 0xFFFFFFFFL
#define HGDI_ERROR ((HANDLE)(LONG_PTR) - 1)

// GetObjectType
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_METADC 4
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_METAFILE 9
#define OBJ_MEMDC 10
#define OBJ_EXTPEN 11
#define OBJ_ENHMETADC 12
#define OBJ_ENHMETAFILE 13
#define OBJ_COLORSPACE 14

// Region complexity
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_ERROR ERROR

// Bitmap compression
#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L
#define BI_JPEG 4L
#define BI_PNG 5L

// DIB colour table usage
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

// Brush styles
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
#define BS_INDEXED 4
#define BS_DIBPATTERN 5
#define BS_DIBPATTERNPT 6
#define BS_PATTERN8X8 7
#define BS_DIBPATTERN8X8 8
#define BS_MONOPATTERN 9

// Hatch styles
#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5

// Pen styles
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
#define PS_USERSTYLE 7
#define PS_ALTERNATE 8
#define PS_STYLE_MASK 0x0000000F
#define PS_ENDCAP_ROUND 0x00000000
#define PS_ENDCAP_SQUARE 0x00000100
#define PS_ENDCAP_FLAT 0x00000200
#define PS_ENDCAP_MASK 0x00000F00
#define PS_JOIN_ROUND 0x00000000
#define PS_JOIN_BEVEL 0x00001000
#define PS_JOIN_MITER 0x00002000
#define PS_JOIN_MASK 0x0000F000
#define PS_COSMETIC 0x00000000
#define PS_GEOMETRIC 0x00010000
#define PS_TYPE_MASK 0x000F0000

// Background modes
#define TRANSPARENT 1
#define OPAQUE 2

// ExtTextOut options
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
#define ETO_GLYPH_INDEX 0x0010
#define ETO_RTLREADING 0x0080
#define ETO_IGNORELANGUAGE 0x1000
#define ETO_PDY 0x2000

// Stretch modes
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define STRETCH_ANDSCANS BLACKONWHITE
#define STRETCH_ORSCANS WHITEONBLACK
#define STRETCH_DELETESCANS COLORONCOLOR
#define STRETCH_HALFTONE HALFTONE

// Ternary raster operations: bits 16..23 hold the result for pattern P, source S and destination D at
// bit 16 + 4P + 2S + D; the low word is the operation's code for the original drivers.
#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGECOPY 0x00C000CA
#define MERGEPAINT 0x00BB0226
#define PATCOPY 0x00F00021
#define PATPAINT 0x00FB0A09
#define PATINVERT 0x005A0049
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062
#define NOMIRRORBITMAP 0x80000000
#define CAPTUREBLT 0x40000000

// ---- Device contexts ----

WINGDIAPI HDC WINAPI CreateDCW(LPCWSTR pwszDriver, LPCWSTR pwszDevice, LPCWSTR pszPort, const DEVMODEW *pdm);
WINGDIAPI HDC WINAPI CreateCompatibleDC(HDC hdc);
WINGDIAPI BOOL WINAPI DeleteDC(HDC hdc);
WINGDIAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
WINGDIAPI HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type);
WINGDIAPI BOOL WINAPI GdiFlush(void);

WINGDIAPI COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
WINGDIAPI COLORREF WINAPI GetBkColor(HDC hdc);
WINGDIAPI int WINAPI SetBkMode(HDC hdc, int mode);
WINGDIAPI int WINAPI GetBkMode(HDC hdc);
WINGDIAPI int WINAPI SetStretchBltMode(HDC hdc, int mode);
WINGDIAPI int WINAPI GetStretchBltMode(HDC hdc);

// ---- Objects ----

WINGDIAPI BOOL WINAPI DeleteObject(HGDIOBJ ho);
WINGDIAPI DWORD WINAPI GetObjectType(HGDIOBJ h);
WINGDIAPI int WINAPI GetObjectW(HGDIOBJ h, int c, LPVOID pv);

// ---- Bitmaps ----

WINGDIAPI HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO *pbmi, UINT usage, VOID **ppvBits,
                                          HANDLE hSection, DWORD offset);
WINGDIAPI HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                                      const VOID *lpBits);

// ---- Brushes ----

WINGDIAPI HBRUSH WINAPI CreateSolidBrush(COLORREF color);
WINGDIAPI HBRUSH WINAPI CreateHatchBrush(int iHatch, COLORREF color);
WINGDIAPI HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH *plbrush);
WINGDIAPI HBRUSH WINAPI CreatePatternBrush(HBITMAP hbm);
WINGDIAPI HBRUSH WINAPI CreateDIBPatternBrushPt(const VOID *lpPackedDIB, UINT iUsage);

// ---- Pens and lines ----

WINGDIAPI HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color);
WINGDIAPI HPEN WINAPI CreatePenIndirect(const LOGPEN *plpen);
WINGDIAPI BOOL WINAPI Polyline(HDC hdc, const POINT *apt, int cpt);

// ---- Regions and fills ----

WINGDIAPI HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2);
WINGDIAPI BOOL WINAPI FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr);
// user32's on Windows; the stand-in keeps every drawing call in one place.
WINGDIAPI int WINAPI FillRect(HDC hDC, const RECT *lprc, HBRUSH hbr);
WINGDIAPI BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT *lprect, LPCWSTR lpString,
                                  UINT c, const INT *lpDx);

// ---- Raster operations ----

WINGDIAPI BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
WINGDIAPI int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                                   int ySrc, int SrcWidth, int SrcHeight, const VOID *lpBits,
                                   const BITMAPINFO *lpbmi, UINT iUsage, DWORD rop);
