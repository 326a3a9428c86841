# Code the tests, benchmarks and fuzzers share, compiled once for all of them.

# Packs archives of either kind from generated meshes.
add_library(pellmar_archive_writer STATIC ${CMAKE_CURRENT_LIST_DIR}/ArchiveWriter.cpp)
target_include_directories(pellmar_archive_writer PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(pellmar_archive_writer PUBLIC pellmar_archive pellmar_samples
  PRIVATE ZLIB::ZLIB lz4)
pellmar_warnings(pellmar_archive_writer)

# The tangents real files store, next to the ones the shape's geometry gives.
add_library(pellmar_real_tangents STATIC ${CMAKE_CURRENT_LIST_DIR}/RealTangents.cpp)
target_include_directories(pellmar_real_tangents PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(pellmar_real_tangents PUBLIC pellmar_nif)
pellmar_warnings(pellmar_real_tangents)
