# tv_layer(NAME DIR DEPS...): a static library from every .cpp directly in DIR.
# An empty folder still gives a (header-only) interface target so that the
# layers above can link it while it is being filled.
function(tv_layer name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_SOURCE_DIR}/${dir}/*.c)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# tv_test(NAME DIR LIBS...): one GoogleTest executable from every .cpp in DIR.
function(tv_test name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT _srcs)
    return()
  endif()
  add_executable(${name} ${_srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    TV_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TV_BINARY_DIR="${CMAKE_BINARY_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "TV_SOURCE_DIR=${CMAKE_SOURCE_DIR};TV_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()

# tv_grammar(TARGET KIND [DIR dir]): one section grammar into TARGET. The
# folder DIR (relative to the source root; default the current source folder)
# holds the pair Md<KIND>BisonParser.ypp (bison) and Md<KIND>Scanner.lpp
# (flex). Both are generated into the build folder, never into the source
# tree - generated/<DIR>/Md<KIND>BisonParser.tab.cpp/.tab.hpp and
# Md<KIND>Scanner.yy.cpp - and compiled into TARGET, which gets that folder
# on its include path so the scanner can include the parser's token header.
function(tv_grammar target kind)
  cmake_parse_arguments(_g "" "DIR" "" ${ARGN})
  if(_g_DIR)
    set(_src ${CMAKE_SOURCE_DIR}/${_g_DIR})
  else()
    set(_src ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR} ${_src})
  set(_gen ${CMAKE_BINARY_DIR}/generated/${_rel})
  file(MAKE_DIRECTORY ${_gen})
  set(_p Md${kind}BisonParser)
  set(_s Md${kind}Scanner)
  bison_target(${target}_${_p} ${_src}/${_p}.ypp ${_gen}/${_p}.tab.cpp
    DEFINES_FILE ${_gen}/${_p}.tab.hpp COMPILE_FLAGS "-Wno-other")
  target_sources(${target} PRIVATE ${BISON_${target}_${_p}_OUTPUTS})
  _tv_flex_step(${target} ${_src}/${_s}.lpp ${_gen} PARSER ${target}_${_p})
  target_include_directories(${target} PRIVATE ${_gen})
endfunction()

# tv_flex(TARGET FILE.lpp): generates a flex scanner into the build folder
# (generated/TARGET/NAME.yy.cpp) and compiles it into TARGET.
function(tv_flex target lpp)
  _tv_flex_step(${target} ${CMAKE_SOURCE_DIR}/${lpp} ${CMAKE_BINARY_DIR}/generated/${target})
endfunction()

# The step both share: the scanner LPP (a full path) generated as
# GEN/<name>.yy.cpp under the flex target TARGET_<name> and compiled into
# TARGET; with PARSER, the scanner is compiled after that bison target's
# token header.
function(_tv_flex_step target lpp gen)
  cmake_parse_arguments(_f "" "PARSER" "" ${ARGN})
  get_filename_component(_n ${lpp} NAME_WE)
  file(MAKE_DIRECTORY ${gen})
  flex_target(${target}_${_n} ${lpp} ${gen}/${_n}.yy.cpp)
  if(_f_PARSER)
    add_flex_bison_dependency(${target}_${_n} ${_f_PARSER})
  endif()
  target_sources(${target} PRIVATE ${FLEX_${target}_${_n}_OUTPUTS})
endfunction()
