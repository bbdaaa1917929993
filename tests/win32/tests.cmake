# The Windows programs' own tests, run under Wine (scripts/wine-suite.sh).

# TAV.exe as Windows starts it, on files the Linux build made.
add_executable(tav_windows_tests win32/tav_windows_test.cpp tav/arguments_test.cpp)
target_link_libraries(tav_windows_tests PRIVATE tav_arguments druvel_test_support GTest::gtest_main)
target_compile_definitions(tav_windows_tests PRIVATE
  TAV_PATH="$<TARGET_FILE:TAV>"
  TAV_FAST_KDF_PATH="$<TARGET_FILE:tav_fast_kdf>"
  TAV_VECTORS="${CMAKE_CURRENT_SOURCE_DIR}/tav/vectors")
add_dependencies(tav_windows_tests TAV tav_fast_kdf)
gtest_discover_tests(tav_windows_tests PROPERTIES TIMEOUT 120 ${DRUVEL_DISCOVERY})
