# Helpers shared by every folder's CMakeLists.txt.

# Gives `target` an include directory of its own that holds only the headers
# of `folder` (a path relative to the source root), reachable as
# "folder/name.h". A target sees the headers of what it links and nothing
# else, so code that reaches into a layer above it does not build.
function(orvana_expose_headers target folder)
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${folder})
  foreach(h ${headers})
    get_filename_component(name ${h} NAME)
    file(CREATE_LINK ${h} ${root}/${folder}/${name} SYMBOLIC COPY_ON_ERROR)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# orvana_library(<name> <folder> [sources...]): a static library made of the
# .cpp files of `folder` (or the sources given), exposing that folder's
# headers.
function(orvana_library name folder)
  set(sources ${ARGN})
  if(NOT sources)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp
         ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  endif()
  add_library(${name} STATIC ${sources})
  orvana_expose_headers(${name} ${folder})
endfunction()

# Tests see the whole tests/ tree ("tests/support/...") and, for the code
# under test, only the targets they link.
function(orvana_test_includes target)
  set(scope PRIVATE)
  if(ARGN)
    set(scope ${ARGN})
  endif()
  set(root ${CMAKE_BINARY_DIR}/include/orvana_tests)
  if(NOT EXISTS ${root}/tests)
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/tests ${root}/tests SYMBOLIC COPY_ON_ERROR)
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# A monitor kind joins the program: `header` declares `function`, which
# adds the kind to a MonitorRegistry (see docs/ARCHITECTURE.md, "Adding a
# monitor"). `target` is the library that defines it; the program links it.
# Kinds are listed in the order they are registered; the registry orders
# them by their own start order.
function(orvana_register_monitor target header function)
  set_property(GLOBAL APPEND PROPERTY ORVANA_MONITOR_TARGETS ${target})
  set_property(GLOBAL APPEND PROPERTY ORVANA_MONITOR_HEADERS ${header})
  set_property(GLOBAL APPEND PROPERTY ORVANA_MONITOR_FUNCTIONS ${function})
endfunction()
