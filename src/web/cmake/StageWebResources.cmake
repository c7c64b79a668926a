# Gathers the browser application into one folder (cmake -P script): the pages under PAGES_DIR and the library
# files of WebLibraries.cmake from NODE_MODULES, each under its request path. The folder is emptied first, so
# it holds exactly what the program embeds.
#   PAGES_DIR     src/web/resources/web
#   NODE_MODULES  the node_modules folder filled by npm ci
#   STAGE_DIR     the folder to fill

cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/WebLibraries.cmake)

file(REMOVE_RECURSE ${STAGE_DIR})
file(COPY ${PAGES_DIR}/ DESTINATION ${STAGE_DIR})
foreach(entry IN LISTS TAPEVAULT_WEB_LIBRARIES)
  string(FIND "${entry}" "=" separator)
  string(SUBSTRING "${entry}" 0 ${separator} source)
  math(EXPR start "${separator} + 1")
  string(SUBSTRING "${entry}" ${start} -1 path)
  if(NOT EXISTS ${NODE_MODULES}/${source})
    message(FATAL_ERROR "Web library file ${NODE_MODULES}/${source} is missing: run npm ci in the source folder")
  endif()
  if(EXISTS ${STAGE_DIR}${path})
    message(FATAL_ERROR "Two web resources have the path ${path}")
  endif()
  get_filename_component(folder ${STAGE_DIR}${path} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  file(COPY_FILE ${NODE_MODULES}/${source} ${STAGE_DIR}${path})
endforeach()
