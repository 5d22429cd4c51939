target_sources(platform PRIVATE
  gdi/bitmap.cpp
  gdi/brush.cpp
  gdi/dc.cpp
  gdi/dib.cpp
  gdi/fill.cpp
  gdi/objects.cpp
  gdi/rop.cpp
  gdi/stretch.cpp
)
# Pens and lines live in their own files; the layer builds without them until they land.
foreach(file pen.cpp line.cpp)
  if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${file})
    target_sources(platform PRIVATE gdi/${file})
  endif()
endforeach()
