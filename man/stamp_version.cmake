# cmake -DSOURCE=page.1 -DTARGET=out.1 -DVERSION=x.y.z -P stamp_version.cmake
#
# Copies a manual page and puts the version into its title line: the source
# field "kolvadex" of ".TH NAME SECTION DATE kolvadex ..." becomes
# "kolvadex x.y.z". A page without that field is an error, so that a page can
# never be shipped without its version.
file(READ "${SOURCE}" page)
string(REGEX MATCH "(^|\n)\\.TH [^\n]*\"kolvadex\"" title "${page}")
if(NOT title)
  message(FATAL_ERROR "${SOURCE}: the title line (.TH) lacks the source field \"kolvadex\"")
endif()
string(REPLACE "\"kolvadex\"" "\"kolvadex ${VERSION}\"" stamped_title "${title}")
string(REPLACE "${title}" "${stamped_title}" page "${page}")
file(WRITE "${TARGET}" "${page}")
