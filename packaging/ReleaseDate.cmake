# The date of this release, from the newest entry of debian/changelog:
# BRIMLINK_RELEASE_DATE (YYYY-MM-DD, for the metainfo's release) and
# BRIMLINK_RELEASE_EPOCH (seconds since 1970, as SOURCE_DATE_EPOCH for the
# manual pages). Generated files then carry the release's date, never the
# build's, and come out the same on every build.
include_guard(GLOBAL)

file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog _brimlink_trailers
  REGEX "^ -- .*  [A-Z][a-z][a-z], [0-9][0-9]? [A-Z][a-z][a-z] [0-9][0-9][0-9][0-9] ")
list(LENGTH _brimlink_trailers _count)
if(_count EQUAL 0)
  message(FATAL_ERROR "packaging/debian/changelog has no trailer line ' -- NAME <MAIL>  Day, DD Mon YYYY ...'")
endif()
list(GET _brimlink_trailers 0 _trailer)
string(REGEX MATCH ", ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) " _ "${_trailer}")
set(_day ${CMAKE_MATCH_1})
set(_month_name ${CMAKE_MATCH_2})
set(_year ${CMAKE_MATCH_3})
string(REGEX REPLACE "^0" "" _day "${_day}")
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND _months "${_month_name}" _month)
if(_month LESS 0)
  message(FATAL_ERROR "packaging/debian/changelog: '${_month_name}' in '${_trailer}' is not a month")
endif()
math(EXPR _month "${_month} + 1")

# Days since 1970-01-01 of a date in the proleptic Gregorian calendar, counted
# from March so that the leap day comes last in a year.
if(_month LESS_EQUAL 2)
  math(EXPR _y "${_year} - 1")
  math(EXPR _m "${_month} + 9")
else()
  set(_y ${_year})
  math(EXPR _m "${_month} - 3")
endif()
math(EXPR _era "${_y} / 400")
math(EXPR _yoe "${_y} - ${_era} * 400")
math(EXPR _doy "(153 * ${_m} + 2) / 5 + ${_day} - 1")
math(EXPR _doe "${_yoe} * 365 + ${_yoe} / 4 - ${_yoe} / 100 + ${_doy}")
math(EXPR _days "${_era} * 146097 + ${_doe} - 719468")

math(EXPR BRIMLINK_RELEASE_EPOCH "${_days} * 86400")
if(_month LESS 10)
  set(_month 0${_month})
endif()
if(_day LESS 10)
  set(_day 0${_day})
endif()
set(BRIMLINK_RELEASE_DATE "${_year}-${_month}-${_day}")
