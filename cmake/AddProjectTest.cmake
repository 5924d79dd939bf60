# add_project_test(<name> SOURCES <files...> LIBS <targets...>)
# Builds one GoogleTest executable, links the shared test support, and registers every
# test with CTest under the environment that all tests run in: offscreen widgets, the
# transport's loopback-only switch, and registry hives in a temporary folder. Each test is
# labelled with its executable's name, so that one executable's tests can be run alone.
function(add_project_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE project_options testsupport ${ARG_LIBS}
                        GTest::gtest GTest::gmock)
  set(hive_root "${CMAKE_BINARY_DIR}/test-hives/${name}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      LABELS ${name}
      TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;RIVIVOZUZUVOD_LOOPBACK_ONLY=1;RIVIVOZUZUVOD_HKCU_DIR=${hive_root}/hkcu;RIVIVOZUZUVOD_HKLM_DIR=${hive_root}/hklm")
endfunction()
