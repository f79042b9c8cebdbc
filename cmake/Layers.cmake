# The source folders are layers, from the bottom up; each folder uses only
# the folders before it (scripts/check-includes.sh holds the same list for
# the includes). Every folder is a library of its own, vq_<folder>, linking
# only the libraries of the folders below it that it uses.
set(VQ_LAYERS platform log sdk params features camera bus ui driver)

# A static library never fails on an undefined symbol, so an archive alone
# would let a folder call up into a folder above it: the executables that
# link everything resolve the call. The linker guards the layering instead:
# each layer's archive is linked whole (every object, used or not) into a
# shared object of its own, on a link line that holds only the libraries the
# layer links (and, through them, the layers below) and system or
# third-party libraries, with --no-undefined. A call from camera/ into bus/
# is then an undefined reference, and the default build fails. The shared
# objects (layer-check/libvq_<folder>_layer_check.so) are neither installed
# nor loaded. vq_check_layer_links, at the end of the configuration, refuses
# a layer that declares a link to its own or a higher layer's library, the
# one edit that would let such a call through.
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/layer-check/LayerCheck.cpp
  CONTENT "// The whole archive of one layer is the content of this shared object.\n")

# vq_add_layer(<folder> <sources>...): the library of one layer folder. A
# folder without sources of its own (driver/ apart from its entry points) is
# an interface library that only passes its links on.
function(vq_add_layer layer)
  set(target vq_${layer})
  if(NOT ARGN)
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    return()
  endif()
  add_library(${target} STATIC ${ARGN})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  vq_our_code(${target})

  set(check vq_${layer}_layer_check)
  add_library(${check} SHARED ${PROJECT_BINARY_DIR}/layer-check/LayerCheck.cpp)
  target_link_libraries(${check} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${target}>")
  # Without debug information: the check needs the symbols, not a debugger.
  target_link_options(${check} PRIVATE -Wl,--no-undefined -Wl,--strip-debug)
  set_target_properties(${check} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/layer-check)
endfunction()

# Fails the configuration when a layer's library links the library of its
# own layer or of one above it, directly or through $<LINK_ONLY:...>.
function(vq_check_layer_links)
  list(LENGTH VQ_LAYERS count)
  math(EXPR last "${count} - 1")
  foreach(rank RANGE ${last})
    list(GET VQ_LAYERS ${rank} layer)
    set(links)
    get_target_property(type vq_${layer} TYPE)
    if(NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(links vq_${layer} LINK_LIBRARIES)
    endif()
    get_target_property(interface_links vq_${layer} INTERFACE_LINK_LIBRARIES)
    foreach(link IN LISTS links interface_links)
      if(link MATCHES "^(\\$<LINK_ONLY:)?vq_([a-z]+)>?$")
        list(FIND VQ_LAYERS ${CMAKE_MATCH_2} used)
        if(used GREATER_EQUAL rank)
          list(JOIN VQ_LAYERS " -> " order)
          message(FATAL_ERROR "vq_${layer} links vq_${CMAKE_MATCH_2}: ${layer}/ may use only the folders below it "
                              "(${order})")
        endif()
      endif()
    endforeach()
  endforeach()
endfunction()
