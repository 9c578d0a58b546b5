# The one way around the layers' include folders: a quoted include that
# climbs out of the including file's folder ("../show/ShowCycle.h"). Run as
# a test of the native suite:
#   cmake -DROOT=<tree> -P cmake/CheckIncludes.cmake
# Every folder of the tree but the build folders and hidden ones.
file(GLOB folders LIST_DIRECTORIES true RELATIVE ${ROOT} ${ROOT}/*)
set(sources "")
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY ${ROOT}/${folder} AND NOT folder MATCHES "^(build|\\.)")
    file(GLOB_RECURSE found RELATIVE ${ROOT}
      ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.hpp ${ROOT}/${folder}/*.c ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.rc)
    list(APPEND sources ${found})
  endif()
endforeach()
set(found "")
foreach(source IN LISTS sources)
  file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\\.\\./")
  foreach(line IN LISTS lines)
    string(APPEND found "  ${source}: ${line}\n")
  endforeach()
endforeach()
list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "no sources found under ${ROOT}")
endif()
if(found)
  message(FATAL_ERROR "includes that climb out of their folder, past the layers:\n${found}")
endif()
message(STATUS "${count} sources, no include climbs out of its folder")
