# The release this tree builds, read from the top entry of doc/changelog (a
# Debian changelog, newest entry first). Releasing means writing a new entry
# there; the project version, --version, the About dialog, the manual pages,
# the metainfo and the package all follow from it.
#
# Sets, before project() so that it can take the version:
#   ZR7K8_CHANGELOG        the file
#   ZR7K8_RELEASE_VERSION  e.g. 4.4.2
#   ZR7K8_RELEASE_DATE     the entry's date as YYYY-MM-DD
#   ZR7K8_RELEASE_EPOCH    the entry's time in seconds since 1970 (UTC), what
#                          dpkg-parsechangelog -S Timestamp gives
set(ZR7K8_CHANGELOG ${CMAKE_CURRENT_LIST_DIR}/../doc/changelog)
get_filename_component(ZR7K8_CHANGELOG ${ZR7K8_CHANGELOG} ABSOLUTE)
# A new entry reconfigures the build.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZR7K8_CHANGELOG})

# The heading line of the top entry, and the trailer line that ends it.
file(STRINGS ${ZR7K8_CHANGELOG} changelog_heading LIMIT_COUNT 1)
if(NOT changelog_heading MATCHES "^zr7k8-client \\(([0-9]+\\.[0-9]+\\.[0-9]+)\\) ")
  message(FATAL_ERROR "${ZR7K8_CHANGELOG}: the first line is not \"zr7k8-client (X.Y.Z) ...\"")
endif()
set(ZR7K8_RELEASE_VERSION ${CMAKE_MATCH_1})
file(STRINGS ${ZR7K8_CHANGELOG} changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT changelog_trailer MATCHES
    ">  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ([0-9][0-9]):([0-9][0-9]):([0-9][0-9]) ([-+])([0-9][0-9])([0-9][0-9])$")
  message(FATAL_ERROR "${ZR7K8_CHANGELOG}: the top entry has no trailer line "
    "\" -- Name <address>  Mon, 07 Dec 2026 12:00:00 +0000\"")
endif()
# Every later regex overwrites the matches.
set(date_parts ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4} ${CMAKE_MATCH_5}
  ${CMAKE_MATCH_6} ${CMAKE_MATCH_7} ${CMAKE_MATCH_8} ${CMAKE_MATCH_9})
# Leading zeros would read as octal in math().
list(TRANSFORM date_parts REPLACE "^0([0-9])" "\\1")
list(POP_FRONT date_parts day month_name year hours minutes seconds offset_sign offset_hours offset_minutes)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND months ${month_name} month)
if(month LESS 0)
  message(FATAL_ERROR "${ZR7K8_CHANGELOG}: unknown month in \"${changelog_trailer}\"")
endif()
math(EXPR month "${month} + 1")

# Days since 1970-01-01 of a date in the proleptic Gregorian calendar, counted
# in 400-year eras of a year that starts in March (so that the leap day falls
# last).
if(month GREATER 2)
  math(EXPR shifted_year "${year}")
  math(EXPR shifted_month "${month} - 3")
else()
  math(EXPR shifted_year "${year} - 1")
  math(EXPR shifted_month "${month} + 9")
endif()
math(EXPR era "${shifted_year} / 400")
math(EXPR year_of_era "${shifted_year} - ${era} * 400")
math(EXPR day_of_year "(153 * ${shifted_month} + 2) / 5 + ${day} - 1")
math(EXPR day_of_era "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
math(EXPR ZR7K8_RELEASE_EPOCH
  "${days} * 86400 + ${hours} * 3600 + ${minutes} * 60 + ${seconds} - (${offset_sign}1) * (${offset_hours} * 3600 + ${offset_minutes} * 60)")

if(month LESS 10)
  set(month 0${month})
endif()
if(day LESS 10)
  set(day 0${day})
endif()
set(ZR7K8_RELEASE_DATE ${year}-${month}-${day})
