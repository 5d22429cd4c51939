# Project-wide helpers: warnings for our own code, and libraries built under their Windows file names.

function(orvella_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-attributes)
endfunction()

# A Windows DLL of the product: a shared object named like the DLL ("DovaMon.dll"), exporting only
# what the module exports on Windows.
function(orvella_dll target file_name)
  add_library(${target} SHARED ${ARGN})
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME ${file_name} SUFFIX ".dll")
  target_link_libraries(${target} PRIVATE platform)
  orvella_warnings(${target})
endfunction()

# A test program: GoogleTest, run by ctest from the folder of the deliverables.
function(orvella_test target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE platform GTest::gtest GTest::gtest_main)
  orvella_warnings(${target})
  gtest_discover_tests(${target} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "ORVELLA_CLOCK=virtual")
endfunction()
