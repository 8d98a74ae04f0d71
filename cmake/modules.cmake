# The modules of tsubo and the rules between them.
#
# Each module under src/ is one static library, tsubo_<name>, that lists its
# sources and the modules it depends on. A module's code sees its own headers
# and those of its dependencies only: the library's include folder is a view
# that holds links to exactly those source folders, so an include against
# the arrows ("archive/..." from src/lzh, "cli/..." from src/ops) does not
# compile. tsubo_check_layering proves that at configure time, and that no
# file outside src/platform includes an OS header.

# The warnings every target of the project is built with.
function(tsubo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wshadow)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GCC 12 reports false -Wrestrict overlaps inside std::string (bug 105329).
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

function(tsubo_module name)
  cmake_parse_arguments(MODULE "" "" "SOURCES;DEPENDS" ${ARGN})
  set(view ${CMAKE_BINARY_DIR}/module_views/${name})
  file(MAKE_DIRECTORY ${view})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${name} ${view}/${name} SYMBOLIC)
  add_library(tsubo_${name} STATIC ${MODULE_SOURCES})
  target_include_directories(tsubo_${name} PUBLIC ${view})
  foreach(dependency ${MODULE_DEPENDS})
    target_link_libraries(tsubo_${name} PUBLIC tsubo_${dependency})
  endforeach()
  tsubo_warnings(tsubo_${name})
endfunction()

function(tsubo_check_layering)
  # Through the codec module's view a codec header is found, and a header of
  # the container format above it is not.
  foreach(probe right wrong)
    try_compile(${probe}_compiles ${CMAKE_BINARY_DIR}/layering_check/${probe}
      SOURCES ${CMAKE_SOURCE_DIR}/cmake/${probe}_include.cpp
      CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${CMAKE_BINARY_DIR}/module_views/lzh"
      CXX_STANDARD 20)
  endforeach()
  if(NOT right_compiles OR wrong_compiles)
    message(FATAL_ERROR "the module views do not keep includes to the module arrows")
  endif()
  # The OS is the platform layer's alone.
  file(GLOB_RECURSE sources ${CMAKE_SOURCE_DIR}/src/*.cpp ${CMAKE_SOURCE_DIR}/src/*.h)
  foreach(source ${sources})
    if(source MATCHES "/src/platform/")
      continue()
    endif()
    file(STRINGS ${source} os_includes
      REGEX "#include <(unistd|fcntl|dirent|windows|iconv|langinfo|termios|signal|pthread|sys/[a-z_]+)\\.h>")
    if(os_includes)
      message(FATAL_ERROR "${source} includes an OS header (${os_includes}); only src/platform may")
    endif()
  endforeach()
endfunction()
