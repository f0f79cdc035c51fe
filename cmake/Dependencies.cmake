# Every third-party library comes from a Debian package (scripts/setup installs them).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(PostgreSQL REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(Iconv REQUIRED)
# HTTP, HTTPS and FTP transfers.
find_package(CURL REQUIRED)
# The application server's HTTP layer (Beast on Asio; header-only).
find_package(Boost 1.74 CONFIG REQUIRED)
# International host names in locations (IDNA 2008).
pkg_check_modules(IDN2 REQUIRED IMPORTED_TARGET libidn2)
pkg_check_modules(UTF8PROC REQUIRED IMPORTED_TARGET libutf8proc)
pkg_check_modules(PFF REQUIRED IMPORTED_TARGET libpff)
# HTML parsing for the host's HTML to RTF conversion.
pkg_check_modules(GUMBO REQUIRED IMPORTED_TARGET gumbo)
find_package(CLI11 CONFIG REQUIRED)
find_package(fmt CONFIG REQUIRED)
if(VELA_BUILD_TESTS)
  find_package(GTest CONFIG REQUIRED)
endif()
if(VELA_BUILD_BENCH AND NOT VELA_SANITIZE AND NOT VELA_FUZZ)
  find_package(benchmark CONFIG REQUIRED)
endif()
# File and database import engines: expat (XML data packets), shapelib (dBase), unixODBC.
find_package(EXPAT REQUIRED)
find_package(ODBC REQUIRED)
find_path(SHAPELIB_INCLUDE_DIR shapefil.h REQUIRED)
find_library(SHAPELIB_LIBRARY shp REQUIRED)
if(NOT TARGET shapelib::shp)
  add_library(shapelib::shp UNKNOWN IMPORTED)
  set_target_properties(shapelib::shp PROPERTIES IMPORTED_LOCATION ${SHAPELIB_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${SHAPELIB_INCLUDE_DIR})
endif()
# JSON documents (simdjson) and MIME multipart bodies (GMime 3, LGPL: linked dynamically).
find_package(simdjson CONFIG REQUIRED)
pkg_check_modules(GMIME REQUIRED IMPORTED_TARGET gmime-3.0)
# The script engine: Lua 5.4 built as C++, so that script errors unwind C++ frames.
pkg_check_modules(LUA54 REQUIRED IMPORTED_TARGET lua5.4-c++)
