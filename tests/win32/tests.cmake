# The Windows programs' own tests, run under Wine (scripts/wine-suite.sh).

# TAV.exe as Windows starts it, and on the files the Linux build made;
# TAV's unit suites too, built for Windows.
druvel_test(tav_windows_tests win32/tav_windows_test.cpp tav/vectors_test.cpp tav/os/arguments_test.cpp
  tav/format/format_test.cpp tav/engine/engine_test.cpp LIBRARIES tav_engine PROPERTIES TIMEOUT 120)

# The UI's behaviour cases on the real Win32 windows, driven with the
# system's own input; the display's keyboard focus is one for all its
# windows: one test at a time.
druvel_test(ui_win32_tests ui/main_dialog_test.cpp ui/settings_dialog_test.cpp ui/script.cpp ui/real_driver.cpp
  win32/win32_input.cpp ${DRUVEL_RC} LIBRARIES druvel_ui PROPERTIES RESOURCE_LOCK display)
add_dependencies(ui_win32_tests druvel_rc)

# The notice window of failing TAV runs, and who has the keyboard.
druvel_test(notice_tests win32/notice_test.cpp PROPERTIES RESOURCE_LOCK display)
druvel_test(tool_run_tests win32/tool_run_test.cpp)

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
set_tests_properties(WindowsPackages.ZipAndInstallerInstallAndUninstall PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77
                     ENVIRONMENT SOURCE_DATE_EPOCH=${DRUVEL_SOURCE_DATE_EPOCH})

# What the shipped programs need.
find_program(DRUVEL_OBJDUMP ${DRUVEL_MINGW_HOST}-objdump REQUIRED)
add_test(NAME WindowsPrograms.ImportOnlySystemLibraries
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/imports_test.sh ${DRUVEL_OBJDUMP} $<TARGET_FILE:Druvel> $<TARGET_FILE:TAV>)
