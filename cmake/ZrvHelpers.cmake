# Build helpers shared by every folder.

set(ZRV_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})

# GoogleTest from the distribution's source package, built for the target.
function(zrv_setup_googletest)
  set(gtest_src /usr/src/googletest)
  if(NOT EXISTS ${gtest_src}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${gtest_src} (package googletest)")
  endif()
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${gtest_src} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endfunction()

# nlohmann-json is header-only; expose only its folder, never the host's /usr/include.
function(zrv_setup_json)
  set(host_dir /usr/include/nlohmann)
  if(NOT EXISTS ${host_dir}/json.hpp)
    message(FATAL_ERROR "nlohmann/json.hpp not found (package nlohmann-json3-dev)")
  endif()
  set(inc ${CMAKE_BINARY_DIR}/third_party/include)
  file(MAKE_DIRECTORY ${inc})
  if(NOT EXISTS ${inc}/nlohmann)
    file(CREATE_LINK ${host_dir} ${inc}/nlohmann SYMBOLIC)
  endif()
  add_library(zrv_json INTERFACE)
  target_include_directories(zrv_json SYSTEM INTERFACE ${inc})
endfunction()

# zrv_add_test(name SOURCES ... [LIBS ...] [WORKDIR dir])
# One test program, run under Wine through ctest. It passes only with exit
# code 0 and its "[  PASSED  ]" summary (RunGoogleTest.cmake).
function(zrv_add_test name)
  cmake_parse_arguments(T "" "WORKDIR" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
  # gtest_main provides main(); tests are console programs without -municode.
  set_target_properties(${name} PROPERTIES LINK_FLAGS "-mconsole")
  target_link_options(${name} PRIVATE -mconsole)
  if(NOT T_WORKDIR)
    set(T_WORKDIR ${CMAKE_BINARY_DIR}/testrun/${name})
  endif()
  file(MAKE_DIRECTORY ${T_WORKDIR})
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${name}>
      "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" -DARCH=${CMAKE_SYSTEM_PROCESSOR}
      -P ${ZRV_CMAKE_DIR}/RunGoogleTest.cmake
    WORKING_DIRECTORY ${T_WORKDIR})
endfunction()

# zrv_version_resource(target "file description")
# Gives a shipped module the product's version resource (version from project()).
function(zrv_version_resource target description)
  set(ZRV_VERSION ${PROJECT_VERSION})
  string(REPLACE "." "," ZRV_VERSION_COMMAS ${PROJECT_VERSION})
  set(ZRV_COMPANY "VARN")
  set(ZRV_PRODUCT "Quorvel ZRV Hub Tool")
  set(ZRV_FILE_DESCRIPTION "${description}")
  set(ZRV_TARGET_NAME ${target})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(ZRV_FILE_TYPE VFT_DLL)
    set(ZRV_FILE_NAME ${target}.dll)
  else()
    set(ZRV_FILE_TYPE VFT_APP)
    set(ZRV_FILE_NAME ${target}.exe)
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${ZRV_CMAKE_DIR}/VersionResource.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
