# DovaMon.dll, the print monitor. Its parts are gathered in a static library so that the tests can
# reach the internals (stream readers, display list, catalog) as well as the module's own entry points.
add_library(DovaMonCore STATIC
  entry/JobContext.cpp
  entry/MonitorState.cpp
  entry/WriteDispatch.cpp
  status/MessageCatalog.cpp
  stream/DisplayList.cpp
  stream/JobStream.cpp
  stream/Pipeline.cpp
)
target_include_directories(DovaMonCore PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(DovaMonCore PUBLIC platform)
orvella_warnings(DovaMonCore)

orvella_dll(DovaMon DovaMon
  entry/DllMain.cpp
  entry/PortFunctions.cpp
)
target_link_libraries(DovaMon PRIVATE DovaMonCore)

# The string table (and later the dialog templates) has one source, the resource script, for this
# build and for the Windows one.
orvella_resources(DovaMon res/DovaMon.rc)
