# Makes the template po/zr7k8-client.pot anew from every source under src/
# (texts marked with _, N_ and P_, and the formats of the command line's
# messages) and merges it into each po/<language>.po.
# New texts then stand untranslated in the catalogues; fuzzy ones are guesses
# from similar texts that msgfmt leaves out until a translator confirms them.
#   cmake -DSOURCE_DIR=<repository> -DVERSION=<version> -P po/update.cmake
# With -DTEMPLATE=<file> it only writes a template there and merges nothing.
find_program(XGETTEXT xgettext REQUIRED)
find_program(MSGMERGE msgmerge REQUIRED)
set(template po/zr7k8-client.pot)
if(DEFINED TEMPLATE)
  set(template ${TEMPLATE})
endif()

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/src/*.h)
list(SORT sources)
# Locations name the file only, so that moving code does not touch every
# catalogue.
execute_process(
  COMMAND ${XGETTEXT} --language=C++ --from-code=UTF-8 --keyword=_ --keyword=N_ --keyword=P_:1,2
    --keyword=cli_fail --keyword=cli_refuse --keyword=cli_say
    --add-comments=TRANSLATORS: --add-location=file --sort-by-file
    --package-name=zr7k8-client --package-version=${VERSION}
    --msgid-bugs-address=https://zr7k8.example/ --output=${template} ${sources}
  WORKING_DIRECTORY ${SOURCE_DIR}
  COMMAND_ERROR_IS_FATAL ANY)

if(DEFINED TEMPLATE)
  return()
endif()
file(GLOB catalogues ${SOURCE_DIR}/po/*.po)
foreach(catalogue ${catalogues})
  execute_process(
    COMMAND ${MSGMERGE} --quiet --update --backup=none --add-location=file --sort-by-file ${catalogue} ${template}
    WORKING_DIRECTORY ${SOURCE_DIR}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
