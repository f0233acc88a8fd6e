# Takes the project in as a sub-project of another one (add_subdirectory),
# configures it and builds a library and the program folder there: every
# include folder and resource must be found from the project's own folders.
#   -DSOURCE=<this project>  -DWORK=<scratch folder>  [-DLAUNCHER=<compiler launcher>]
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/outer")
file(WRITE "${WORK}/outer/CMakeLists.txt"
  "cmake_minimum_required(VERSION 3.25)\n"
  "project(Outer LANGUAGES CXX)\n"
  "add_subdirectory(\"${SOURCE}\" talvora)\n")
set(launcher "")
if(LAUNCHER)
  set(launcher "-DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}")
endif()
execute_process(
  COMMAND "${CMAKE_COMMAND}" -S "${WORK}/outer" -B "${WORK}/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${launcher}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the outer project failed:\n${out}")
endif()
execute_process(
  COMMAND "${CMAKE_COMMAND}" --build "${WORK}/build" --target platform program_folder_data -j 2
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building inside the outer project failed:\n${out}")
endif()
if(NOT EXISTS "${WORK}/build/talvora/bin/template")
  message(FATAL_ERROR "the program folder has no template folder")
endif()
file(REMOVE_RECURSE "${WORK}")
