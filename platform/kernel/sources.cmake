target_sources(platform PRIVATE
  kernel/error.cpp
  kernel/handles.cpp
  kernel/text.cpp
  kernel/file.cpp
)
