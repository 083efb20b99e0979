# Targets are made from the sources found in their folder, so adding a unit
# means adding its .h/.cpp pair and nothing else.
#
# kv_add_library(<name> DIR <folder> [QT] [DEPS <targets...>])
#   Sources: <folder>/*.cpp (or <folder>/qt/*.cpp with QT). A folder with no
#   sources yet gives an INTERFACE library, so dependants link unchanged.
function(kv_add_library name)
  cmake_parse_arguments(A "QT" "DIR" "DEPS" ${ARGN})
  if(A_QT)
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${A_DIR}/qt/*.cpp)
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${A_DIR}/*.cpp)
  endif()
  # A program's main() lives in main.cpp beside its library and is not part of it.
  list(FILTER srcs EXCLUDE REGEX "/main\\.cpp$")
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${A_DEPS})
    if(A_QT)
      set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${A_DEPS})
  endif()
endfunction()

# kv_add_tests(<name> DIR <tests subfolder> [QT] DEPS <targets...>)
#   One GoogleTest program per target from tests/<dir>/*.cpp.
function(kv_add_tests name)
  cmake_parse_arguments(A "QT" "DIR" "DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${A_DIR}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE KV_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
  if(A_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  else()
    set_property(GLOBAL APPEND PROPERTY KV_QT_FREE_TESTS ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
