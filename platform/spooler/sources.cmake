target_sources(platform PRIVATE
  spooler/printers.cpp
  spooler/state.cpp
)
