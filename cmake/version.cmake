# The program's one version: the project's, with "+dirty" when the build's git tree has uncommitted changes
# to tracked files. git is asked when CMake configures; a commit or a staged change configures again, an
# edit that is not staged yet shows from the next configure on. Without git (a source archive) the version
# is the project's alone.
set(VANTREL_VERSION ${PROJECT_VERSION})
find_package(Git QUIET)
if(GIT_FOUND)
  # --no-optional-locks: looking must not rewrite the index, which would configure again on every build.
  execute_process(
    COMMAND ${GIT_EXECUTABLE} --no-optional-locks -C ${PROJECT_SOURCE_DIR} status --porcelain --untracked-files=no
    RESULT_VARIABLE git_result OUTPUT_VARIABLE git_changes ERROR_QUIET)
  if(git_result EQUAL 0)
    if(NOT git_changes STREQUAL "")
      string(APPEND VANTREL_VERSION "+dirty")
    endif()
    execute_process(
      COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} rev-parse --path-format=absolute --git-path index
      OUTPUT_VARIABLE git_index OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(EXISTS "${git_index}")
      set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_index})
    endif()
  endif()
endif()
# The release date, for the packages' change logs and the software-centre metadata: the last commit's, so
# that it stays the same however often the tree is built; the day of configuring without git.
string(TIMESTAMP VANTREL_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP VANTREL_RELEASE_TIME "%a, %d %b %Y %H:%M:%S +0000" UTC)
if(GIT_FOUND AND git_result EQUAL 0)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%cs%n%cD
                  OUTPUT_VARIABLE git_dates OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(git_dates MATCHES "^([0-9-]+)\n(.+)$")
    set(VANTREL_RELEASE_DATE ${CMAKE_MATCH_1})
    set(VANTREL_RELEASE_TIME ${CMAKE_MATCH_2})
  endif()
endif()
message(STATUS "Version: ${VANTREL_VERSION} (${VANTREL_RELEASE_DATE})")

configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/vantrel/version.h @ONLY)
add_library(vantrel_version INTERFACE)
target_include_directories(vantrel_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
