target_sources(platform PRIVATE
  user/dialog_template.cpp
  user/messagebox.cpp
  user/resources.cpp
  user/ui_log.cpp
  user/windows.cpp
  user/wsprintf.cpp
)
