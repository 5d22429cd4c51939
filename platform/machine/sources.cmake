target_sources(platform PRIVATE
  machine/machine.cpp
)
