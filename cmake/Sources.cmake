# Each subsystem folder contributes every .cpp it holds, so adding a class
# means adding its files, not editing the build.
function(vq_glob_sources out)
  set(files)
  foreach(dir IN LISTS ARGN)
    file(GLOB found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND files ${found})
  endforeach()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

function(vq_our_code target)
  target_compile_options(${target} PRIVATE ${VQ_WARNINGS})
endfunction()
