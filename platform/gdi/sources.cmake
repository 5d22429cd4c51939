target_sources(platform PRIVATE
  gdi/bitmap.cpp
  gdi/brush.cpp
  gdi/dc.cpp
  gdi/dib.cpp
  gdi/fill.cpp
  gdi/line.cpp
  gdi/objects.cpp
  gdi/pen.cpp
  gdi/rop.cpp
  gdi/stretch.cpp
)
