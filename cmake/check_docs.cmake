# Checks that README.md and the man page describe the program as built: the same options as the
# usage text, the same event-log messages as the driver's code, the same version as the project
# (the usage text shows the build's version, which starts with the project's).
#   cmake -DSOURCE_DIR=... -DVERSION=... -P check_docs.cmake
# Messages are compared in README's form: a string argument is '...', a number is N.
cmake_minimum_required(VERSION 3.16)

set(failures "")

# Reads a file with its semicolons masked, so that CMake's lists do not split at them.
function(read_masked path out)
  file(READ "${path}" text)
  string(REPLACE ";" "<semicolon>" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The first capture group of every match of `regex` in `text`, sorted and without duplicates.
function(captures text regex out)
  string(REGEX MATCHALL "${regex}" matches "${text}")
  set(found "")
  foreach(match IN LISTS matches)
    string(REGEX MATCH "${regex}" ignored "${match}")
    list(APPEND found "${CMAKE_MATCH_1}")
  endforeach()
  list(REMOVE_DUPLICATES found)
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The text after the line that starts with `heading` up to the first line that starts with
# `next` (both regexes).
function(section text heading next out)
  string(REGEX MATCH "\n${heading}[^\n]*\n(.*)" ignored "\n${text}")
  string(REGEX REPLACE "\n${next}.*" "" rest "\n${CMAKE_MATCH_1}")
  set(${out} "${rest}" PARENT_SCOPE)
endfunction()

function(expect_same what expected expected_where actual actual_where)
  set(missing "${expected}")
  set(extra "${actual}")
  if(actual)
    list(REMOVE_ITEM missing ${actual})
  endif()
  if(expected)
    list(REMOVE_ITEM extra ${expected})
  endif()
  set(message "")
  foreach(item IN LISTS missing)
    string(REPLACE "<semicolon>" ";" item "${item}")
    string(APPEND message "\n  in ${expected_where}, not in ${actual_where}: ${item}")
  endforeach()
  foreach(item IN LISTS extra)
    string(REPLACE "<semicolon>" ";" item "${item}")
    string(APPEND message "\n  in ${actual_where}, not in ${expected_where}: ${item}")
  endforeach()
  if(NOT expected)
    string(APPEND message "\n  no ${what} found in ${expected_where}")
  endif()
  if(message)
    set(failures "${failures}\n${what}:${message}" PARENT_SCOPE)
  endif()
endfunction()

read_masked("${SOURCE_DIR}/README.md" readme)
read_masked("${SOURCE_DIR}/doc/folicant.1" man)
read_masked("${SOURCE_DIR}/driver/command_line.cpp" usage)

# Roff escapes that the man page uses in option names and messages.
string(REPLACE "\\(aq" "'" man "${man}")
string(REPLACE "\\-" "-" man "${man}")
string(REPLACE "\\&" "" man "${man}")

# Options: the usage text's lines "       /o specify ...", README's table rows "| `/o`name |",
# the man page's OPTIONS entries ".TP" ".BI /o name" or ".TP" ".B /r".
captures("${usage}" "\"       /([A-Za-z]) " usage_options)
section("${readme}" "## Command line" "## " readme_command_line)
captures("${readme_command_line}" "\n\\| `/([A-Za-z])`" readme_options)
section("${man}" "\\.SH OPTIONS" "\\.SH " man_options_section)
captures("${man_options_section}" "\n\\.TP\n\\.BI? /([A-Za-z])" man_options)
expect_same("options" "${usage_options}" "the usage text" "${readme_options}" "README.md")
expect_same("options" "${usage_options}" "the usage text" "${man_options}" "doc/folicant.1")

# Messages: the first argument of every LogEvent and ComposeMessage call in driver/*.cpp, but the
# usage text ("%s").
file(GLOB driver_sources "${SOURCE_DIR}/driver/*.cpp")
set(code_messages "")
foreach(source IN LISTS driver_sources)
  read_masked("${source}" code)
  string(REGEX MATCHALL "(LogEvent|ComposeMessage)\\([ \t\r\n]*\"[^\"]*\"" calls "${code}")
  foreach(call IN LISTS calls)
    string(REGEX MATCH "\"([^\"]*)\"" ignored "${call}")
    set(message "${CMAKE_MATCH_1}")
    if(message STREQUAL "%s")
      continue()
    endif()
    string(REPLACE "%.*s%s" "..." message "${message}")
    string(REGEX REPLACE "%[-0-9.*]*s" "..." message "${message}")
    string(REGEX REPLACE "%[-0-9.*]*[hlzj]*[diux]" "N" message "${message}")
    string(REPLACE "%%" "%" message "${message}")
    list(APPEND code_messages "${message}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES code_messages)
list(SORT code_messages)

# README: the backquoted messages of the paragraph "Messages: ..." in its "Event log" section.
section("${readme}" "## Event log" "## " readme_log)
string(REGEX MATCH "\nMessages:(.*)" ignored "\n${readme_log}")
string(REGEX REPLACE "\n\n.*" "" readme_messages_paragraph "${CMAKE_MATCH_1}")
captures("${readme_messages_paragraph}" "`([^`]+)`" readme_messages)
expect_same("messages" "${code_messages}" "driver/*.cpp" "${readme_messages}" "README.md")

# Man page: the bold entries ".B \"...\"" of its "Messages" subsection.
section("${man}" "\\.SS Messages" "\\.S[HS] " man_messages_section)
captures("${man_messages_section}" "\n\\.B \"([^\"\n]+)\"" man_messages)
expect_same("messages" "${code_messages}" "driver/*.cpp" "${man_messages}" "doc/folicant.1")

# Version: the usage text takes the build's (cmake/version.cmake), the man page's title line
# names the project's; a build puts its own version into the installed page.
if(NOT usage MATCHES "\"FoliCant ver\\. \" FOLICANT_VERSION \"\\\\n\"")
  string(APPEND failures "\nversion: the usage text does not take its version from FOLICANT_VERSION")
endif()
string(REGEX MATCH "\n\\.TH [^\n]*\"folicant ([0-9.]+)\"" ignored "\n${man}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  string(APPEND failures "\nversion: the project is ${VERSION}, the man page says '${CMAKE_MATCH_1}'")
endif()

if(failures)
  message(FATAL_ERROR "README.md, doc/folicant.1 and the program disagree:${failures}")
endif()
list(LENGTH usage_options option_count)
list(LENGTH code_messages message_count)
message(STATUS "${option_count} options, ${message_count} messages and version ${VERSION} agree")
