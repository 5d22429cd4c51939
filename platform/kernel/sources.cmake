target_sources(platform PRIVATE
  kernel/error.cpp
  kernel/handles.cpp
  kernel/scheduler.cpp
  kernel/sync.cpp
  kernel/thread.cpp
  kernel/clock.cpp
  kernel/module.cpp
  kernel/text.cpp
  kernel/file.cpp
  kernel/nls.cpp
  kernel/sysinfo.cpp
  kernel/profile.cpp
)
