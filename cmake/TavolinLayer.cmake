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

# tv_flex(TARGET FILE.lpp): generates a flex scanner into the build folder
# (generated/TARGET/NAME.yy.cpp) and compiles it into TARGET.
function(tv_flex target lpp)
  get_filename_component(_n ${lpp} NAME_WE)
  set(_dir ${CMAKE_BINARY_DIR}/generated/${target})
  file(MAKE_DIRECTORY ${_dir})
  flex_target(${target}_${_n} ${CMAKE_SOURCE_DIR}/${lpp} ${_dir}/${_n}.yy.cpp)
  target_sources(${target} PRIVATE ${FLEX_${target}_${_n}_OUTPUTS})
endfunction()
