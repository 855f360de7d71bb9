# Fails on any #include in src/ or platform/ whose path climbs out of a folder ("../").
# A quoted include is looked up beside the including file first, so "../board/x.h" from
# src/engine would reach past the layers' include directories.
# Run as: cmake -DSOURCE_DIR=<repository> -P include_paths.cmake
set(found "")
foreach(folder src platform)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.hpp"
       "${SOURCE_DIR}/${folder}/*.c" "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.inc")
  foreach(file ${files})
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\./")
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${file}")
    foreach(line ${lines})
      string(APPEND found "\n  ${name}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "includes that climb out of their folder:${found}")
endif()
