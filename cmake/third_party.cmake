# The header-only libraries of the adjustment report, from Debian:
# libeigen3-dev, libcli11-dev and nlohmann-json3-dev. The folders are named
# one by one, never all of /usr/include: a cross build must not see the host's
# C library headers. CLI11 and nlohmann sit directly in /usr/include, so a
# folder of links in the build tree stands in for it.
set(traverse_header_root /usr/include CACHE PATH "Where the Debian header-only libraries live")
set(traverse_link_folder ${CMAKE_BINARY_DIR}/third_party_include)
file(MAKE_DIRECTORY ${traverse_link_folder})
foreach(library CLI nlohmann)
  if(NOT EXISTS ${traverse_header_root}/${library})
    message(FATAL_ERROR "${traverse_header_root}/${library} is missing: "
                        "apt-get install libcli11-dev nlohmann-json3-dev")
  endif()
  file(CREATE_LINK ${traverse_header_root}/${library} ${traverse_link_folder}/${library} SYMBOLIC)
endforeach()
if(NOT EXISTS ${traverse_header_root}/eigen3/Eigen/Core)
  message(FATAL_ERROR "${traverse_header_root}/eigen3 is missing: apt-get install libeigen3-dev")
endif()

add_library(third_party_headers INTERFACE)
target_include_directories(third_party_headers SYSTEM INTERFACE
  ${traverse_link_folder} ${traverse_header_root}/eigen3)
# Eigen: plain C++ with no alignment games (the x87 build takes no vectorised
# paths anyway), and no run-time assertion cost in a release program.
target_compile_definitions(third_party_headers INTERFACE EIGEN_MPL2_ONLY)

# pugixml, for the XML the program reads (instrument job files, LandXML),
# linked from its static library: Debian's libpugixml-dev, or for the Windows
# program the one tools/setup-windows-build builds into the toolchain's prefix.
find_path(TRAVERSE_PUGIXML_INCLUDE pugixml.hpp)
find_library(TRAVERSE_PUGIXML_LIBRARY NAMES libpugixml.a pugixml)
if(NOT TRAVERSE_PUGIXML_INCLUDE OR NOT TRAVERSE_PUGIXML_LIBRARY)
  message(FATAL_ERROR "pugixml is missing: apt-get install libpugixml-dev "
                      "(for the Windows program: tools/setup-windows-build)")
endif()
add_library(pugixml STATIC IMPORTED)
set_target_properties(pugixml PROPERTIES IMPORTED_LOCATION ${TRAVERSE_PUGIXML_LIBRARY})
target_include_directories(pugixml SYSTEM INTERFACE ${TRAVERSE_PUGIXML_INCLUDE})
