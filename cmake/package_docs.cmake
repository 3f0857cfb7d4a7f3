# Writes the documents a build installs, made from the sources with the build's version:
#   cmake -DWHAT=man-page -DSOURCE=doc/folicant.1 -DVERSION=... -DOUTPUT=... -P package_docs.cmake
#     the manual page with "folicant VERSION" in its title line;
#   cmake -DWHAT=changelog -DSOURCE=CHANGELOG.md -DVERSION=... -DVERSION_DATE=... -DRELEASE=...
#         -DMAINTAINER=... -DOUTPUT=... -P package_docs.cmake
#     the Debian changelog of a native package: one entry per release of CHANGELOG.md, newest
#     first, holding its "Changes a caller must know"; a build between releases (VERSION_DATE,
#     its commit's date, is set) opens with an entry of its own holding the Unreleased ones;
#   cmake -DWHAT=copyright -DSOURCE=LICENSE -DCONTACT=... -DOUTPUT=... -P package_docs.cmake
#     the machine-readable copyright file (Debian's copyright format 1.0) with LICENSE's notice
#     and text.
cmake_minimum_required(VERSION 3.16)

function(write_output text)
  file(WRITE "${OUTPUT}" "${text}")
endfunction()

# `text` as lines of at most 79 columns, the first starting with `first`, the others with
# `rest`.
function(wrap text first rest out)
  string(REGEX REPLACE "[ \t\n]+" ";" words "${text}")
  set(result "")
  set(line "${first}")
  set(empty TRUE)
  foreach(word IN LISTS words)
    if(word STREQUAL "")
      continue()
    endif()
    # Masked characters (see below) count as the one character they stand for.
    string(REGEX REPLACE "<(semicolon|open|close)>" "x" measured "${line} ${word}")
    string(LENGTH "${measured}" length)
    if(empty)
      string(APPEND line "${word}")
      set(empty FALSE)
    elseif(length GREATER 79)
      string(APPEND result "${line}\n")
      set(line "${rest}${word}")
    else()
      string(APPEND line " ${word}")
    endif()
  endforeach()
  set(${out} "${result}${line}\n" PARENT_SCOPE)
endfunction()

# The bullets under "### Changes a caller must know" in `section` (a release's text), as
# Debian changelog lines.
function(caller_changes section out)
  set(result "")
  string(REGEX MATCH "\n### Changes a caller must know\n(.*)" ignored "${section}\n")
  string(REGEX REPLACE "\n#.*" "" list "\n${CMAKE_MATCH_1}")
  # One item per bullet: its continuation lines are indented.
  string(REGEX REPLACE "\n- " "\n<item>" list "${list}")
  string(REGEX REPLACE "<item>" ";" items "${list}")
  list(REMOVE_AT items 0)
  foreach(item IN LISTS items)
    wrap("${item}" "  * " "    " lines)
    string(APPEND result "${lines}")
  endforeach()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# YYYY-MM-DD as an RFC 2822 date at midnight UTC, as the Debian changelog's trailer wants it.
