# Finds MuPDF as Debian ships it: static archives only (libmupdf.a and libmupdf-third.a, in
# the folder pkg-config names), whose own dependencies pkg-config gives with --static.
# Defines the target MuPDF::MuPDF and MuPDF_VERSION.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PC_MUPDF QUIET mupdf)

find_path(MuPDF_INCLUDE_DIR mupdf/fitz.h HINTS ${PC_MUPDF_INCLUDEDIR})
find_library(MuPDF_LIBRARY NAMES libmupdf.a mupdf HINTS ${PC_MUPDF_LIBDIR})
find_library(MuPDF_THIRD_LIBRARY NAMES libmupdf-third.a mupdf-third HINTS ${PC_MUPDF_LIBDIR})
# The version of the headers compiled against, which is the archives' own: Debian's mupdf.pc
# names an older one (1.19.0 for 1.21.1).
set(MuPDF_VERSION ${PC_MUPDF_VERSION})
if(MuPDF_INCLUDE_DIR AND EXISTS ${MuPDF_INCLUDE_DIR}/mupdf/fitz/version.h)
  file(STRINGS ${MuPDF_INCLUDE_DIR}/mupdf/fitz/version.h version_line REGEX "^#define FZ_VERSION \"")
  string(REGEX REPLACE "^#define FZ_VERSION \"([^\"]*)\".*" "\\1" MuPDF_VERSION "${version_line}")
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(MuPDF REQUIRED_VARS MuPDF_LIBRARY MuPDF_THIRD_LIBRARY MuPDF_INCLUDE_DIR
                                  VERSION_VAR MuPDF_VERSION)

if(MuPDF_FOUND AND NOT TARGET MuPDF::MuPDF)
  # The static archives' dependencies, less the two archives themselves.
  execute_process(COMMAND ${PKG_CONFIG_EXECUTABLE} --static --libs-only-l mupdf
                  OUTPUT_VARIABLE mupdf_dependencies OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(mupdf_dependencies UNIX_COMMAND "${mupdf_dependencies}")
  list(REMOVE_ITEM mupdf_dependencies -lmupdf -lmupdf-third)
  add_library(MuPDF::MuPDF INTERFACE IMPORTED)
  target_include_directories(MuPDF::MuPDF INTERFACE ${MuPDF_INCLUDE_DIR})
  # Debian's MuPDF uses the system's HarfBuzz, which its pkg-config file does not name.
  target_link_libraries(MuPDF::MuPDF INTERFACE ${MuPDF_LIBRARY} ${MuPDF_THIRD_LIBRARY} ${mupdf_dependencies}
                                               harfbuzz)
endif()
mark_as_advanced(MuPDF_INCLUDE_DIR MuPDF_LIBRARY MuPDF_THIRD_LIBRARY)
