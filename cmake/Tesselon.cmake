# Shared helpers for the sub-projects.

# tesselon_add_test(<name> [LABEL unit|integration|gui [tsan]] [TIMEOUT s] [PREFIX p] SOURCES ... LIBS ...)
# Tests link the project's own gtest main (testsupport/TestMain.cpp) and run
# under testsupport/run-test.sh, which gives every test process a private
# HOME, XDG folders and TMPDIR.
function(tesselon_add_test name)
  if(NOT TESSELON_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT;PREFIX" "LABEL;SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE TesselonTestMain GTest::gtest GTest::gmock Threads::Threads ${T_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  # CTest starts every test through the scratch-HOME launcher.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/testsupport/run-test.sh)
  if("tsan" IN_LIST T_LABEL)
    if(NOT TARGET tsan_tests)
      add_custom_target(tsan_tests)
    endif()
    add_dependencies(tsan_tests ${name})
  endif()
  # gtest_discover_tests cannot pass a list as one property value, so several
  # labels travel as one ("integration-tsan"); ctest -L takes a regular
  # expression, so -L integration and -L tsan both select it.
  list(JOIN T_LABEL "-" label)
  gtest_discover_tests(${name}
    TEST_PREFIX "${T_PREFIX}"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES LABELS ${label} TIMEOUT ${T_TIMEOUT})
endfunction()

# tesselon_add_libusb_test(<name> [LABEL ...] [TIMEOUT s] SOURCES ... LIBS ... [DEPENDS targets...])
# A test of the libusb backend over the usbdevfs bridge (testsupport/): its
# ctest names start with "Libusb.". The program restarts itself with umockdev's
# preload library (sanitizer runtime first). Without umockdev one stand-in test
# is registered instead and reported as skipped, saying why: never a silent pass.
function(tesselon_add_libusb_test name)
  if(NOT TESSELON_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(U "" "TIMEOUT" "LABEL;SOURCES;LIBS;DEPENDS" ${ARGN})
  if(NOT U_TIMEOUT)
    set(U_TIMEOUT 300)
  endif()
  if(TARGET TesselonUsbdevfsBridge)
    tesselon_add_test(${name} LABEL ${U_LABEL} TIMEOUT ${U_TIMEOUT} PREFIX "Libusb."
      SOURCES ${U_SOURCES} LIBS ${U_LIBS} TesselonUsbdevfsBridge TesselonUmockdevPreload)
    if(U_DEPENDS)
      add_dependencies(${name} ${U_DEPENDS})
    endif()
  else()
    list(JOIN U_LABEL "-" label)
    add_test(NAME Libusb.${name}.UmockdevMissing
      COMMAND sh -c "echo 'SKIPPED: ${name} needs umockdev (Debian packages umockdev and libumockdev-dev); reconfigure after installing them'; exit 77")
    set_tests_properties(Libusb.${name}.UmockdevMissing PROPERTIES SKIP_RETURN_CODE 77 LABELS "${label}")
  endif()
endfunction()

# Public include root: headers are included as "common/Logger.h",
# "usb/UsbBus.h", "driver/Torvane.h" and so on.
function(tesselon_include_root target)
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/generated>)
endfunction()

# Label "tsan" marks the tests that ./build.sh tsan runs (threaded libraries);
# the target tsan_tests builds just those.