function(rfc2822_day day out)
  string(REGEX MATCH "^([0-9]+)-([0-9]+)-([0-9]+)$" ignored "${day}")
  if(NOT CMAKE_MATCH_0)
    message(FATAL_ERROR "CHANGELOG.md: '${day}' is not a YYYY-MM-DD date")
  endif()
  math(EXPR year "${CMAKE_MATCH_1}")
  math(EXPR month "${CMAKE_MATCH_2}")
  math(EXPR mday "${CMAKE_MATCH_3}")
  # Sakamoto's weekday method: 0 is Sunday.
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET offsets ${index} offset)
  set(y ${year})
  if(month LESS 3)
    math(EXPR y "${year} - 1")
  endif()
  math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${offset} + ${mday}) % 7")
  set(weekdays Sun Mon Tue Wed Thu Fri Sat)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  list(GET months ${index} month_name)
  if(mday LESS 10)
    set(mday "0${mday}")
  endif()
  set(${out} "${weekday_name}, ${mday} ${month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

function(entry version distribution changes date out)
  string(CONCAT text "folicant (${version}) ${distribution}; urgency=medium\n\n${changes}\n"
         " -- ${MAINTAINER}  ${date}\n")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(WHAT STREQUAL "man-page")
  file(READ "${SOURCE}" text)
  string(REGEX REPLACE "(\n?\\.TH [^\n]*)\"folicant [^\"]*\"" "\\1\"folicant ${VERSION}\"" text
         "${text}")
  write_output("${text}")

elseif(WHAT STREQUAL "changelog")
  file(READ "${SOURCE}" text)
  # Semicolons and brackets would cut or join CMake's list items.
  string(REPLACE ";" "<semicolon>" text "${text}")
  string(REPLACE "[" "<open>" text "${text}")
  string(REPLACE "]" "<close>" text "${text}")
  # The sections "## Unreleased" and "## X.Y - YYYY-MM-DD", in the file's order.
  string(REGEX REPLACE "\n## " "\n<section>" text "\n${text}")
  string(REGEX REPLACE "<section>" ";" sections "${text}")
  list(REMOVE_AT sections 0)
  set(entries "")
  set(found_release FALSE)
  foreach(section IN LISTS sections)
    string(REGEX MATCH "^([^\n]*)" heading "${section}")
    caller_changes("${section}" changes)
    if(heading STREQUAL "Unreleased")
      if(VERSION_DATE)
        string(REGEX MATCH "\\.([0-9a-f]+)$" ignored "${VERSION}")
        wrap("Built from commit ${CMAKE_MATCH_1}, with the changes since the last release under
              \"Unreleased\" in /usr/share/doc/folicant/CHANGELOG.md." "  * " "    " built)
        entry("${VERSION}" UNRELEASED "${built}${changes}" "${VERSION_DATE}" text)
        string(APPEND entries "${text}")
      endif()
    elseif(heading MATCHES "^([0-9][0-9.]*) - ([0-9-]+)$")
      set(release ${CMAKE_MATCH_1})
      rfc2822_day(${CMAKE_MATCH_2} date)
      if(release STREQUAL VERSION)
        set(found_release TRUE)
      endif()
      if(entries)
        string(APPEND entries "\n")
      endif()
      if(NOT changes)
        message(FATAL_ERROR "CHANGELOG.md: ${release} lists no changes a caller must know")
      endif()
      entry("${release}" unstable "${changes}" "${date}" text)
      string(APPEND entries "${text}")
    else()
      message(FATAL_ERROR "CHANGELOG.md: the heading '## ${heading}' is neither 'Unreleased' nor "
                          "'X.Y - YYYY-MM-DD'")
    endif()
  endforeach()
  if(NOT VERSION_DATE AND NOT found_release)
    message(FATAL_ERROR "CHANGELOG.md has no section '## ${VERSION} - YYYY-MM-DD' for this "
                        "release build")
  endif()
  string(REPLACE "<semicolon>" ";" entries "${entries}")
  string(REPLACE "<open>" "[" entries "${entries}")
  string(REPLACE "<close>" "]" entries "${entries}")
  write_output("${entries}")

elseif(WHAT STREQUAL "copyright")
  file(STRINGS "${SOURCE}" notices REGEX "^Copyright ")
  file(READ "${SOURCE}" text)
  # The licence text after the notice, each line indented by one space, blank lines as " .".
  string(REGEX REPLACE "^.*\nCopyright [^\n]*\n\n" "" terms "${text}")
  string(REGEX REPLACE "\n+$" "" terms "${terms}")
  string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REGEX REPLACE "\n" "\n " terms "${terms}")
  set(holders "")
  foreach(notice IN LISTS notices)
    string(REGEX REPLACE "^Copyright (\\([cC]\\) )?" "" notice "${notice}")
    string(APPEND holders " ${notice}\n")
  endforeach()
  string(REGEX REPLACE "^ " "" holders "${holders}")
  write_output("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: folicant
Upstream-Contact: ${CONTACT}

Files: *
Copyright: ${holders}License: Expat

License: Expat
 ${terms}
")

else()
  message(FATAL_ERROR "package_docs.cmake: WHAT is man-page, changelog or copyright")
endif()
