# The Windows programs' own tests, run under Wine (scripts/wine-suite.sh).

# TAV.exe as Windows starts it, and on the files the Linux build made;
# TAV's unit suites too, built for Windows.
add_executable(tav_windows_tests win32/tav_windows_test.cpp tav/vectors_test.cpp tav/os/arguments_test.cpp
               tav/format/format_test.cpp tav/engine/engine_test.cpp)
target_link_libraries(tav_windows_tests PRIVATE tav_engine druvel_test_support GTest::gtest_main)
target_compile_definitions(tav_windows_tests PRIVATE
  TAV_PATH="$<TARGET_FILE:TAV>"
  PROJECT_VERSION="${PROJECT_VERSION}"
  TAV_FAST_KDF_PATH="$<TARGET_FILE:tav_fast_kdf>"
  TAV_VECTORS="${CMAKE_CURRENT_SOURCE_DIR}/tav/vectors")
add_dependencies(tav_windows_tests TAV tav_fast_kdf)
gtest_discover_tests(tav_windows_tests PROPERTIES TIMEOUT 120 ${DRUVEL_DISCOVERY})

# The UI's behaviour cases on the real Win32 windows, driven with the
# system's own input.
add_executable(ui_win32_tests ui/main_dialog_test.cpp ui/settings_dialog_test.cpp ui/script.cpp ui/real_driver.cpp
               win32/win32_input.cpp ${DRUVEL_RC})
add_dependencies(ui_win32_tests druvel_rc)
target_link_libraries(ui_win32_tests PRIVATE druvel_ui druvel_test_support GTest::gtest_main)
target_compile_definitions(ui_win32_tests PRIVATE FAKE_TAV_PATH="$<TARGET_FILE:fake_tav>"
                           TAV_PATH="$<TARGET_FILE:tav_fast_kdf>")
add_dependencies(ui_win32_tests tav_fast_kdf)
# The display's keyboard focus is one for all its windows: one test at a time.
gtest_discover_tests(ui_win32_tests PROPERTIES TIMEOUT 60 RESOURCE_LOCK display ${DRUVEL_DISCOVERY})

# The notice window of failing TAV runs, and who has the keyboard.
add_executable(notice_tests win32/notice_test.cpp)
target_link_libraries(notice_tests PRIVATE druvel_system druvel_test_support GTest::gtest_main)
target_compile_definitions(notice_tests PRIVATE TAV_PATH="$<TARGET_FILE:TAV>")
add_dependencies(notice_tests TAV)
gtest_discover_tests(notice_tests PROPERTIES TIMEOUT 60 RESOURCE_LOCK display ${DRUVEL_DISCOVERY})

add_executable(tool_run_tests win32/tool_run_test.cpp)
target_link_libraries(tool_run_tests PRIVATE druvel_core druvel_test_support GTest::gtest_main)
gtest_discover_tests(tool_run_tests PROPERTIES TIMEOUT 60 ${DRUVEL_DISCOVERY})

# Both ways between the systems: encrypted by the Linux build, decrypted by
# TAV.exe, and back; both with the cheapest key derivation, which the files
# carry. Skipped when the Linux build is not there.
set(DRUVEL_LINUX_TEST_TAV "${PROJECT_SOURCE_DIR}/build/default/tav/tav_fast_kdf" CACHE FILEPATH
    "The Linux build's TAV with the cheapest key derivation")
add_test(NAME CrossSystem.FilesTravelBetweenLinuxAndWindows
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/cross_system_test.sh ${DRUVEL_LINUX_TEST_TAV} $<TARGET_FILE:tav_fast_kdf>)
set_tests_properties(CrossSystem.FilesTravelBetweenLinuxAndWindows PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)

add_test(NAME WindowsPackages.ZipAndInstallerInstallAndUninstall
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/packages_test.sh ${PROJECT_BINARY_DIR} ${PROJECT_VERSION}
                 ${DRUVEL_WINDOWS_ARCH} ${PROJECT_BINARY_DIR}/../win64/Druvel-${PROJECT_VERSION}-setup.exe)
set_tests_properties(WindowsPackages.ZipAndInstallerInstallAndUninstall PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)

# What the shipped programs need.
find_program(DRUVEL_OBJDUMP ${DRUVEL_MINGW_HOST}-objdump REQUIRED)
add_test(NAME WindowsPrograms.ImportOnlySystemLibraries
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/imports_test.sh ${DRUVEL_OBJDUMP} $<TARGET_FILE:Druvel> $<TARGET_FILE:TAV>)
