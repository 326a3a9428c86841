# Third-party code for the Windows build, all from Debian: TinyXML and LZ4 from their source
# packages (fetched at configure time), zlib from Debian's MinGW-w64 build of it
# (libz-mingw-w64-dev), GoogleTest from /usr/src/googletest, and only the include folders of
# the header-only CLI11 and nlohmann-json. Our warning flags do not apply here.

set(PELLMAR_THIRD_PARTY ${CMAKE_BINARY_DIR}/third_party)
foreach(package tinyxml lz4)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/fetch-debian-source.sh
                          ${PELLMAR_THIRD_PARTY} ${package} RESULT_VARIABLE fetched)
  if(NOT fetched EQUAL 0)
    message(FATAL_ERROR "the Debian source package ${package} could not be fetched")
  endif()
endforeach()
set(TINYXML_DIR ${PELLMAR_THIRD_PARTY}/tinyxml)
add_library(tinyxml STATIC ${TINYXML_DIR}/tinyxml.cpp ${TINYXML_DIR}/tinyxmlparser.cpp
            ${TINYXML_DIR}/tinyxmlerror.cpp)
target_include_directories(tinyxml SYSTEM PUBLIC ${TINYXML_DIR})
target_compile_definitions(tinyxml PUBLIC TIXML_USE_STL)

enable_language(C)
set(LZ4_DIR ${PELLMAR_THIRD_PARTY}/lz4/lib)
add_library(lz4 STATIC ${LZ4_DIR}/lz4.c ${LZ4_DIR}/lz4frame.c ${LZ4_DIR}/lz4hc.c ${LZ4_DIR}/xxhash.c)
target_include_directories(lz4 SYSTEM PUBLIC ${LZ4_DIR})

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# Header-only libraries: their own folders, copied out of /usr/include.
foreach(folder CLI nlohmann)
  file(COPY /usr/include/${folder} DESTINATION ${PELLMAR_THIRD_PARTY}/include)
endforeach()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${PELLMAR_THIRD_PARTY}/include)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${PELLMAR_THIRD_PARTY}/include)

if(PELLMAR_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  # Defines gtest, gtest_main and their GTest:: aliases.
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
