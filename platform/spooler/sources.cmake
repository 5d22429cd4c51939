target_sources(platform PRIVATE
  spooler/handles.cpp
  spooler/install.cpp
  spooler/printers.cpp
  spooler/state.cpp
)
