# FOLICANT_VERSION: the version this build reports in its usage text, manual page, Debian package
# and Windows zip. A release is a commit tagged v<project version> (v3.0), and a source tree
# without git (a release tarball) is built as the project version too. Any other commit of the
# git tree is a build of unreleased changes, PROJECT_VERSION+gitYYYYMMDD.<short hash>, dated by
# the commit (in UTC), not by the build, so that building one commit twice gives one version.
# FOLICANT_VERSION_DATE is that commit's date in RFC 2822 form (empty for a release), for the
# Debian changelog.
set(FOLICANT_VERSION ${PROJECT_VERSION})
set(FOLICANT_VERSION_DATE "")
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE git_top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE git_failed)
  # Only this project's own repository counts: a tarball unpacked inside another git tree is not
  # a commit of folicant.
  if(NOT git_failed)
    get_filename_component(git_top "${git_top}" REALPATH)
    get_filename_component(source_top "${PROJECT_SOURCE_DIR}" REALPATH)
  endif()
  if(NOT git_failed AND git_top STREQUAL source_top)
    # A new commit reconfigures the build, which then reports the new version: CMake watches the
    # file naming the checked-out branch and the file holding that branch's commit.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path HEAD --symbolic-full-name HEAD
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE head OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    string(REPLACE "\n" ";" head "${head}")
    list(GET head 0 head_file)
    set(watched ${head_file})
    list(LENGTH head fields)
    if(fields EQUAL 2)
      list(GET head 1 branch)
      execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${branch} --git-path packed-refs
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE ref_files OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      string(REPLACE "\n" ";" ref_files "${ref_files}")
      list(APPEND watched ${ref_files})
    endif()
    foreach(file IN LISTS watched)
      get_filename_component(file "${file}" ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
      if(EXISTS "${file}")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
      endif()
    endforeach()
    execute_process(COMMAND ${GIT_EXECUTABLE} tag --points-at HEAD --list v${PROJECT_VERSION}
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE release_tag OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT release_tag)
      execute_process(
        COMMAND ${CMAKE_COMMAND} -E env TZ=UTC0
                ${GIT_EXECUTABLE} log -1 --abbrev=7 --date=format-local:%Y%m%d --format=%cd%n%h%n%cD
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
        RESULT_VARIABLE git_failed)
      string(REPLACE "\n" ";" commit "${commit}")
      list(LENGTH commit fields)
      if(NOT git_failed AND fields EQUAL 3)
        list(GET commit 0 commit_day)
        list(GET commit 1 commit_hash)
        list(GET commit 2 FOLICANT_VERSION_DATE)
        set(FOLICANT_VERSION ${PROJECT_VERSION}+git${commit_day}.${commit_hash})
      endif()
    endif()
  endif()
endif()
# A git tree that git cannot read (git missing, or a checkout owned by another user, which git
# refuses) would pass for the release: said aloud.
if(EXISTS ${PROJECT_SOURCE_DIR}/.git AND FOLICANT_VERSION STREQUAL PROJECT_VERSION AND
   NOT release_tag)
  message(WARNING "${PROJECT_SOURCE_DIR} is a git tree, but git could not tell its commit: "
                  "built as version ${PROJECT_VERSION}, which is the release's")
endif()
message(STATUS "folicant version ${FOLICANT_VERSION}")

# The version for the C++ code: a header of its own, rewritten only when the version changes, so
# that a new commit recompiles the usage text alone.
configure_file(${CMAKE_CURRENT_LIST_DIR}/folicant_version.h.in
  ${PROJECT_BINARY_DIR}/generated/folicant_version.h @ONLY)
